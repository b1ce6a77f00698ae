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
using TEachFigure = std::function<void(TSettingRow row, const TFigure& figure)>;

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
// not confirm one; those registers with their readings ("P2 (78, 768, 76)"), unless none of them came
// whole, and the first error of a dialogue.
struct TConfirmedRead {
    TKnownRegisters Values;
    QString Unconfirmed;
    QString FirstError;
    // Why not all nine were confirmed: "Registers read again and again did not agree: P2 (…)", or
    // where none of those came whole the first error ("The drive did not answer the query for register
    // P3"); empty when all were.
    QString Why() const;
};
// Registers read over a line that may lose a byte, confirmed as TReadingVote (readingvote.h) weighs
// them: a register Kelmor knows by one reading that agrees, any other by AgreeingReadings readings
// that agree with the longest, unless they read shorter than the value known (then it is not
// confirmed). Each register is queried at most MostConfirmingQueries times and the whole read takes at
// most a read time-out for each query it may write; a loss or an exit is thrown on.
TConfirmedRead ConfirmRegisters(TExchange& exchange, const TKnownRegisters& known = {});
// The same for those that need all nine: EConvertError says Why.
TRegisterValues ConfirmedRegisters(TExchange& exchange, const TKnownRegisters& known = {});

// The figures of the register values in row order, each handed to `each` as soon as it is known:
// its value is the register's own, which converts back to it, and its text is the one the fields
// show, where Limit V goes with the number the KV text stands for. A register not given is skipped,
// and Limit V with KV's. An error leaves the rows before the failing one handed on.
void EachFigureOf(const TKnownRegisters& registers, const TMotorData& motor, const TEachFigure& each);
// Whether a row's register is given, and for Limit V, which converts with it, KV's.
bool RowKnown(const TKnownRegisters& registers, TSettingRow row);
// All nine as known.
TKnownRegisters AllKnown(const TRegisterValues& registers);

// Fills the fields in row order from the register values, each figure as EachFigureOf shows it.
void FillFromRegisters(const TRegisterValues& registers, const TMotorData& motor, const TSetField& setField);
