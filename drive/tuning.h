#pragma once

#include "drive/registertable.h"
#include "drive/testrecord.h"
#include "tuner/criterion.h"
#include "tuner/gaintuner.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <cmath>
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
// verify the best point backed off before it is offered, or with KI at its floor when the tuner
// found no other test it deemed safe.
enum class TRoundRole { Planned, Confirmation, BackOff, Fallback };

// One tuning round: the test it ran and the gains and registers it ran with.
struct TTuningRound {
    int TestNumber = 0;
    std::array<double, 2> Gains{}; // the swept gain, or the two searched; the second 0 in a sweep
    double Ki = std::nan("");      // the KI a search wrote; NaN where the plan left KI as it was
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

// What a tuning run does: a sweep of one setting, or a search over two.
struct TTuningPlan {
    bool Search = false;
    // The swept setting is the first; a search varies both.
    std::array<TSettingRow, 2> Rows{KP, KV};
    // Sweep: from From to To in Steps values (2 .. 25), evenly or geometrically spaced.
    double From = 0;
    double To = 0;
    int Steps = 10;
    bool Geometric = false;
    // Search: each gain within its bounds, at most MaxTests tests, from the settings in the drive.
    std::array<double, 2> Lowest{};
    std::array<double, 2> Highest{};
    int MaxTests = 12;
    // How low the search may take KI, from 0 up to the drive's KI; none: KI stays as it is. (A search
    // whose rows hold KI searches it there.)
    std::optional<double> KiFloor;

    TTuningCriterion Criterion;
    // Between tests the motor goes back to where the run started.
    bool ReturnToStart = true;
    // The step of every test, as the step page's entries give it.
    TFigure Amplitude;
    TFigure Time;
};

// Whether a plan's search may lower KI: a search, with a floor, and KI not one of its two rows.
bool SearchesKi(const TTuningPlan& plan);

// What "Zastosuj" writes when a run is over: the registers of a tested round, and whether they are
// the best backed off (verified by a test of their own) or the best itself.
struct TTuningResult {
    std::size_t Round = 0;
    TRegisterValues Registers{};
    // BackOffUnsafe: the tuner deemed the backed-off settings unsafe to test, so the best is offered.
    enum TKind { Best, BackedOff, BackOffFailed, BackOffUnsafe } Kind = Best;
    bool Confirmed = false; // the point was tested twice and met the criterion both times
};

// The cells of the tuning map's predicted overshoot, in each direction.
constexpr int TuningMapCells = 28;

// What is kept of a tuning run once it has ended: for the report and the session file.
struct TTuningRecord {
    TTuningPlan Plan;
    std::array<double, 2> StartGains{}; // a search's
    double StartKi = std::nan("");      // the drive's KI when a search that may lower it started
    std::vector<TTuningRound> Rounds;
    std::optional<std::size_t> Best;
    std::optional<TTuningResult> Result;
    QString EndReason; // why it ended before its plan did; empty when the plan ran out
    QDateTime EndedAt;
    bool Applied = false; // "Zastosuj" wrote the result
    // A search's predicted overshoot over its box, TuningMapCells square, row 0 at the lowest second
    // gain, NaN where the tuner cannot tell; empty for a sweep or before the tuner knew anything.
    std::vector<double> PredictedOvershoot;
};

// The overshoot the tuner predicts at the centres of the map's cells over the plan's box, at the KI
// of its best test (before there is one, of its last).
std::vector<double> PredictedOvershoot(const TGainTuner& tuner, const TTuningPlan& plan);

// The best planned round: the smallest normalised integral among the eligible ones, ties going to the
// smaller gains (the first, then the second). None when no round is eligible.
std::optional<std::size_t> BestRound(std::span<const TTuningRound> rounds);

// The values a sweep visits from `from` to `to` in `steps` (2 .. 25) values, evenly or geometrically
// spaced, both ends included. Geometric spacing needs both ends above zero. Throws EKelmorError for a
// plan it cannot follow.
std::vector<double> SweepValues(double from, double to, int steps, bool geometric);

// A gain's value as a field text in the running locale's form, with up to six significant digits.
QString GainText(double value);

// A gain as a run writes it: to fifteen significant digits, so that the binary noise of a computed
// gain (a sweep's 2.9999999999999996) does not cost its register a unit, while a drive's own figure,
// a whole number of 256ths, stays exact.
double WrittenGain(double value);
