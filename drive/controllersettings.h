#pragma once

#include "drive/registertable.h"
#include "drive/replyreaders.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

// The settings write and read-back, run from RegisterTable. Both throw the errors of common/errors.h
// (and ENoAnswer of replyreaders.h); what was done before the error stays done.

using TSendLine = std::function<void(const QByteArray& line)>;
using TEachRegister = std::function<void(TSettingRow row, std::int32_t value)>;
using TSetField = std::function<void(TSettingRow row, const QString& text)>;
using TEachFigure = std::function<void(TSettingRow row, const TTypedNumber& figure)>;

// The register values of the settings in row order, each handed to `each` as soon as it is known, so
// that an error leaves the rows before it done. Limit V uses KV's figure. A number that is none, a zero
// divisor or a register beyond 32 bits ends it at its own row; a Limit V the drive cannot hold
// (ERegisterRange) ends it before any row.
void ConvertSettings(const TSettingNumbers& settings, const TMotorData& motor, const TEachRegister& each);

// "Wpisz": the register writes of the settings, each handed to send as soon as its value is known, so
// the lines go out as P1, P2, P3, P4, P6, P0, P5, P7, P8; the errors of ConvertSettings.
void WriteSettings(const TSettingNumbers& settings, const TMotorData& motor, const TSendLine& send);

// The register values that "Wpisz" would write, by register number, without sending anything.
TRegisterValues SettingRegisters(const TSettingNumbers& settings, const TMotorData& motor);

// The dialogues of "Czytaj": lets the line settle and purges the receive queue once, then queries
// P0..P8 in turn. Throws at the first register that does not answer or whose value text is malformed.
TRegisterValues QueryRegisters(TExchange& exchange);

// What is known of each register, by register number; none where nothing is.
using TKnownRegisters = std::array<std::optional<std::int32_t>, RegisterCount>;

// A read-back confirmed register by register: each register's value, or none where its readings did
// not confirm one, and those registers with their readings for a message ("P2 (78, 768, 76)").
struct TConfirmedRead {
    TKnownRegisters Values;
    QString Unconfirmed;
};
// Registers read over a line that may lose a byte, confirmed as TReadingVote (readingvote.h) weighs
// them: a register Kelmor knows by one reading that agrees, any other by AgreeingReadings readings
// that agree with the longest. Each register is queried at most MostConfirmingQueries times and the
// whole read takes at most that many read time-outs; a loss or an exit is thrown on.
TConfirmedRead ConfirmRegisters(TExchange& exchange, const TKnownRegisters& known = {});
// The same for those that need all nine: EConvertError (UnconfirmedText) names what did not agree.
TRegisterValues ConfirmedRegisters(TExchange& exchange, const TKnownRegisters& known = {});
QString UnconfirmedText(const QString& registers);

// The figures of the register values in row order, each handed to `each` as soon as it is known:
// its value is the register's own, which converts back to it, and its text is the one the fields
// show, where Limit V goes with the number the KV text stands for. An error leaves the rows before
// the failing one handed on.
void ShowFigures(const TRegisterValues& registers, const TMotorData& motor, const TEachFigure& each);

// Fills the fields in row order from the register values, each figure as ShowFigures shows it.
void ShowRegisters(const TRegisterValues& registers, const TMotorData& motor, const TSetField& setField);
