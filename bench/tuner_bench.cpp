// The tuner over two banks of drives (harness/tunerbank.h): 30 drives of the simulated drive's own kind
// (sim/plantbank.h PlantBank) and 30 of other makes, whose firmware and mechanics the tuner's model
// cannot represent exactly (ForeignPlantBank), each bank drawn from three seeds, each drive from the
// default settings and, where it has one, from a hot start with a strong integral; the grid optimum
// over 41 × 41 gains at five levels of KI. Prints for each bank, over its three seeds, for the tuner
// and for the compass search it replaced (which keeps KI), for all drives and by how far their first
// test overshot (up to the limit, up to twice, two to three times) and for the hot starts:
//   - tests a run used: median and 90th percentile;
//   - tests until the best tested is within 5 % of the grid optimum: median and 90th percentile;
//   - drives whose final result is within 5 % of the grid optimum;
//   - drives with a feasible result, of those whose box holds a feasible point;
//   - tests after the first that overshoot more than twice the limit;
//   - after the third test, the overshoot and integral measured within one and two predicted spreads;
//   - the method's own computation per proposed test, at most.
// KELMOR_BANK_SEEDS (seeds separated by commas) and KELMOR_BANK_DRIVES choose other banks.

#include "harness/tunerbank.h"
#include "sim/plantbank.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int KGrid = 41;

std::vector<std::uint64_t> Seeds() {
    const char* text = std::getenv("KELMOR_BANK_SEEDS");
    std::vector<std::uint64_t> seeds;
    for (std::string rest = text && *text ? text : "2026,7,99"; !rest.empty();) {
        const std::size_t comma = rest.find(',');
        seeds.push_back(std::strtoull(rest.substr(0, comma).c_str(), nullptr, 10));
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    return seeds;
}

int Drives() {
    const char* text = std::getenv("KELMOR_BANK_DRIVES");
    return text && *text ? std::max(1, std::atoi(text)) : 30;
}

struct TMethods {
    TBankFigures Tuner;
    TBankFigures Compass;
};
TMethods Own, Foreign;

void Tune(TMethods& methods, const char* name, const TPlantParameters& drive, const TBankStart& start,
          bool hot) {
    const double optimum = GridOptimum(drive, KGrid, start);
    methods.Tuner.Runs.push_back(RunTuner(drive, optimum, start));
    methods.Compass.Runs.push_back(RunCompass(drive, optimum, start));
    TDriveRun& t = methods.Tuner.Runs.back();
    methods.Compass.Runs.back().StartOvershoot = t.StartOvershoot;
    t.HotStart = methods.Compass.Runs.back().HotStart = hot;
    std::printf("%s (%s, from KP %.2f KV %.2f KI %.2f): optimum %.2f ms; tuner from %.1f %%, %d tests, "
                "within 5 %% after %d, final %.3f, %d over twice the limit; compass final %.3f\n",
                name, PlantText(drive).c_str(), start.Gains[0], start.Gains[1], start.Gains[2], optimum,
                t.StartOvershoot, t.Tests, t.TestsToWithin5, t.FinalRatio, t.OverTwiceLimit,
                methods.Compass.Runs.back().FinalRatio);
}

// Each drive from the default settings, and from a hot start with a strong integral where it has one.
void Tune(TMethods& methods, const char* name, std::vector<TPlantParameters> (*bank)(int, std::uint64_t)) {
    for (const std::uint64_t seed : Seeds()) {
        const std::vector<TPlantParameters> drives = bank(Drives(), seed);
        for (std::size_t i = 0; i < drives.size(); ++i) {
            const std::string title =
                std::string(name) + " bank " + std::to_string(seed) + ", drive " + std::to_string(i);
            Tune(methods, title.c_str(), drives[i], TBankStart{}, false);
            if (const std::optional<TBankStart> hot = HotStart(drives[i]))
                Tune(methods, (title + ", hot").c_str(), drives[i], *hot, true);
        }
    }
}

void TuneTheBanks(benchmark::State& state) {
    for (auto _ : state) {
        Tune(Own, "own", PlantBank);
        Tune(Foreign, "foreign", ForeignPlantBank);
    }
}

void Print(const char* name, const TBankFigures& f) {
    std::printf("  %s, %zu drives, %.1f tests a drive on average:\n", name, f.Runs.size(), f.MeanTests());
    std::printf("    tests a run used: median %.0f, 90th percentile %.0f\n", f.MedianTests(),
                f.Percentile90Tests());
    std::printf("    tests until the best tested is within 5 %% of the grid optimum: median %.0f, 90th "
                "percentile %.0f (99: never)\n",
                f.MedianTestsToWithin5(), f.Percentile90TestsToWithin5());
    std::printf("    final result within 5 %% of the grid optimum: %.0f %% of the drives whose box holds a "
                "feasible point\n",
                100 * f.ShareWithin5());
    std::printf("    a feasible result where the box holds one: %.0f %%\n", 100 * f.ShareFeasible());
    std::printf("    tests after the first above twice the overshoot limit: %d\n", f.OverTwiceLimit());
    if (f.ShareWithin2Spreads() > 0)
        std::printf("    measured within 1 / 2 predicted spreads, after the third test: %.0f %% / %.0f %%\n",
                    100 * f.ShareWithin1Spread(), 100 * f.ShareWithin2Spreads());
    std::printf("    computation per proposed test: at most %.1f ms\n", f.MostComputeMs());
}

void PrintBands(const char* name, const TBankFigures& f) {
    Print(name, f);
    const struct {
        const char* Name;
        double Above, UpTo;
    } bands[] = {{"starting up to the limit", -1e9, 1},
                 {"starting between the limit and twice it", 1, 2},
                 {"starting up to twice the limit (the two above)", -1e9, 2},
                 {"starting two to three times the limit", 2, 3}};
    for (const auto& band : bands)
        if (const TBankFigures b = f.Band(band.Above, band.UpTo); !b.Runs.empty())
            Print(band.Name, b);
    if (const TBankFigures hot = f.HotStarts(); !hot.Runs.empty())
        Print("from hot starts with a strong integral (in the bands above too)", hot);
}

} // namespace

BENCHMARK(TuneTheBanks)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [bank, methods] : {std::pair{"own bank", &Own}, std::pair{"foreign bank", &Foreign}}) {
        std::printf("The %s, %d drives of each of %zu seeds:\n", bank, Drives(), Seeds().size());
        PrintBands("the tuner (at most 12 tests)", methods->Tuner);
        PrintBands("the compass search it replaced (20 tests)", methods->Compass);
    }
    return 0;
}
