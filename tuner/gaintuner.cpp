#include "tuner/gaintuner.h"

#include "tuner/recovery.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The safety rule: at most this chance of an overshoot above twice the limit.
constexpr double KSafeChance = 0.05;
constexpr double KMaxMove = TGainTuner::MaxMove;
// How far a move down from above twice the limit may reach at first, in octaves: further than the
// search's moves, since the ensemble certifies it rather than the trust region; halved after a miss.
constexpr double KRecoveryReach = 1.5 * KMaxMove;
// The trust region: where it starts, how far it may shrink, and how it grows and shrinks.
constexpr double KFirstRadius = 0.5;
constexpr double KLeastRadius = 0.125;
constexpr double KGrowth = 1.5;
// A test lands within its band when each figure lies within this many spreads of its prediction.
constexpr double KBand = 2;
// KI's grid, coarser, on its own scale.
constexpr double KGridStep = TGainTuner::GridStep;
constexpr int KKiStepsPerGridStep = 4;
// KI's scale reaches 0 as the octaves of KI plus this share of its highest value.
constexpr double KKiOffset = 1.0 / 8;
// Exploring ends once the best is confirmed and the expected gain, times the probability of meeting
// the criterion, is below this share of the best integral anywhere the rules allow: one percent, a
// fifth of the 5 % the engineer asks of a result.
constexpr double KEnoughImprovement = 0.01;
// Before anything met the criterion, how much the chance of meeting it counts beside the expected
// improvement of the integral on the best any test showed.
constexpr double KEligibleWeight = 0.05;

bool Complete(const std::vector<double>& positions, int samples) {
    return int(positions.size()) >= samples &&
           std::none_of(positions.begin(), positions.end(), [](double p) { return std::isnan(p); });
}

} // namespace

TGainTuner::TGainTuner(TTunerSetup setup)
    : FSetup(std::move(setup)), FBeliefs(FSetup.Amplitude, FSetup.SampleCount, FSetup.OvershootLimit),
      FRadius(KFirstRadius), FRecoveryReach(KRecoveryReach) {}

const TLoopRegisters& TGainTuner::RegistersOf(const TTunerGains& gains) const {
    // The grid's points recur from one proposal to the next, and a conversion through the settings'
    // texts costs more than the models' prediction.
    const auto [it, added] = FRegistersOf.try_emplace(gains);
    if (added)
        it->second = FSetup.Registers(gains);
    return it->second;
}

bool TGainTuner::Safe(const TTunerPrediction& p) {
    return p.OverTwiceLimit <= KSafeChance;
}

double TGainTuner::KiPoint(double ki) const {
    const double highest = FSetup.Highest[2];
    return highest > 0 ? std::log2(std::max(ki, 0.0) + KKiOffset * highest) : 0;
}

double TGainTuner::KiOf(double point) const {
    const double highest = FSetup.Highest[2];
    return highest > 0 ? std::clamp(std::exp2(point) - KKiOffset * highest, FSetup.Lowest[2], highest)
                       : FSetup.Lowest[2];
}

TGpPoint TGainTuner::Point(const TTunerGains& gains) const {
    return {std::log2(gains[0]), std::log2(gains[1]), KiPoint(gains[2])};
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
                integral += FTests[j].Figures.IntegralPerPulse;
                ++count;
                eligible = eligible && FTested[j].Outcome.Eligible && FTests[j].Complete;
            }
        if (eligible && (!best || integral / count < bestKey)) {
            best = TBest{i, score / count, integral / count, count >= 2};
            bestKey = integral / count;
        }
    }
    return best;
}

std::size_t TGainTuner::Centre() const {
    if (const std::optional<TBest> best = Best())
        return best->Test;
    // Before anything met the criterion: the measured test that missed it least, by overshoot and
    // settling; a test that lost samples measured neither.
    const auto miss = [&](std::size_t i) {
        const TLoopFigures& f = FTests[i].Figures;
        return FTests[i].Complete
                   ? std::max(f.Overshoot - FSetup.OvershootLimit, 0.0) / FSetup.OvershootLimit +
                         std::max(f.SettlingFraction - 1, 0.0)
                   : std::numeric_limits<double>::infinity();
    };
    std::size_t centre = 0;
    for (std::size_t i = 1; i < FTested.size(); ++i)
        if (miss(i) < miss(centre))
            centre = i;
    return centre;
}

TTunerProposal TGainTuner::Propose(TTunerProposal::TKind kind, const TTunerGains& gains) {
    const TLoopRegisters registers = RegistersOf(gains);
    return TTunerProposal{kind, gains, registers, FBeliefs.Predict(Point(gains), registers)};
}

bool TGainTuner::WasTested(const TLoopRegisters& registers) const {
    return std::any_of(FTested.begin(), FTested.end(),
                       [&](const TTested& t) { return t.Registers == registers; });
}

double TGainTuner::Incumbent(const std::optional<TBest>& best) const {
    // The best point's integral, or before anything met the criterion, the best any measured test
    // showed, so that the first eligible point is looked for where the integral is good as well: the
    // integral the models learn, so that the improvement they expect is measured from the same.
    if (best)
        return std::log(std::max(best->Integral, 1e-6));
    double incumbent = std::numeric_limits<double>::infinity();
    for (const TTunerBeliefs::TTest& t : FTests)
        if (t.Complete)
            incumbent = std::min(incumbent, std::log(std::max(t.Figures.IntegralPerPulse, 1e-6)));
    return incumbent;
}

std::optional<TGainTuner::TCandidate> TGainTuner::Candidate(const TGpPoint& centre,
                                                            const std::array<int, 3>& step, double incumbent,
                                                            bool anyBest) const {
    TGpPoint z;
    TTunerGains gains;
    for (std::size_t i = 0; i < 2; ++i) {
        z[i] = std::clamp(centre[i] + step[i] * KGridStep, std::log2(FSetup.Lowest[i]),
                          std::log2(FSetup.Highest[i]));
        gains[i] = std::clamp(std::exp2(z[i]), FSetup.Lowest[i], FSetup.Highest[i]);
    }
    gains[2] = KiOf(centre[2] + step[2] * KGridStep * KKiStepsPerGridStep);
    z[2] = KiPoint(gains[2]);
    const TLoopRegisters registers = RegistersOf(gains);
    if (WasTested(registers))
        return std::nullopt;
    const TGuess guess = FBeliefs.Guess(z, registers);
    const TTunerPrediction prediction = FBeliefs.Prediction(guess);
    if (!Safe(prediction))
        return std::nullopt;
    const double sd = std::max(guess.Sd()[1] * FBeliefs.Calibration()[1], 1e-9);
    const double u = (incumbent - guess.Mean()[1]) / sd;
    double value = sd * (u * NormalCdf(u) + NormalPdf(u)) * prediction.Eligible;
    // Before anything met the criterion, the chance of meeting it counts on its own too.
    if (!anyBest)
        value += KEligibleWeight * prediction.Eligible;
    const int reach =
        std::max({std::abs(step[0]), std::abs(step[1]), KKiStepsPerGridStep * std::abs(step[2])});
    return TCandidate{TTunerProposal{TTunerProposal::Explore, gains, registers, prediction}, value,
                      reach * KGridStep};
}

const TGainTuner::TCandidate* TGainTuner::Choose(const std::vector<TCandidate>& candidates, double radius) {
    const TCandidate* chosen = nullptr;
    for (const TCandidate& k : candidates)
        // Of points that serve alike, the nearer.
        if (k.Reach <= radius + 1e-9 && (!chosen || k.Value > chosen->Value + 1e-12 ||
                                         (k.Value > chosen->Value - 1e-12 && k.Reach < chosen->Reach)))
            chosen = &k;
    return chosen;
}

std::optional<TTunerProposal> TGainTuner::Explore(const std::optional<TBest>& best, double& bestValue) {
    const TGpPoint centre = Point(FTested[Centre()].Gains);
    const double incumbent = Incumbent(best);
    // KI's steps that stay within its range (none when it is not searched).
    const double kiStep = KGridStep * KKiStepsPerGridStep;
    const int kiDown = int(std::ceil((centre[2] - KiPoint(FSetup.Lowest[2])) / kiStep - 1e-9));
    const int kiUp = int(std::ceil((KiPoint(FSetup.Highest[2]) - centre[2]) / kiStep - 1e-9));
    // The safe points of the grid, looked at ring by ring from the centre, since the smallest move
    // whose region holds a safe point is the one taken.
    std::vector<TCandidate> candidates;
    const int rings = int(std::lround(KMaxMove / KGridStep));
    int looked = -1;
    for (double radius = FRadius;; radius = std::min(radius * KGrowth, KMaxMove)) {
        for (const int ring = std::min(int(std::floor(radius / KGridStep + 1e-9)), rings); looked < ring;) {
            ++looked;
            for (int a = -looked; a <= looked; ++a)
                for (int b = -looked; b <= looked; ++b)
                    for (int c = -std::min(kiDown, looked / KKiStepsPerGridStep);
                         c <= std::min(kiUp, looked / KKiStepsPerGridStep); ++c)
                        if (std::max({std::abs(a), std::abs(b), KKiStepsPerGridStep * std::abs(c)}) == looked)
                            if (const auto k = Candidate(centre, {a, b, c}, incumbent, best.has_value()))
                                candidates.push_back(*k);
        }
        if (const TCandidate* chosen = Choose(candidates, radius)) {
            bestValue = chosen->Value;
            return chosen->Proposal;
        }
        if (radius >= KMaxMove)
            break;
    }
    bestValue = -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

std::optional<TTunerProposal> TGainTuner::Next() {
    if (FPending)
        return FPending;
    if (FTested.empty()) {
        TTunerGains start;
        for (std::size_t i = 0; i < start.size(); ++i)
            start[i] = std::clamp(FSetup.Start[i], FSetup.Lowest[i], FSetup.Highest[i]);
        FPending = TTunerProposal{TTunerProposal::Start, start, RegistersOf(start), std::nullopt};
        return FPending;
    }
    if (FLearnt < FTested.size()) {
        FBeliefs.Learn(FTests, Centre());
        FLearnt = FTested.size();
    }
    if (int(FTested.size()) >= FSetup.MaxTests) {
        if (!Best())
            FEndReason = "No test met the criterion within the tests allowed: start again from the gains "
                         "that came nearest, or allow more tests";
        return std::nullopt;
    }
    // From above twice the limit the way down comes first; what it did not find, it will not find
    // again below.
    const bool recovering = Recovering();
    TEnsembles ensembles;
    if (recovering && (FPending = Recover(ensembles)))
        return FPending;
    const std::optional<TBest> best = Best();
    const bool lastTest = int(FTested.size()) + 1 >= FSetup.MaxTests;
    // The last test confirms a best that has not been repeated yet.
    if (!best || best->Confirmed || !lastTest) {
        double value = 0;
        std::optional<TTunerProposal> explore = Explore(best, value);
        if (explore && (!best || value >= KEnoughImprovement)) {
            FPending = explore;
            return FPending;
        }
        if (!best) {
            // Nothing the search deems safe and nothing met the criterion: down from the least
            // overshoot by the ensemble's moves while it is above the limit, then KI at its floor,
            // as long as the ensemble has not been shown wrong about this drive.
            if (EnsembleTrusted()) {
                if (!recovering && FTests[LeastOvershoot()].Figures.Overshoot > FSetup.OvershootLimit)
                    FPending = Recover(ensembles);
                if (!FPending)
                    FPending = Fallback(ensembles);
            }
            if (!FPending)
                FEndReason = "No test is left that every model of the drive deems safe (at most a 5 % chance "
                             "of an overshoot above twice the limit): start again from settings with less "
                             "overshoot";
            return FPending;
        }
        if (best->Confirmed) {
            FEndReason = "No better gains are expected";
            return std::nullopt;
        }
    }
    FPending = Propose(TTunerProposal::Confirm, FTested[best->Test].Gains);
    return FPending;
}

void TGainTuner::Report(const TTunerOutcome& outcome) {
    if (!FPending)
        return;
    const TLoopFigures figures = LoopFigures(outcome.Positions, FSetup.Amplitude);
    const double overshoot = figures.Overshoot;
    const bool complete = Complete(outcome.Positions, FSetup.SampleCount);
    // A move down that came out above its worst case, or no lower, halves the next one.
    if (FPending->Kind == TTunerProposal::Recover &&
        (!complete || !(overshoot <= FRecoveryWorst) || !(overshoot < FRecoveryFrom)))
        FRecoveryReach = std::max(FRecoveryReach / 2, GridStep);
    if ((FPending->Kind == TTunerProposal::Recover || FPending->Kind == TTunerProposal::Fallback) &&
        (!complete || !(overshoot <= 2 * FSetup.OvershootLimit)))
        FEnsembleMissedAbove = true;
    TTunerBeliefs::TTest test{
        Point(FPending->Gains), FPending->Registers, outcome.Positions, figures, complete, std::nullopt};
    if (FPending->Predicted && test.Complete) {
        test.Guess = FBeliefs.Guess(test.Point, test.Registers);
        // The trust region grows with a prediction that came true and shrinks with one that did not.
        const TTunerBeliefs::TFigures3 measured = TTunerBeliefs::Targets(test.Figures);
        const TTunerBeliefs::TFigures3 mean = test.Guess->Mean();
        const TTunerBeliefs::TFigures3 sd = test.Guess->Sd();
        bool inside = true;
        for (std::size_t k = 0; k < 2; ++k)
            inside = inside && std::fabs(measured[k] - mean[k]) <= KBand * sd[k] * FBeliefs.Calibration()[k];
        FRadius = inside ? std::min(FRadius * KGrowth, KMaxMove) : std::max(FRadius / 2, KLeastRadius);
    }
    FTested.push_back({FPending->Gains, FPending->Registers, outcome});
    FTests.push_back(std::move(test));
    FPending.reset();
}

std::optional<TTunerPrediction> TGainTuner::Predict(const TTunerGains& gains) const {
    return Predict(gains, RegistersOf(gains));
}

std::optional<TTunerPrediction> TGainTuner::Predict(const TTunerGains& gains,
                                                    const TLoopRegisters& registers) const {
    if (!FBeliefs.Ready())
        return std::nullopt;
    return FBeliefs.Predict(Point(gains), registers);
}
