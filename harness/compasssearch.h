#pragma once

// The two-gain search that guided tuning used before the tuner: the baseline its benchmark compares
// the tuner with.

#include "drive/tuning.h"

#include <array>
#include <optional>
#include <vector>

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
