#pragma once

#include "drive/registertable.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

class TExchange;

// The settings write and read-back of the page "Nastawy Regulatora", run from RegisterTable. Both
// throw the errors of common/errors.h (and ENoAnswer of replyreaders.h); what was done before the
// error stays done.

using TSendLine = std::function<void(const QByteArray& line)>;
using TSetField = std::function<void(TSettingRow row, const QString& text)>;

// "Wpisz": converts the fields in row order and hands each register write to send as soon as its
// value is known, so the lines go out as P1, P2, P3, P4, P6, P0, P5, P7, P8. Limit V uses the typed
// KV text. A bad text, a zero divisor or a register beyond 32 bits ends it with the lines before sent;
// a Limit V the drive cannot hold (ERegisterRange) ends it before any line.
void WriteSettings(const TSettingTexts& fields, const TMotorData& motor, const TSendLine& send);

// The register values that "Wpisz" would write for the texts, by register number, without sending
// anything; the same errors as WriteSettings.
TRegisterValues SettingRegisters(const TSettingTexts& fields, const TMotorData& motor);

// The dialogues of "Czytaj": lets the line settle and purges the receive queue once, then queries
// P0..P8 in turn. Throws at the first register that does not answer or whose value text is malformed.
TRegisterValues QueryRegisters(TExchange& exchange);

// Fills the fields in row order from the register values, each figure formatted as shown; Limit V
// uses the KV text just filled. An error leaves the rows before the failing one filled.
void ShowRegisters(const TRegisterValues& registers, const TMotorData& motor, const TSetField& setField);
