#pragma once

// Why a device index did not open, in words for the user: one line that names the port and gives
// the remedy where there is a usual one. Each reason is worded here and nowhere else.

#include "device/port.h"

#include <QString>
#include <cstdint>
#include <string>

// No port maps to the index.
QString NoPortText(std::int32_t deviceIndex);
// The index is open already.
QString OpenAlreadyText(std::int32_t deviceIndex);
// Another index of this program holds the port: the detail of its open's failure.
std::string PortHeldDetail(std::int32_t holderIndex);
// The backend could not open the port, for the reason it gave.
QString PortRefusedText(const QString& portName, const TOpenFailure& failure);
// The system refused the port with the error number systemError (errno; 0 when it gave none).
QString OpenFailureText(const QString& portName, int systemError);
// The port opened, but refused the settings every open starts from.
QString SettingsRefusedText(const QString& portName);
// The port opened, but its modem lines could not be read.
QString LinesUnreadText(const QString& portName);
