#include "harness/tunerbank.h"

#include "drive/controllersettings.h"
#include "drive/tuning.h"
#include "harness/compasssearch.h"
#include "sim/drivesim.h"
#include "sim/plantbank.h"
#include "tuner/gaintuner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>

namespace {

constexpr int KAmplitude = 200;
constexpr int KSamples = 500;
constexpr double KBoxFactor = 8;
constexpr int KTunerTests = 12;
constexpr int KCompassTests = 20;
// The dialog's default floor of KI: half of the start's.
constexpr double KKiFloor = 0.5;
// KI's levels in the grid optimum, from the floor to the start.
constexpr int KKiLevels = 5;
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

TRegisterValues Registers(const TTunerGains& gains) {
    TSettingNumbers settings = DefaultSettings();
    settings[KP] = TFigure(GainText(gains[0]));
    settings[KV] = TFigure(GainText(gains[1]));
    settings[KI] = TFigure(GainText(gains[2]));
    return SettingRegisters(settings, DefaultMotorData());
}

std::array<double, 2> Lowest(const TBankStart& start) {
    return {start.Gains[0] / KBoxFactor, start.Gains[1] / KBoxFactor};
}
std::array<double, 2> Highest(const TBankStart& start) {
    return {start.Gains[0] * KBoxFactor, start.Gains[1] * KBoxFactor};
}

struct TProposal {
    TRegisterValues Registers;
    std::optional<TTunerPrediction> Predicted;
};

// Runs tests as the runner does, one at a time, until the method stops or a test overshoots more
// than three times the limit. `next` proposes the registers to test (none: the end); `report` takes
// the outcome; `final` is what the method recommends.
TDriveRun Run(const TPlantParameters& plant, double optimum,
              const std::function<std::optional<TProposal>()>& next,
              const std::function<void(const TTestRun&)>& report,
              const std::function<std::optional<TRegisterValues>()>& final) {
    TDriveRun outcome;
    outcome.Optimum = optimum;
    double bestTrue = KInfinity;
    for (;;) {
        const auto started = std::chrono::steady_clock::now();
        const std::optional<TProposal> proposal = next();
        if (outcome.Tests > 0)
            outcome.ComputeMs.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                    .count());
        if (!proposal)
            break;
        const TTestRun run =
            RunTest(plant, proposal->Registers, plant.Seed * 1000 + std::uint64_t(outcome.Tests));
        ++outcome.Tests;
        const double overshoot = run.Test.Figures.Overshoot;
        if (outcome.Tests == 1)
            outcome.StartOvershoot = overshoot;
        if (outcome.Tests > 1 && overshoot > 2 * KCriterion.OvershootLimit)
            ++outcome.OverTwiceLimit;
        if (const std::optional<TTunerPrediction>& p = proposal->Predicted; p && outcome.Tests > 3) {
            const TLoopFigures measured = LoopFigures(TruePositions(run.Test.Step), KAmplitude);
            const double overshootMiss = std::fabs(measured.Overshoot - p->Overshoot) / p->OvershootSd;
            const double integralMiss =
                std::fabs(std::log(measured.IntegralPerPulse / p->Integral)) / (p->IntegralSd / p->Integral);
            for (const double miss : {overshootMiss, integralMiss}) {
                ++outcome.Predicted;
                outcome.Within1 += miss <= 1;
                outcome.Within2 += miss <= 2;
            }
        }
        bestTrue = std::min(bestTrue, TrueScore(plant, proposal->Registers));
        if (outcome.TestsToWithin5 == 0 && bestTrue <= 1.05 * optimum)
            outcome.TestsToWithin5 = outcome.Tests;
        report(run);
        if (overshoot > UnstableFactor * KCriterion.OvershootLimit)
            break;
    }
    outcome.FinalRatio = KInfinity;
    if (const std::optional<TRegisterValues> result = final())
        outcome.FinalRatio = TrueScore(plant, *result) / optimum;
    return outcome;
}

double Percentile(std::vector<int> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(share * double(values.size())))];
}

// A drive that never came within 5 % counts as needing more tests than any method ran.
std::vector<int> Reach(const std::vector<TDriveRun>& runs) {
    std::vector<int> reach;
    for (const TDriveRun& r : runs)
        reach.push_back(r.TestsToWithin5 > 0 ? r.TestsToWithin5 : 99);
    return reach;
}

} // namespace

double GridOptimum(const TPlantParameters& plant, int grid, const TBankStart& start) {
    double best = KInfinity;
    const auto at = [&](std::size_t i, int k) {
        return Lowest(start)[i] * std::pow(KBoxFactor * KBoxFactor, double(k) / (grid - 1));
    };
    for (int c = 0; c < KKiLevels; ++c) {
        const double ki = start.Gains[2] * std::pow(KKiFloor, 1 - double(c) / (KKiLevels - 1));
        for (int a = 0; a < grid; ++a)
            for (int b = 0; b < grid; ++b)
                best = std::min(best, TrueScore(plant, Registers({at(0, a), at(1, b), ki})));
    }
    return best;
}

TDriveRun RunTuner(const TPlantParameters& plant, double optimum, const TBankStart& start) {
    TTunerSetup setup;
    setup.Lowest = {Lowest(start)[0], Lowest(start)[1], start.Gains[2] * KKiFloor};
    setup.Highest = {Highest(start)[0], Highest(start)[1], start.Gains[2]};
    setup.Start = start.Gains;
    setup.MaxTests = KTunerTests;
    setup.OvershootLimit = KCriterion.OvershootLimit;
    setup.Amplitude = KAmplitude;
    setup.SampleCount = KSamples;
    setup.Kp = 0;
    setup.Registers = Registers;
    TGainTuner tuner(setup);
    return Run(
        plant, optimum,
        [&]() -> std::optional<TProposal> {
            const std::optional<TTunerProposal> p = tuner.Next();
            return p ? std::optional(TProposal{p->Registers, p->Predicted}) : std::nullopt;
        },
        [&](const TTestRun& run) {
            tuner.Report({TruePositions(run.Test.Step), run.Eligible, run.Score});
        },
        [&]() -> std::optional<TRegisterValues> {
            const auto best = tuner.Best();
            return best ? std::optional(tuner.Tested()[best->Test].Registers) : std::nullopt;
        });
}

TDriveRun RunCompass(const TPlantParameters& plant, double optimum, const TBankStart& start) {
    TGainSearch search({Lowest(start), Highest(start)}, {start.Gains[0], start.Gains[1]}, KCompassTests);
    std::optional<TRegisterValues> best;
    double bestScore = KInfinity;
    TRegisterValues pending{};
    return Run(
        plant, optimum,
        [&]() -> std::optional<TProposal> {
            const std::optional<std::array<double, 2>> gains = search.Next();
            if (!gains)
                return std::nullopt;
            pending = Registers({(*gains)[0], (*gains)[1], start.Gains[2]});
            return TProposal{pending, std::nullopt};
        },
        [&](const TTestRun& run) {
            search.Report(SearchScore(run.Test, KCriterion));
            if (run.Eligible && run.Score < bestScore) {
                bestScore = run.Score;
                best = pending;
            }
        },
        [&] { return best; });
}

double StartOvershoot(const TPlantParameters& plant, const TBankStart& start) {
    return RunTest(plant, Registers(start.Gains), 1).Test.Figures.Overshoot;
}

std::optional<TBankStart> HotStart(const TPlantParameters& plant) {
    // KI raised by half octaves from four times the default's, at the default KP, then at half and
    // twice it: the first that overshoots two to three times the limit.
    const TBankStart defaults;
    for (const double kp : {1.0, 0.5, 2.0})
        for (int halfOctaves = 4; halfOctaves <= 10; ++halfOctaves) {
            TBankStart start = defaults;
            start.Gains[0] *= kp;
            start.Gains[2] *= std::exp2(halfOctaves / 2.0);
            const double overshoot = StartOvershoot(plant, start);
            if (overshoot > 2 * KCriterion.OvershootLimit &&
                overshoot <= UnstableFactor * KCriterion.OvershootLimit)
                return start;
        }
    return std::nullopt;
}

TBankFigures TBankFigures::HotStarts() const {
    TBankFigures hot;
    for (const TDriveRun& r : Runs)
        if (r.HotStart)
            hot.Runs.push_back(r);
    return hot;
}

TBankFigures TBankFigures::Band(double above, double upTo) const {
    TBankFigures band;
    for (const TDriveRun& r : Runs)
        if (r.StartOvershoot > above * KCriterion.OvershootLimit &&
            r.StartOvershoot <= upTo * KCriterion.OvershootLimit)
            band.Runs.push_back(r);
    return band;
}

double TBankFigures::MedianTests() const {
    std::vector<int> tests;
    for (const TDriveRun& r : Runs)
        tests.push_back(r.Tests);
    return Percentile(tests, 0.5);
}

double TBankFigures::Percentile90Tests() const {
    std::vector<int> tests;
    for (const TDriveRun& r : Runs)
        tests.push_back(r.Tests);
    return Percentile(tests, 0.9);
}

double TBankFigures::MedianTestsToWithin5() const {
    return Percentile(Reach(Runs), 0.5);
}

double TBankFigures::Percentile90TestsToWithin5() const {
    return Percentile(Reach(Runs), 0.9);
}

double TBankFigures::ShareWithin5() const {
    int boxes = 0, within = 0;
    for (const TDriveRun& r : Runs) {
        boxes += std::isfinite(r.Optimum);
        within += std::isfinite(r.Optimum) && r.FinalRatio <= 1.05;
    }
    return boxes == 0 ? 1 : double(within) / boxes;
}

double TBankFigures::ShareFeasible() const {
    int boxes = 0, feasible = 0;
    for (const TDriveRun& r : Runs) {
        boxes += std::isfinite(r.Optimum);
        feasible += std::isfinite(r.Optimum) && std::isfinite(r.FinalRatio);
    }
    return boxes == 0 ? 1 : double(feasible) / boxes;
}

int TBankFigures::OverTwiceLimit() const {
    int over = 0;
    for (const TDriveRun& r : Runs)
        over += r.OverTwiceLimit;
    return over;
}

double TBankFigures::ShareWithin1Spread() const {
    int predicted = 0, within = 0;
    for (const TDriveRun& r : Runs) {
        predicted += r.Predicted;
        within += r.Within1;
    }
    return predicted == 0 ? 0 : double(within) / predicted;
}

double TBankFigures::ShareWithin2Spreads() const {
    int predicted = 0, within = 0;
    for (const TDriveRun& r : Runs) {
        predicted += r.Predicted;
        within += r.Within2;
    }
    return predicted == 0 ? 0 : double(within) / predicted;
}

double TBankFigures::MostComputeMs() const {
    double most = 0;
    for (const TDriveRun& r : Runs)
        for (const double ms : r.ComputeMs)
            most = std::max(most, ms);
    return most;
}

double TBankFigures::MeanTests() const {
    double tests = 0;
    for (const TDriveRun& r : Runs)
        tests += r.Tests;
    return Runs.empty() ? 0 : tests / double(Runs.size());
}
