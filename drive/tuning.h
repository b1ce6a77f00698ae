#pragma once

#include "drive/registertable.h"
#include "drive/testrecord.h"
#include "tuner/criterion.h"
#include "tuner/gaintuner.h"

#include <QString>
#include <array>
#include <optional>
#include <span>
#include <vector>

// Guided tuning: the values a gain sweep visits, and the tuner's criterion (tuner/criterion.h) on the
// tests of the history. All of it is plain arithmetic on records; the tuner chooses a search's
// tests, the runner drives the drive.

// The most rounds a sweep has, and the most tests a search may run.
constexpr int MaxSweepSteps = 25;
constexpr int MaxSearchTests = 40;

// The criterion's verdict on a test of the history.
TRoundVerdict Verdict(const TTestRecord& test, const TTuningCriterion& criterion);

// The error integral divided by the amplitude, in ms: what the criterion minimises.
double NormalisedIntegral(const TTestRecord& test);

// Why a round ran: as the plan or the tuner chose it, to confirm the best point by a repeat, to
// verify the best point backed off before it is offered, or with KP an octave lower when the tuner
// found no other test it deemed safe.
enum class TRoundRole { Planned, Confirmation, BackOff, Fallback };

// One tuning round: the test it ran and the gains and registers it ran with.
struct TTuningRound {
    int TestNumber = 0;
    std::array<double, 2> Gains{}; // the swept gain, or the two searched; the second 0 in a sweep
    TRoundVerdict Verdict = TRoundVerdict::Eligible;
    double Score = 0; // the normalised integral; lower is better
    float Overshoot = 0;
    TRoundRole Role = TRoundRole::Planned;
    TRegisterValues Registers{}; // by register number, as written
    // What the tuner expected of the test before it ran.
    std::optional<TTunerPrediction> Predicted;
};

TTuningRound MakeRound(const TTestRecord& test, std::array<double, 2> gains,
                       const TTuningCriterion& criterion);

// The best planned round: the smallest normalised integral among the eligible ones, ties going to the
// smaller gains (the first, then the second). None when no round is eligible.
std::optional<std::size_t> BestRound(std::span<const TTuningRound> rounds);

// The values a sweep visits from `from` to `to` in `steps` (2 .. 25) values, evenly or geometrically
// spaced, both ends included. Geometric spacing needs both ends above zero. Throws EKelmorError for a
// plan it cannot follow.
std::vector<double> SweepValues(double from, double to, int steps, bool geometric);

// A gain's value as a field text in the running locale's form, with up to six significant digits.
QString GainText(double value);
