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
TStepEntries ParseStepEntries(const TFigure& amplitude, const TFigure& time);

struct TStepMeasurement {
    TStepRecord Record;
    // The measurement time asked for was longer than the drive records; "250" stands for it.
    bool TimeCapped = false;
    // The drive took "S 0" after the records: it no longer holds the sample count as its set-point.
    bool SetPointZeroed = false;
};

// The drive's position, asked with "L " on a settled line (ReadPosition's reply): where the motor
// is, as far as one reading can say.
std::int32_t QueryPosition(TExchange& exchange);

// How far two readings of a motor at rest, or a reading and where the motor was left, may lie apart:
// a tenth of the amplitude and two pulses, an encoder's jitter. A digit lost on the line moves a
// reading much further.
std::int32_t PositionTolerance(std::uint32_t amplitude);

// A position the line confirmed, the only kind a motion is computed from. With a witness (where the
// last test's records left the motor) one reading that agrees with it within the tolerance; one that
// disagrees is asked again, and MostWitnessDisagreements whole readings that agree with each other but
// not with it refuse the test ("The motor is not where the last test left it: …"). Without, readings asked at
// once and weighed by TReadingVote (readingvote.h): AgreeingReadings that agree with the longest
// (ReadPositions). A reading that breaks its frame is asked again. At most MostConfirmingQueries queries and
// that many read time-outs in all; then EConvertError names the readings, and nothing has moved.
std::int32_t ConfirmedPosition(TExchange& exchange, std::int32_t tolerance,
                               std::optional<std::int32_t> witness = std::nullopt);

// One unit-step test over an exchange that the caller holds for the whole test, so the poll takes no
// byte of it: takes the confirmed position (ConfirmedPosition, with the witness when given), takes the
// amplitude and the measurement time in ms from their entries, asks for two samples a millisecond (at most
// MaxStepSamples) with "S ", purges again, steps to the start position plus the amplitude with "J " and scans
// the records of the reply, then sets the set-point back to 0, confirmed (SetPointZeroed), so the drive does
// not keep the sample count as a set-point for a mode chosen later. The record holds the samples at their
// times, a damaged record missing, at most as many as were asked for. After the "L" exchange and before
// anything more is sent, it throws EConvertError for a position reply that is not one (the target is computed
// only from a position that came in the reply's exact shape) or an entry that is not a whole number, and
// EKelmorError for an amplitude or a time below 1 or a target beyond MaxDrivePosition. A test whose first
// sample shows the motor away from the position read fails as RequireStartWhereRead says.
TStepMeasurement MeasureStep(TExchange& exchange, const TFigure& amplitude, const TFigure& time,
                             std::optional<std::int32_t> witness = std::nullopt);

// Where the records left the motor: the last samples that came, all at the target within the tolerance;
// none when they do not show it there.
std::optional<std::int32_t> RecordedEnd(const TStepRecord& record);
// Where the records saw the motor before it moved: the first sample, or the second when the first was
// garbled; none when neither came.
std::optional<std::uint32_t> RecordedStart(const TStepRecord& record);
// Whether the records saw the motor start where the test read it: the first sample of the first 4 ms
// that came lies within the step's reach of the start (twice the amplitude and the tolerance), as a
// start misread by a lost digit does not.
bool StartWitnessed(const TStepRecord& record);

// Marks missing each sample further from the one before it (the first: from start) than any motor
// turns in one sample period, as a record garbled on the line reads.
void DropImpossibleJumps(std::vector<std::uint32_t>& samples, std::uint32_t start);

// Throws EKelmorError "The motor was not where it was read…" when the recorded start lies further from
// the start position than a tenth of the amplitude (and two pulses): the start, and so the step's
// target, was not the motor's position.
void RequireStartWhereRead(const TStepRecord& record);
