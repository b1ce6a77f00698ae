#include "tuner/recovery.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

// How long each held fit searches: a refit near a fitted model, short enough for a score of them
// between two tests.
constexpr int KHeldFitEvaluations = 60;
// A member is plausible while it misses the tests by at most this many times what the better of the
// fitted models misses them by.
constexpr double KPlausibleMiss = 2;
// An integral scale that leaves practically no integral action (0 has no logarithm for the fit).
constexpr double KNoIntegral = 1e-3;

// What one held fit of the ensemble holds, from the fitted model.
std::vector<std::function<void(TLoopModel&)>> Holds(const TLoopModel& f) {
    std::vector<std::function<void(TLoopModel&)>> holds = {
        [g = f.Gain * 2](TLoopModel& m) { m.Gain = g; },
        [g = f.Gain / 2](TLoopModel& m) { m.Gain = g; },
        [s = f.Law.IntegralScale * 4](TLoopModel& m) { m.Law.IntegralScale = s; },
        [s = f.Law.IntegralScale / 4](TLoopModel& m) { m.Law.IntegralScale = s; },
        [](TLoopModel& m) { m.Law.IntegralScale = KNoIntegral; },
        [](TLoopModel& m) { m.Law.SpeedPeriods = 3; },
        [](TLoopModel& m) { m.Law.DOnPosition = true; },
    };
    for (const int d : {f.Delay - 1, f.Delay + 1})
        if (d >= 1 && d <= 3)
            holds.push_back([d](TLoopModel& m) { m.Delay = d; });
    if (f.Delay < 3)
        holds.push_back([d = f.Delay + 1, g = f.Gain * 2](TLoopModel& m) {
            m.Delay = d;
            m.Gain = g;
        });
    return holds;
}

} // namespace

TRecoveryEnsemble::TRecoveryEnsemble(const std::array<TLoopModel, 2>& fitted,
                                     const std::array<double, 2>& weights, std::span<const TLoopTest> tests,
                                     const TLoopRegisters& from, double measured, int amplitude, int samples)
    : FWeights(weights), FMeasured(measured), FAmplitude(amplitude), FSamples(samples) {
    FMembers = {fitted[0], fitted[1]};
    for (const TLoopModel& model : fitted)
        for (const auto& hold : Holds(model))
            FMembers.push_back(FitLoopModelHeld(tests, model, hold, KHeldFitEvaluations));
    FAtStart = Overshoots(from);
    // A member counts when it reproduces the recorded positions about as well as the fitted models
    // do: what the tests rule out judges nothing.
    for (const TLoopModel& m : FMembers)
        FFitErrors.push_back(LoopFitError(m, tests));
    const double bound = KPlausibleMiss * std::min(FFitErrors[0], FFitErrors[1]);
    for (std::size_t e = 0; e < FMembers.size(); ++e)
        FPlausible.push_back(FFitErrors[e] <= bound && std::isfinite(FAtStart[e]));
}

std::vector<double> TRecoveryEnsemble::Overshoots(const TLoopRegisters& registers) const {
    std::vector<double> overshoots;
    for (std::size_t e = 0; e < FMembers.size(); ++e) {
        // A member the tests rule out judges nothing and is not run; the fitted models always are, as
        // their weighed change is the nominal one.
        if (!FPlausible.empty() && !FPlausible[e] && e >= FWeights.size()) {
            overshoots.push_back(std::nan(""));
            continue;
        }
        const double o =
            LoopFigures(SimulateLoop(FMembers[e], registers, FAmplitude, FSamples), FAmplitude).Overshoot;
        overshoots.push_back(std::isfinite(o) ? o : std::nan(""));
    }
    return overshoots;
}

TRecoveryEnsemble::TJudgement TRecoveryEnsemble::Judge(const std::vector<double>& at,
                                                       const std::vector<double>& before) const {
    // A pulse of the amplitude is what a count can tell apart.
    const double resolution = 100.0 / FAmplitude;
    TJudgement j;
    j.Falls = true;
    double worstChange = -std::numeric_limits<double>::infinity();
    for (std::size_t e = 0; e < at.size(); ++e) {
        if (!FPlausible[e])
            continue;
        // A member whose loop ran away signs nothing: the move is not certified.
        if (!(at[e] <= before[e] + resolution))
            j.Falls = false;
        worstChange = std::max(worstChange, std::isnan(at[e]) ? std::numeric_limits<double>::infinity()
                                                              : at[e] - FAtStart[e]);
    }
    j.Worst = FMeasured + worstChange;
    j.Nominal = FMeasured;
    for (std::size_t m = 0; m < FWeights.size(); ++m)
        j.Nominal += FWeights[m] * (at[m] - FAtStart[m]);
    return j;
}
