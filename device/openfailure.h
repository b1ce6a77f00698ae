#pragma once

// Why a device index did not open, in words for the user. The device library notes the cause of
// each open it refuses; the program asks for it once ZQ_Open or ZQ_OpenByName has failed.

#include "device/port.h"

#include <QString>
#include <cstdint>

// Why the last ZQ_Open or ZQ_OpenByName of a device index failed, as one line that names the port
// and gives the remedy where there is a usual one; empty when it succeeded or none was tried.
QString OpenFailureReason(std::int32_t deviceIndex);

// The line for a port that the system refused with the error number systemError (errno; 0 when
// it gave none).
QString OpenFailureText(const QString& portName, int systemError);

// What the library notes: the index is open already; another index holds the port; the backend
// could not open the port (an empty name: the index has none); the index opened after all.
void NoteIndexOpenAlready(std::int32_t deviceIndex);
void NotePortHeld(std::int32_t deviceIndex, const QString& portName, std::int32_t holderIndex);
void NotePortRefused(std::int32_t deviceIndex, const QString& portName, const TOpenFailure& failure);
void ForgetOpenFailure(std::int32_t deviceIndex);
