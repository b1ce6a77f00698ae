// The tuner on a few drives of each bank, three of them started above twice the limit and three from hot
// starts with a strong integral, simulated directly, judged as the benchmark judges it
// (harness/tunerbank.h): a short version of the benchmark that the suite runs, so that a tuner which
// stops minding the integral or the safety bound, or no longer comes down from a hot start, fails here.

#include "harness/tunerbank.h"
#include "sim/plantbank.h"

#include <gtest/gtest.h>

namespace {

// The grid the optimum is taken from: coarser than the benchmark's, to keep the test short.
constexpr int KGrid = 21;

// The first three drives of the bank whose default settings overshoot more than twice the limit,
// the first five others, and the first three with a hot start.
TBankFigures Tune(const std::vector<TPlantParameters>& bank) {
    TBankFigures figures;
    int high = 0, rest = 0, hot = 0;
    for (const TPlantParameters& drive : bank) {
        const bool above = StartOvershoot(drive) > 20;
        int& taken = above ? high : rest;
        if (taken < (above ? 3 : 5)) {
            ++taken;
            figures.Runs.push_back(RunTuner(drive, GridOptimum(drive, KGrid)));
        }
        if (const std::optional<TBankStart> start = HotStart(drive); start && hot < 3) {
            ++hot;
            figures.Runs.push_back(RunTuner(drive, GridOptimum(drive, KGrid, *start), *start));
            figures.Runs.back().HotStart = true;
        }
    }
    return figures;
}

} // namespace

TEST(TunerQuality, FindsTheOptimumOnBothBanksWithoutATestAboveTwiceTheLimit) {
    const struct {
        const char* Bank;
        TBankFigures Figures;
        double LeastWithin5;
        double LeastFeasible;
    } banks[] = {
        {"own", Tune(PlantBank(30, 2026)), 0.6, 0.7},
        {"foreign", Tune(ForeignPlantBank(30, 2026)), 0.5, 0.5},
    };
    // The own bank's models represent its drives: they come down from most hot starts.
    EXPECT_GE(banks[0].Figures.HotStarts().ShareFeasible(), 0.6);
    for (const auto& b : banks) {
        ASSERT_EQ(b.Figures.HotStarts().Runs.size(), 3u) << b.Bank;
        ASSERT_GE(b.Figures.Band(2, 3).Runs.size(), 6u) << b.Bank;
        EXPECT_EQ(b.Figures.OverTwiceLimit(), 0) << b.Bank;
        EXPECT_GE(b.Figures.ShareWithin5(), b.LeastWithin5) << b.Bank;
        EXPECT_GE(b.Figures.ShareFeasible(), b.LeastFeasible) << b.Bank;
        EXPECT_LE(b.Figures.MedianTests(), 8) << b.Bank << ": a run ends when it has found";
        EXPECT_GE(b.Figures.ShareWithin2Spreads(), 0.9) << b.Bank << ": the spread shown covers the misses";
    }
}
