// The tuner's way down from above the limit (tuner/gaintuner.h, tuner/recovery.h) and its last way
// out, both judged by the ensemble rather than by the fit's bound.

#include "tuner/gaintuner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// The ensemble's held fits take the newest tests, as many as this.
constexpr std::size_t KEnsembleTests = 4;
// Octaves too few to count: the gains' rounding.
constexpr double KEdge = 1e-6;

} // namespace

const TRecoveryEnsemble& TGainTuner::Ensemble(std::size_t from, TEnsembles& ensembles) const {
    for (const auto& [start, ensemble] : ensembles)
        if (start == from)
            return ensemble;
    // The newest tests, as many as a fit takes.
    std::vector<TLoopTest> tests;
    for (std::size_t i = FTests.size() > KEnsembleTests ? FTests.size() - KEnsembleTests : 0;
         i < FTests.size(); ++i)
        tests.push_back({FTests[i].Registers, FSetup.Amplitude, FTests[i].Positions});
    ensembles.emplace_back(from, TRecoveryEnsemble(FBeliefs.Models(), FBeliefs.Weights(), tests,
                                                   FTested[from].Registers, FTests[from].Figures.Overshoot,
                                                   FSetup.Amplitude, FSetup.SampleCount));
    return ensembles.back().second;
}

bool TGainTuner::StartedHot() const {
    return !FTests.empty() && FTests[0].Complete && FTests[0].Figures.Overshoot > 2 * FSetup.OvershootLimit;
}

bool TGainTuner::EnsembleTrusted() const {
    return StartedHot() || !FEnsembleMissedAbove;
}

bool TGainTuner::Recovering() const {
    return StartedHot() && std::none_of(FTests.begin(), FTests.end(), [&](const TTunerBeliefs::TTest& t) {
               return t.Complete && t.Figures.Overshoot <= 2 * FSetup.OvershootLimit;
           });
}

std::vector<std::array<double, 3>> TGainTuner::Directions() const {
    // In octaves of KP, KV and KI's scale: KP and KI down together, KV held or raised with them (a
    // loop with a strong integral needs both lowered; KV damps only alongside them); KP alone, for a
    // loop without integral action; KI alone. Never up in KP or KI. Only the rows the search moves.
    std::vector<std::array<double, 3>> directions;
    for (const auto& [kp, kv, ki] : {std::array<double, 3>{-1, 0, -1},
                                     {-1, 0.5, -1},
                                     {-1, 1, -1},
                                     {-1, 0, 0},
                                     {0, 0, -1},
                                     {0, -1, -1},
                                     {0, -1, 0}}) {
        std::array<double, 3> d{};
        if (FSetup.Kp >= 0)
            d[std::size_t(FSetup.Kp)] = kp;
        if (FSetup.Kv >= 0)
            d[std::size_t(FSetup.Kv)] = kv;
        d[2] = ki;
        if (d != std::array<double, 3>{} &&
            std::find(directions.begin(), directions.end(), d) == directions.end())
            directions.push_back(d);
    }
    return directions;
}

std::optional<TTunerGains> TGainTuner::Along(const TTunerGains& from, const std::array<double, 3>& direction,
                                             double octaves) const {
    const TGpPoint z = Point(from);
    const TGpPoint lowest = Point(FSetup.Lowest), highest = Point(FSetup.Highest);
    // A step that would pass the box's edge stops on it, every row shortened alike; one more is none.
    double reach = octaves;
    for (std::size_t i = 0; i < 3; ++i) {
        if (direction[i] < 0)
            reach = std::min(reach, (z[i] - lowest[i]) / -direction[i]);
        else if (direction[i] > 0)
            reach = std::min(reach, (highest[i] - z[i]) / direction[i]);
    }
    if (!(reach > octaves - GridStep + KEdge) || reach <= 0)
        return std::nullopt;
    TTunerGains gains;
    for (std::size_t i = 0; i < 2; ++i)
        gains[i] = std::clamp(std::exp2(z[i] + direction[i] * reach), FSetup.Lowest[i], FSetup.Highest[i]);
    gains[2] = KiOf(z[2] + direction[2] * reach);
    return gains;
}

std::size_t TGainTuner::LeastOvershoot() const {
    std::size_t least = 0;
    for (std::size_t i = 1; i < FTests.size(); ++i)
        if (FTests[i].Complete &&
            (!FTests[least].Complete || FTests[i].Figures.Overshoot < FTests[least].Figures.Overshoot))
            least = i;
    return least;
}

std::optional<TGainTuner::TRecoveryStep> TGainTuner::Certified(const TRecoveryEnsemble& ensemble,
                                                               const TTunerGains& gains) const {
    // Every member sees less there than at the start and the worst case is within twice the limit,
    // whatever they see on the way.
    const TLoopRegisters& registers = RegistersOf(gains);
    const TRecoveryEnsemble::TJudgement j =
        ensemble.Judge(ensemble.Overshoots(registers), ensemble.AtStart());
    if (WasTested(registers) || !j.Falls || !(j.Worst <= 2 * FSetup.OvershootLimit))
        return std::nullopt;
    return TRecoveryStep{gains, registers, j.Worst, std::numeric_limits<double>::infinity()};
}

void TGainTuner::Walk(const TRecoveryEnsemble& ensemble, std::size_t from,
                      const std::array<double, 3>& direction, std::optional<TRecoveryStep>& reaches,
                      std::optional<TRecoveryStep>& deepest) const {
    const double limit = FSetup.OvershootLimit;
    std::vector<double> before = ensemble.AtStart();
    TLoopRegisters last = FTested[from].Registers;
    for (int k = 1; k * GridStep <= FRecoveryReach + 1e-9; ++k) {
        const std::optional<TTunerGains> along = Along(FTested[from].Gains, direction, k * GridStep);
        if (!along)
            return;
        const TTunerGains gains = *along;
        const TLoopRegisters registers = RegistersOf(gains);
        if (registers == last)
            continue;
        last = registers;
        const std::vector<double> at = ensemble.Overshoots(registers);
        const TRecoveryEnsemble::TJudgement j = ensemble.Judge(at, before);
        if (!j.Falls)
            return;
        before = at;
        if (WasTested(registers) || !(j.Worst <= 2 * limit))
            continue;
        TRecoveryStep step{gains, registers, j.Worst, std::numeric_limits<double>::infinity()};
        if (!deepest || j.Worst < deepest->Worst)
            deepest = step;
        if (j.Nominal <= limit) {
            // The first that the fitted models expect at the limit; of the directions, the one with
            // the better integral.
            step.Integral = FBeliefs.Predict(Point(gains), registers).Integral;
            if (!reaches || step.Integral < reaches->Integral)
                reaches = step;
            return;
        }
    }
}

std::optional<TTunerProposal> TGainTuner::Recover(TEnsembles& ensembles) {
    const std::size_t from = LeastOvershoot();
    const TRecoveryEnsemble& ensemble = Ensemble(from, ensembles);
    std::optional<TRecoveryStep> reaches, deepest, backup;
    for (const std::array<double, 3>& direction : Directions()) {
        // The far end: as far as the reach goes within the box.
        std::optional<TTunerGains> end;
        for (double reach = FRecoveryReach; !end && reach > 0; reach -= GridStep)
            end = Along(FTested[from].Gains, direction, reach);
        if (!backup && end)
            backup = Certified(ensemble, *end);
        Walk(ensemble, from, direction, reaches, deepest);
    }
    // Nothing certified: the backup rather than giving up.
    const std::optional<TRecoveryStep> chosen = reaches ? reaches : deepest ? deepest : backup;
    if (!chosen)
        return std::nullopt;
    FRecoveryWorst = chosen->Worst;
    FRecoveryFrom = FTests[from].Figures.Overshoot;
    return TTunerProposal{TTunerProposal::Recover, chosen->Gains, chosen->Registers,
                          FBeliefs.Predict(Point(chosen->Gains), chosen->Registers)};
}

std::optional<TTunerProposal> TGainTuner::Fallback(TEnsembles& ensembles) {
    // KI at its floor, beyond the grid's reach, with the rows of the centre: taken when every member
    // of the ensemble sees the overshoot fall there and its worst case stays within twice the limit.
    if (FFallbackTried || !(FSetup.Lowest[2] < FSetup.Highest[2]))
        return std::nullopt;
    FFallbackTried = true;
    const std::size_t centre = Centre();
    TTunerGains gains = FTested[centre].Gains;
    gains[2] = FSetup.Lowest[2];
    if (!FTests[centre].Complete || !Certified(Ensemble(centre, ensembles), gains))
        return std::nullopt;
    return Propose(TTunerProposal::Fallback, gains);
}
