#include "drive/gaintuner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The safety rule: at most this chance of an overshoot above twice the limit.
constexpr double KSafeQuantile = 1.6449; // the 95th percentile of a normal distribution
// A move changes each gain by at most this many octaves from a tested point.
constexpr double KMaxMove = 1.0;
// The grid the next test is chosen on, in octaves.
constexpr double KGridStep = 1.0 / 8;
// Exploring ends when the expected gain, times the probability of meeting the criterion, is below
// this share of the best integral; not before this many tests, since an integral that depends on
// where friction stops the motor is rougher than the model.
constexpr double KEnoughImprovement = 0.0015;
constexpr std::size_t KLeastTests = 8;

// The residuals' processes: overshoot in points, log of the integral, settling fraction. Their prior
// spreads grow with how badly the model fits the tests.
constexpr std::array<double, 3> KSignalSd = {2.5, 0.15, 0.1};
constexpr std::array<double, 3> KNoiseSd = {0.5, 0.02, 0.03};
constexpr double KLengthScale = 1.0; // octaves
// A model that misses the recorded positions by more than this (of the amplitude) is trusted less.
constexpr double KGoodFit = 0.01;

double NormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double NormalPdf(double x) {
    return std::exp(-0.5 * x * x) / std::sqrt(2 * 3.14159265358979323846);
}

std::array<double, 2> Octaves(const std::array<double, 2>& gains) {
    return {std::log2(gains[0]), std::log2(gains[1])};
}

std::array<double, 3> Targets(const TLoopFigures& f) {
    return {f.Overshoot, std::log(std::max(f.IntegralPerPulse, 1e-6)), f.SettlingFraction};
}

} // namespace

struct TGainTuner::TModelPoint {
    std::array<double, 3> Values{}; // overshoot, log integral, settling
};

TGainTuner::TGainTuner(TTunerSetup setup) : FSetup(std::move(setup)) {}

TGainTuner::TModelPoint TGainTuner::ModelAt(const TLoopRegisters& registers) const {
    TModelPoint point;
    if (FPlant)
        point.Values = Targets(LoopFigures(
            SimulateLoop(*FPlant, registers, FSetup.Amplitude, FSetup.SampleCount), FSetup.Amplitude));
    return point;
}

void TGainTuner::Refit() {
    std::vector<TLoopTest> tests;
    for (const TTested& t : FTested)
        tests.push_back({t.Registers, FSetup.Amplitude, t.Outcome.Positions});
    FPlant = FitLoopPlant(tests, FPlant ? &*FPlant : nullptr);
    FFitted = FTested.size();
    const double trust = std::max(1.0, LoopFitError(*FPlant, tests) / KGoodFit);

    std::vector<TGpPoint> x;
    std::array<std::vector<double>, 3> y;
    for (const TTested& t : FTested) {
        const TModelPoint model = ModelAt(t.Registers);
        x.push_back(Octaves(t.Gains));
        const std::array<double, 3> measured = Targets(t.Figures);
        for (std::size_t k = 0; k < 3; ++k)
            y[k].push_back(measured[k] - model.Values[k]);
    }
    FProcesses.clear();
    for (std::size_t k = 0; k < 3; ++k) {
        TGpHyper prior;
        prior.LengthScale = {KLengthScale, KLengthScale};
        prior.SignalSd = KSignalSd[k] * trust;
        prior.NoiseSd = KNoiseSd[k];
        // With a few points the likelihood says little; the prior stands until there are more.
        const TGpHyper hyper = x.size() >= 4 ? TGaussianProcess::Learn(x, y[k], prior) : prior;
        FProcesses.emplace_back(TGaussianProcess(x, y[k], hyper));
    }
}

std::array<TGpPrediction, 3> TGainTuner::Learnt(const std::array<double, 2>& z,
                                                const TModelPoint& model) const {
    std::array<TGpPrediction, 3> p;
    for (std::size_t k = 0; k < 3; ++k) {
        p[k] = FProcesses[k]->Predict(z);
        p[k].Mean += model.Values[k];
    }
    return p;
}

TTunerPrediction TGainTuner::Combine(const std::array<TGpPrediction, 3>& p) const {
    TTunerPrediction r;
    r.Overshoot = p[0].Mean;
    r.OvershootSd = p[0].Sd;
    r.Integral = std::exp(p[1].Mean);
    r.IntegralSd = r.Integral * p[1].Sd;
    r.Eligible = NormalCdf((FSetup.OvershootLimit - p[0].Mean) / std::max(p[0].Sd, 1e-9)) *
                 NormalCdf((1 - p[2].Mean) / std::max(p[2].Sd, 1e-9));
    return r;
}

std::optional<TTunerPrediction> TGainTuner::Predict(const std::array<double, 2>& gains) const {
    if (!FPlant || FProcesses.empty())
        return std::nullopt;
    return Combine(Learnt(Octaves(gains), ModelAt(FSetup.Registers(gains))));
}

std::optional<TGainTuner::TBest> TGainTuner::Best() const {
    // Each point by the mean of its tests' integrals as the tuner counts them (measurement noise at
    // the start of a test does not win it anything); a repeat shows whether a low one was luck.
    std::optional<TBest> best;
    double bestKey = 0;
    std::vector<bool> seen(FTested.size());
    for (std::size_t i = 0; i < FTested.size(); ++i) {
        if (seen[i])
            continue;
        double score = 0;
        double integral = 0;
        int count = 0;
        bool eligible = true;
        for (std::size_t j = i; j < FTested.size(); ++j)
            if (FTested[j].Registers == FTested[i].Registers) {
                seen[j] = true;
                score += FTested[j].Outcome.Score;
                integral += FTested[j].Figures.IntegralPerPulse;
                ++count;
                eligible = eligible && FTested[j].Outcome.Eligible;
            }
        if (eligible && (!best || integral / count < bestKey)) {
            best = TBest{i, score / count, count >= 2};
            bestKey = integral / count;
        }
    }
    return best;
}

std::optional<TTunerProposal> TGainTuner::Explore(bool feasibleKnown, double incumbent, double& bestValue) {
    std::array<double, 2> low, high;
    for (std::size_t i = 0; i < 2; ++i) {
        low[i] = std::log2(FSetup.Lowest[i]);
        high[i] = std::log2(FSetup.Highest[i]);
    }
    const auto steps = [&](std::size_t i) {
        return std::max(1, int(std::ceil((high[i] - low[i]) / KGridStep)));
    };
    std::optional<TTunerProposal> chosen;
    bestValue = -std::numeric_limits<double>::infinity();
    double chosenIntegral = std::numeric_limits<double>::infinity();
    for (int a = 0; a <= steps(0); ++a)
        for (int b = 0; b <= steps(1); ++b) {
            const std::array<double, 2> z = {low[0] + (high[0] - low[0]) * a / steps(0),
                                             low[1] + (high[1] - low[1]) * b / steps(1)};
            const bool near = std::any_of(FTested.begin(), FTested.end(), [&](const TTested& t) {
                const std::array<double, 2> tz = Octaves(t.Gains);
                return std::fabs(z[0] - tz[0]) <= KMaxMove + 1e-9 &&
                       std::fabs(z[1] - tz[1]) <= KMaxMove + 1e-9;
            });
            if (!near)
                continue;
            const std::array<double, 2> gains = {
                std::clamp(std::exp2(z[0]), FSetup.Lowest[0], FSetup.Highest[0]),
                std::clamp(std::exp2(z[1]), FSetup.Lowest[1], FSetup.Highest[1])};
            const TLoopRegisters registers = FSetup.Registers(gains);
            if (std::any_of(FTested.begin(), FTested.end(),
                            [&](const TTested& t) { return t.Registers == registers; }))
                continue;
            const std::array<TGpPrediction, 3> p = Learnt(z, ModelAt(registers));
            if (p[0].Mean + KSafeQuantile * p[0].Sd > 2 * FSetup.OvershootLimit)
                continue;
            const TTunerPrediction prediction = Combine(p);
            double value;
            if (feasibleKnown) {
                const double sd = std::max(p[1].Sd, 1e-9);
                const double u = (incumbent - p[1].Mean) / sd;
                value = sd * (u * NormalCdf(u) + NormalPdf(u)) * prediction.Eligible;
            } else {
                // Nothing has met the criterion yet: where it most likely will, the quicker first.
                value = prediction.Eligible;
            }
            const bool better = value > bestValue + 1e-12 ||
                                (!feasibleKnown && value > bestValue - 0.02 && p[1].Mean < chosenIntegral);
            if (better) {
                bestValue = std::max(value, bestValue);
                chosenIntegral = p[1].Mean;
                chosen = TTunerProposal{TTunerProposal::Explore, gains, registers, prediction};
            }
        }
    return chosen;
}

std::optional<TTunerProposal> TGainTuner::Next() {
    if (FPending)
        return FPending;
    if (FTested.empty()) {
        std::array<double, 2> start;
        for (std::size_t i = 0; i < 2; ++i)
            start[i] = std::clamp(FSetup.Start[i], FSetup.Lowest[i], FSetup.Highest[i]);
        FPending = TTunerProposal{TTunerProposal::Start, start, FSetup.Registers(start), std::nullopt};
        return FPending;
    }
    if (FFitted < FTested.size())
        Refit();
    if (int(FTested.size()) >= FSetup.MaxTests)
        return std::nullopt;
    const std::optional<TBest> best = Best();
    const bool lastTest = int(FTested.size()) + 1 >= FSetup.MaxTests;
    // The last test confirms a best that has not been repeated yet.
    if (!best || best->Confirmed || !lastTest) {
        double value = 0;
        const double incumbent = best ? std::log(best->Score) : 0;
        std::optional<TTunerProposal> explore = Explore(best.has_value(), incumbent, value);
        if (explore && (!best || value >= KEnoughImprovement || FTested.size() < KLeastTests)) {
            FPending = explore;
            return FPending;
        }
        if (!best) {
            FEndReason =
                "No test is left that the model deems safe: start again from settings with less overshoot";
            return std::nullopt;
        }
        if (best->Confirmed) {
            FEndReason = "No better gains are expected";
            return std::nullopt;
        }
    }
    const TTested& point = FTested[best->Test];
    FPending = TTunerProposal{TTunerProposal::Confirm, point.Gains, point.Registers,
                              Combine(Learnt(Octaves(point.Gains), ModelAt(point.Registers)))};
    return FPending;
}

void TGainTuner::Report(const TTunerOutcome& outcome) {
    if (!FPending)
        return;
    FTested.push_back(
        {FPending->Gains, FPending->Registers, outcome, LoopFigures(outcome.Positions, FSetup.Amplitude)});
    FPending.reset();
}
