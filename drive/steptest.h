#pragma once

#include "common/numtext.h"
#include "drive/steprecord.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

class TExchange;

// The most samples a test records: 250 ms at 0.5 ms a sample.
constexpr int MaxStepSamples = 500;
// The drive's positions are unsigned 24-bit.
constexpr std::uint32_t MaxDrivePosition = 0xFFFFFF;

// The step's amplitude in pulses and the measurement time in ms as the entries give them. Throws
// EConvertError for an entry that is not a whole number and EKelmorError for a value below 1.
struct TStepEntries {
    std::int32_t Amplitude = 0;
    std::int32_t TimeMs = 0;
};
TStepEntries ParseStepEntries(const TTypedNumber& amplitude, const TTypedNumber& time);

struct TStepMeasurement {
    TStepRecord Record;
    // The measurement time asked for was longer than the drive records; "250" stands for it.
    bool TimeCapped = false;
};

// The drive's position, asked with "L " on a settled line (ReadPosition's reply): where the motor
// is, as far as one reading can say.
std::int32_t QueryPosition(TExchange& exchange);

// How far two readings of a motor at rest, or a reading and where the motor was left, may lie apart:
// a tenth of the amplitude and two pulses, an encoder's jitter. A digit lost on the line moves a
// reading much further.
std::int32_t PositionTolerance(std::uint32_t amplitude);

// A position the line confirmed, the only kind a motion is computed from. With `expected` (where the
// last confirmed move left the motor) one reading that agrees with it within the tolerance; without,
// three readings asked at once, of which the longest two agree (a lost digit only shortens one). A
// reading that breaks its frame, or too few that agree, are asked again, up to MostReadingTries
// attempts; then EConvertError names the readings, and nothing has moved.
std::int32_t ConfirmedPosition(TExchange& exchange, std::int32_t tolerance,
                               std::optional<std::int32_t> expected = std::nullopt);

// One unit-step test over an exchange that the caller holds for the whole test, so the poll takes no
// byte of it: takes the confirmed position (ConfirmedPosition, with `expected` when given), takes the
// amplitude and the measurement time in ms from their entries, asks for two samples a millisecond (at most
// MaxStepSamples) with "S ", purges again, steps to the start position plus the amplitude with "J " and scans
// the records of the reply. The record holds the samples at their times, a damaged record missing, at most as
// many as were asked for. After the "L" exchange and before anything more is sent, it throws EConvertError
// for a position reply that is not one (the target is computed only from a position that came in the reply's
// exact shape) or an entry that is not a whole number, and EKelmorError for an amplitude or a time below 1 or
// a target beyond MaxDrivePosition. A test whose first sample shows the motor away from the position read
// fails as RequireStartWhereRead says.
TStepMeasurement MeasureStep(TExchange& exchange, const TTypedNumber& amplitude, const TTypedNumber& time,
                             std::optional<std::int32_t> expected = std::nullopt);

// Marks missing each sample further from the one before it (the first: from start) than any motor
// turns in one sample period, as a record garbled on the line reads.
void DropImpossibleJumps(std::vector<std::uint32_t>& samples, std::uint32_t start);

// Throws EKelmorError "The motor was not where it was read…" when the first sample lies further from
// the start position than a tenth of the amplitude (and two pulses): the start, and so the step's
// target, was not the motor's position.
void RequireStartWhereRead(const TStepRecord& record);
