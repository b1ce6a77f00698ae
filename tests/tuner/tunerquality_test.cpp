// The tuner on a few drives of each bank, simulated directly, judged as the benchmark judges it
// (bench/tunerbank.h): a short version of the benchmark that the suite runs, so that a tuner which
// stops minding the integral or the safety bound fails here.

#include "bench/tunerbank.h"
#include "sim/plantbank.h"

#include <gtest/gtest.h>

namespace {

// The grid the optimum is taken from: coarser than the benchmark's, to keep the test short.
constexpr int KGrid = 21;

TBankFigures Tune(const std::vector<TPlantParameters>& drives) {
    TBankFigures figures;
    for (const TPlantParameters& drive : drives)
        figures.Runs.push_back(RunTuner(drive, GridOptimum(drive, KGrid)));
    return figures;
}

} // namespace

TEST(TunerQuality, FindsTheOptimumOnBothBanksWithoutATestAboveTwiceTheLimit) {
    const struct {
        const char* Bank;
        TBankFigures Figures;
        double LeastWithin5;
    } banks[] = {
        {"own", Tune(PlantBank(8, 2026)), 0.6},
        {"foreign", Tune(ForeignPlantBank(8, 2026)), 0.5},
    };
    for (const auto& b : banks) {
        EXPECT_EQ(b.Figures.OverTwiceLimit(), 0) << b.Bank;
        EXPECT_GE(b.Figures.ShareWithin5(), b.LeastWithin5) << b.Bank;
        EXPECT_GE(b.Figures.ShareWithin2Spreads(), 0.8) << b.Bank << ": the spread shown covers the misses";
    }
}
