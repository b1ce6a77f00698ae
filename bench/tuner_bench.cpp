// The tuner over a bank of drives that are not the standard one: 30 seeded random drives of the
// simulator (sim/plantbank.h), each tuned from the default settings (KP 3, KV 4) in the dialog's
// default box (an eighth to eight times each gain) with 200-pulse, 250 ms step tests and a 10 %
// overshoot limit, the tests simulated directly rather than over a serial line. Each drive's grid
// optimum is the best eligible point of 41 × 41 log-spaced gains over the box, register values as
// the drive holds them, simulated without measurement noise; every figure below judges the tested
// registers the same way, without noise. Prints, for the tuner (12 tests at most) and for the compass
// search it replaced (20 tests) as the baseline:
//   - tests until the best tested is within 5 % of the grid optimum: median (target at most 8) and
//     90th percentile (at most 12);
//   - drives whose final result is within 5 % of the grid optimum (target at least 90 %);
//   - drives with a feasible result, of those whose box holds a feasible point (target 100 %);
//   - tests after the first that overshoot more than twice the limit (target 0);
//   - tests after the third whose overshoot the tuner predicted within 2 points (target at least 80 %);
//   - the tuner's own computation per proposed test, mean and most (target at most 50 ms).

#include "bench/compasssearch.h"
#include "drive/controllersettings.h"
#include "drive/gaintuner.h"
#include "drive/tuning.h"
#include "sim/drivesim.h"
#include "sim/plantbank.h"

#include <QCoreApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr int KDrives = 30;
constexpr std::uint64_t KBankSeed = 2026;

// KELMOR_BANK_SEED draws another bank, to see that the tuner is not fitted to one.
std::uint64_t BankSeed() {
    const char* seed = std::getenv("KELMOR_BANK_SEED");
    return seed && *seed ? std::strtoull(seed, nullptr, 10) : KBankSeed;
}
constexpr int KAmplitude = 200;
constexpr int KSamples = 500;
constexpr int KGrid = 41;
constexpr double KBoxFactor = 8;
constexpr int KTunerTests = 12;
constexpr int KCompassTests = 20;
constexpr std::array<double, 2> KStart = {3, 4};
const TTuningCriterion KCriterion{10, 0};
constexpr double KInfinity = std::numeric_limits<double>::infinity();

// What a test of registers on a drive gives: the record, as the runner would judge it.
struct TTestRun {
    TTestRecord Test;
    bool Eligible = false;
    double Score = KInfinity;
};

TTestRun RunTest(TPlantParameters plant, const TRegisterValues& registers, std::uint64_t noiseSeed) {
    plant.Seed = noiseSeed;
    TStepRecord step{KAmplitude, TDriveSim::KStartPosition, KSamples, {}};
    for (const std::int32_t count : SimulateStep(plant, registers, KAmplitude, KSamples))
        step.Samples.push_back(std::uint32_t(count));
    TTestRun run{MakeTestRecord(0, {}, std::move(step), std::make_shared<const TKnownSettings>())};
    run.Eligible = Verdict(run.Test, KCriterion) == TRoundVerdict::Eligible;
    run.Score = NormalisedIntegral(run.Test);
    return run;
}

// The drive without its measurement noise: what the figures judge by.
double TrueScore(TPlantParameters plant, const TRegisterValues& registers) {
    plant.Noise = 0;
    const TTestRun run = RunTest(plant, registers, 1);
    return run.Eligible ? run.Score : KInfinity;
}

TRegisterValues Registers(const std::array<double, 2>& gains) {
    TSettingTexts texts = DefaultSettingTexts();
    texts[KP] = GainText(gains[0]);
    texts[KV] = GainText(gains[1]);
    return SettingRegisters(texts, DefaultMotorData());
}

std::array<double, 2> Lowest() {
    return {KStart[0] / KBoxFactor, KStart[1] / KBoxFactor};
}
std::array<double, 2> Highest() {
    return {KStart[0] * KBoxFactor, KStart[1] * KBoxFactor};
}

double GridOptimum(const TPlantParameters& plant) {
    double best = KInfinity;
    for (int a = 0; a < KGrid; ++a)
        for (int b = 0; b < KGrid; ++b) {
            const auto at = [&](std::size_t i, int k) {
                return Lowest()[i] * std::pow(KBoxFactor * KBoxFactor, double(k) / (KGrid - 1));
            };
            best = std::min(best, TrueScore(plant, Registers({at(0, a), at(1, b)})));
        }
    return best;
}

// One method's run on one drive, as the figures need it.
struct TOutcome {
    int Tests = 0;
    int TestsToWithin5 = 0; // 0: never
    double FinalRatio = KInfinity;
    int OverTwiceLimit = 0;
    int Predicted = 0;
    int PredictedWithin2 = 0;
    std::vector<double> ComputeMs;
};

// Runs tests as the runner does, one at a time, until the method stops or a test overshoots more
// than three times the limit. `next` proposes the registers to test (none: the end) and what it
// predicts of their overshoot; `report` takes the outcome; `final` is what the method recommends.
TOutcome Run(const TPlantParameters& plant, double optimum,
             const std::function<std::optional<std::pair<TRegisterValues, std::optional<double>>>()>& next,
             const std::function<void(const TTestRun&)>& report,
             const std::function<std::optional<TRegisterValues>()>& final, std::uint64_t seed) {
    TOutcome outcome;
    double bestTrue = KInfinity;
    for (;;) {
        const auto started = std::chrono::steady_clock::now();
        const auto proposal = next();
        if (outcome.Tests > 0)
            outcome.ComputeMs.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                    .count());
        if (!proposal)
            break;
        const TTestRun run = RunTest(plant, proposal->first, seed * 1000 + std::uint64_t(outcome.Tests));
        ++outcome.Tests;
        const double overshoot = run.Test.Figures.Overshoot;
        if (outcome.Tests > 1 && overshoot > 2 * KCriterion.OvershootLimit)
            ++outcome.OverTwiceLimit;
        if (proposal->second && outcome.Tests > 3) {
            ++outcome.Predicted;
            outcome.PredictedWithin2 += std::fabs(*proposal->second - overshoot) <= 2;
        }
        bestTrue = std::min(bestTrue, TrueScore(plant, proposal->first));
        if (outcome.TestsToWithin5 == 0 && bestTrue <= 1.05 * optimum)
            outcome.TestsToWithin5 = outcome.Tests;
        report(run);
        if (overshoot > UnstableFactor * KCriterion.OvershootLimit)
            break;
    }
    if (const std::optional<TRegisterValues> result = final())
        outcome.FinalRatio = TrueScore(plant, *result) / optimum;
    return outcome;
}

TOutcome RunTuner(const TPlantParameters& plant, double optimum, std::uint64_t seed) {
    TTunerSetup setup;
    setup.Lowest = Lowest();
    setup.Highest = Highest();
    setup.Start = KStart;
    setup.MaxTests = KTunerTests;
    setup.OvershootLimit = KCriterion.OvershootLimit;
    setup.Amplitude = KAmplitude;
    setup.SampleCount = KSamples;
    setup.Registers = Registers;
    TGainTuner tuner(setup);
    return Run(
        plant, optimum,
        [&]() -> std::optional<std::pair<TRegisterValues, std::optional<double>>> {
            const std::optional<TTunerProposal> p = tuner.Next();
            if (!p)
                return std::nullopt;
            return std::pair{p->Registers,
                             p->Predicted ? std::optional(p->Predicted->Overshoot) : std::nullopt};
        },
        [&](const TTestRun& run) {
            tuner.Report({TruePositions(run.Test.Step), run.Eligible, run.Score});
        },
        [&]() -> std::optional<TRegisterValues> {
            const auto best = tuner.Best();
            return best ? std::optional(tuner.Tested()[best->Test].Registers) : std::nullopt;
        },
        seed);
}

TOutcome RunCompass(const TPlantParameters& plant, double optimum, std::uint64_t seed) {
    TGainSearch search({Lowest(), Highest()}, KStart, KCompassTests);
    std::optional<TRegisterValues> best;
    double bestScore = KInfinity;
    TRegisterValues pending{};
    return Run(
        plant, optimum,
        [&]() -> std::optional<std::pair<TRegisterValues, std::optional<double>>> {
            const std::optional<std::array<double, 2>> gains = search.Next();
            if (!gains)
                return std::nullopt;
            pending = Registers(*gains);
            return std::pair{pending, std::nullopt};
        },
        [&](const TTestRun& run) {
            search.Report(SearchScore(run.Test, KCriterion));
            if (run.Eligible && run.Score < bestScore) {
                bestScore = run.Score;
                best = pending;
            }
        },
        [&] { return best; }, seed);
}

struct TFigures {
    std::vector<TOutcome> Outcomes;
    std::vector<double> Optima;
};

double Percentile(std::vector<int> values, double share) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

void Print(const char* name, const TFigures& f) {
    std::vector<int> reach;
    int within = 0, feasible = 0, feasibleBoxes = 0, overTwice = 0, predicted = 0, predictedWithin = 0,
        tests = 0;
    double computeSum = 0, computeMost = 0;
    std::size_t computeCount = 0;
    for (std::size_t i = 0; i < f.Outcomes.size(); ++i) {
        const TOutcome& o = f.Outcomes[i];
        // A drive that never came within 5 % counts as needing more tests than any method ran.
        reach.push_back(o.TestsToWithin5 > 0 ? o.TestsToWithin5 : 99);
        within += o.FinalRatio <= 1.05;
        feasibleBoxes += std::isfinite(f.Optima[i]);
        feasible += std::isfinite(f.Optima[i]) && std::isfinite(o.FinalRatio);
        overTwice += o.OverTwiceLimit;
        predicted += o.Predicted;
        predictedWithin += o.PredictedWithin2;
        tests += o.Tests;
        for (const double ms : o.ComputeMs) {
            computeSum += ms;
            computeMost = std::max(computeMost, ms);
            ++computeCount;
        }
    }
    const auto n = int(f.Outcomes.size());
    std::printf("%s over %d drives, %.1f tests a drive on average:\n", name, n, double(tests) / n);
    std::printf(
        "  tests until the best tested is within 5 %% of the grid optimum: median %.0f (target <= 8), "
        "90th percentile %.0f (target <= 12)%s\n",
        Percentile(reach, 0.5), Percentile(reach, 0.9), " (99: never)");
    std::printf(
        "  final result within 5 %% of the grid optimum: %d of %d drives, %.0f %% (target >= 90 %%)\n",
        within, n, 100.0 * within / n);
    std::printf("  a feasible result: %d of the %d drives whose box holds a feasible point (target all)\n",
                feasible, feasibleBoxes);
    std::printf("  tests after the first above twice the overshoot limit: %d (target 0)\n", overTwice);
    if (predicted > 0)
        std::printf(
            "  overshoot predicted within 2 points: %d of %d tests after the third, %.0f %% (target >= "
            "80 %%)\n",
            predictedWithin, predicted, 100.0 * predictedWithin / predicted);
    if (computeCount > 0)
        std::printf("  computation per proposed test: mean %.1f ms, most %.1f ms (target <= 50 ms)\n",
                    computeSum / double(computeCount), computeMost);
}

TFigures Tuner;
TFigures Compass;

void TuneTheBank(benchmark::State& state) {
    const std::vector<TPlantParameters> bank = PlantBank(KDrives, BankSeed());
    for (auto _ : state) {
        Tuner = {};
        Compass = {};
        for (std::size_t i = 0; i < bank.size(); ++i) {
            const double optimum = GridOptimum(bank[i]);
            Tuner.Optima.push_back(optimum);
            Compass.Optima.push_back(optimum);
            Tuner.Outcomes.push_back(RunTuner(bank[i], optimum, i + 1));
            Compass.Outcomes.push_back(RunCompass(bank[i], optimum, i + 1));
            const TOutcome& t = Tuner.Outcomes.back();
            std::printf("drive %2zu (%s): optimum %.2f ms; tuner %d tests, within 5 %% after %d, final %.3f; "
                        "compass final %.3f\n",
                        i, PlantText(bank[i]).c_str(), optimum, t.Tests, t.TestsToWithin5, t.FinalRatio,
                        Compass.Outcomes.back().FinalRatio);
        }
    }
}

} // namespace

BENCHMARK(TuneTheBank)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Print("The tuner (at most 12 tests)", Tuner);
    Print("The compass search it replaced (20 tests), the baseline", Compass);
    return 0;
}
