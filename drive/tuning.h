#pragma once

#include "drive/registertable.h"
#include "drive/testrecord.h"

#include <QString>
#include <array>
#include <optional>
#include <span>
#include <vector>

// Guided tuning: the values a gain sweep visits, a bounded search over two gains, and the criterion
// that ranks the tests they run. All of it is plain arithmetic on records; the runner drives the drive.

// A band of ±5 % around the target that the response must end in.
constexpr double SettlingBandPercent = 5;
// A test whose overshoot passes this many times the limit stops the run: the loop is near instability.
constexpr double UnstableFactor = 3;
// The most rounds a sweep has, and the most tests a search may run.
constexpr int MaxSweepSteps = 25;
constexpr int MaxSearchTests = 100;

struct TTuningCriterion {
    double OvershootLimit = 10; // percent
    double BackOffPercent = 0;  // 0 .. 30, taken off the best gains
};

// Why a test cannot be the best, or none.
enum class TRoundVerdict { Eligible, SamplesMissing, Overshoot, NotSettled };
TRoundVerdict Verdict(const TTestRecord& test, const TTuningCriterion& criterion);

// The error integral divided by the amplitude, in ms: what the criterion minimises.
double NormalisedIntegral(const TTestRecord& test);

// One tuning round: the test it ran and the gains it ran with.
struct TTuningRound {
    int TestNumber = 0;
    std::array<double, 2> Gains{}; // the swept gain, or the two searched; the second 0 in a sweep
    TRoundVerdict Verdict = TRoundVerdict::Eligible;
    double Score = 0; // the normalised integral; lower is better
    float Overshoot = 0;
};

TTuningRound MakeRound(const TTestRecord& test, std::array<double, 2> gains,
                       const TTuningCriterion& criterion);

// The best round: the smallest normalised integral among the eligible ones, ties going to the smaller
// gains (the first, then the second). None when no round is eligible.
std::optional<std::size_t> BestRound(std::span<const TTuningRound> rounds);

// The gain after the back-off, kept within [lowest, highest].
double BackedOff(double gain, const TTuningCriterion& criterion, double lowest, double highest);

// The values a sweep visits from `from` to `to` in `steps` (2 .. 25) values, evenly or geometrically
// spaced, both ends included. Geometric spacing needs both ends above zero. Throws EKelmorError for a
// plan it cannot follow.
std::vector<double> SweepValues(double from, double to, int steps, bool geometric);

// A compass search over two gains on the logarithms of their values, within a box: from the start
// it tries a step up and down in each gain in turn and moves to the first better point; when no
// neighbour is better it halves the step, and it ends when the step is finer than a gain can show or
// the tests run out. Each point is asked for once; points outside the box are held at its edge.
class TGainSearch {
public:
    struct TBox {
        std::array<double, 2> Lowest;
        std::array<double, 2> Highest;
    };

    // Both gains and all bounds above zero, each lowest below its highest; start is held in the box.
    TGainSearch(TBox box, std::array<double, 2> start, int maxTests);

    // The next point to test, or none when the search has ended.
    std::optional<std::array<double, 2>> Next();
    // The score of the point Next gave last; lower is better.
    void Report(double score);

    int Tests() const { return FTests; }

private:
    std::array<double, 2> Point(const std::array<double, 2>& logs) const;
    std::optional<std::array<double, 2>> Propose();

    TBox FBox;
    std::array<double, 2> FCurrent; // logarithms
    std::optional<double> FCurrentScore;
    std::array<double, 2> FStep;
    std::array<double, 2> FPending{};
    int FMaxTests;
    int FTests = 0;
    int FDirection = 0; // which of the four neighbours comes next
    int FTried = 0;     // neighbours tried at the current point and step
    std::vector<std::pair<std::array<double, 2>, double>> FSeen;
};

// The score that steers the search: the normalised integral when eligible; above every eligible one
// otherwise, lower the nearer the test came to being eligible.
double SearchScore(const TTestRecord& test, const TTuningCriterion& criterion);

// A gain's value as a field text in the running locale's form, with up to six significant digits.
QString GainText(double value);
