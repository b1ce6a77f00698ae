#include "tuner/gaintuner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The safety rule: at most this chance of an overshoot above twice the limit.
constexpr double KSafeChance = 0.05;
// A move changes each gain by at most this many octaves from a tested point.
constexpr double KMaxMove = 1.0;
// The trust region: where it starts, how far it may shrink, and how it grows and shrinks.
constexpr double KFirstRadius = 0.5;
constexpr double KLeastRadius = 0.125;
constexpr double KGrowth = 1.5;
// A test lands within its band when each figure lies within this many spreads of its prediction.
constexpr double KBand = 2;
// The grid the next test is chosen on, in octaves.
constexpr double KGridStep = 1.0 / 8;
// Exploring ends when the expected gain, times the probability of meeting the criterion, is below
// this share of the best integral; not before this many tests, since an integral that depends on
// where friction stops the motor is rougher than the model.
constexpr double KEnoughImprovement = 0.0015;
constexpr std::size_t KLeastTests = 8;
// Before anything met the criterion, how much the chance of meeting it counts beside the expected
// improvement of the integral on the best any test showed.
constexpr double KEligibleWeight = 0.05;

} // namespace

TGainTuner::TGainTuner(TTunerSetup setup)
    : FSetup(std::move(setup)), FWeights(PriorWeights()), FRadius(KFirstRadius) {}

bool TGainTuner::Safe(const TTunerPrediction& p) {
    return p.OverTwiceLimit <= KSafeChance;
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

std::size_t TGainTuner::Centre() const {
    if (const std::optional<TBest> best = Best())
        return best->Test;
    // Before anything met the criterion: the test that missed it least, by overshoot and settling.
    const auto miss = [&](const TTested& t) {
        return std::max(t.Figures.Overshoot - FSetup.OvershootLimit, 0.0) / FSetup.OvershootLimit +
               std::max(t.Figures.SettlingFraction - 1, 0.0);
    };
    return std::size_t(
        std::min_element(FTested.begin(), FTested.end(),
                         [&](const TTested& a, const TTested& b) { return miss(a) < miss(b); }) -
        FTested.begin());
}

TTunerProposal TGainTuner::Propose(TTunerProposal::TKind kind, const std::array<double, 2>& gains) {
    const TLoopRegisters registers = FSetup.Registers(gains);
    return TTunerProposal{kind, gains, registers, Prediction(Guess(Octaves(gains), registers))};
}

double TGainTuner::Incumbent(const std::optional<TBest>& best) const {
    // The best point's integral, or before anything met the criterion, the best any test showed, so
    // that the first eligible point is looked for where the integral is good as well.
    if (best)
        return std::log(best->Score);
    double incumbent = std::numeric_limits<double>::infinity();
    for (const TTested& t : FTested)
        incumbent = std::min(incumbent, std::log(std::max(t.Outcome.Score, 1e-6)));
    return incumbent;
}

std::optional<TGainTuner::TCandidate> TGainTuner::Candidate(const std::array<double, 2>& centre,
                                                            const std::array<int, 2>& step, double incumbent,
                                                            bool anyBest) const {
    std::array<double, 2> z, gains;
    for (std::size_t i = 0; i < 2; ++i) {
        z[i] = std::clamp(centre[i] + step[i] * KGridStep, std::log2(FSetup.Lowest[i]),
                          std::log2(FSetup.Highest[i]));
        gains[i] = std::clamp(std::exp2(z[i]), FSetup.Lowest[i], FSetup.Highest[i]);
    }
    const TLoopRegisters registers = FSetup.Registers(gains);
    if (std::any_of(FTested.begin(), FTested.end(),
                    [&](const TTested& t) { return t.Registers == registers; }))
        return std::nullopt;
    const TGuess guess = Guess(z, registers);
    const TTunerPrediction prediction = Prediction(guess);
    if (!Safe(prediction))
        return std::nullopt;
    const double sd = std::max(guess.Sd()[1] * FCalibration[1], 1e-9);
    const double u = (incumbent - guess.Mean()[1]) / sd;
    double value = sd * (u * NormalCdf(u) + NormalPdf(u)) * prediction.Eligible;
    // Before anything met the criterion, the chance of meeting it counts on its own too.
    if (!anyBest)
        value += KEligibleWeight * prediction.Eligible;
    const bool kpAlone =
        FSetup.Kp >= 0 && step[std::size_t(FSetup.Kp)] < 0 && step[std::size_t(1 - FSetup.Kp)] == 0;
    return TCandidate{TTunerProposal{TTunerProposal::Explore, gains, registers, prediction}, value,
                      std::max(std::abs(step[0]), std::abs(step[1])) * KGridStep,
                      kpAlone                        ? 0
                      : step[0] <= 0 && step[1] <= 0 ? 1
                                                     : 2};
}

const TGainTuner::TCandidate* TGainTuner::Choose(const std::vector<TCandidate>& candidates, int tier,
                                                 double radius) {
    const TCandidate* chosen = nullptr;
    for (const TCandidate& k : candidates)
        // Of points that serve alike, the nearer.
        if (k.Tier <= tier && k.Reach <= radius + 1e-9 &&
            (!chosen || k.Value > chosen->Value + 1e-12 ||
             (k.Value > chosen->Value - 1e-12 && k.Reach < chosen->Reach)))
            chosen = &k;
    return chosen;
}

std::optional<TTunerProposal> TGainTuner::Explore(const std::optional<TBest>& best, double& bestValue) {
    const std::array<double, 2> centre = Octaves(FTested[Centre()].Gains);
    const double incumbent = Incumbent(best);
    // The safe points of the grid, looked at ring by ring from the centre, since the smallest move
    // whose region holds a safe point is the one taken.
    std::vector<TCandidate> candidates;
    const auto take = [&](const TCandidate& chosen) {
        bestValue = chosen.Value;
        return chosen.Proposal;
    };
    // From a start above the limit, lower KP alone first, and raise no gain before a prediction has come
    // true; otherwise any safe point.
    const bool cautious = FTested.front().Figures.Overshoot > FSetup.OvershootLimit && !best && !FModelRight;
    const int rings = int(std::lround(KMaxMove / KGridStep));
    int looked = -1;
    for (double radius = FRadius;; radius = std::min(radius * KGrowth, KMaxMove)) {
        // Every point of the ring between the last radius and this one.
        for (const int ring = std::min(int(std::floor(radius / KGridStep + 1e-9)), rings); looked < ring;) {
            ++looked;
            for (int a = -looked; a <= looked; ++a)
                for (int b = -looked; b <= looked; ++b)
                    if (std::max(std::abs(a), std::abs(b)) == looked)
                        if (const auto k = Candidate(centre, {a, b}, incumbent, best.has_value()))
                            candidates.push_back(*k);
        }
        if (!cautious)
            if (const TCandidate* chosen = Choose(candidates, 2, radius))
                return take(*chosen);
        if (radius >= KMaxMove)
            break;
    }
    for (int tier = 0; cautious && tier <= 1; ++tier)
        for (double radius = FRadius;; radius = std::min(radius * KGrowth, KMaxMove)) {
            if (const TCandidate* chosen = Choose(candidates, tier, radius))
                return take(*chosen);
            if (radius >= KMaxMove)
                break;
        }
    bestValue = -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

std::optional<TTunerProposal> TGainTuner::Fallback() {
    if (FFallbackTried || FSetup.Kp < 0)
        return std::nullopt;
    FFallbackTried = true;
    const TTested& centre = FTested[Centre()];
    std::array<double, 2> gains = centre.Gains;
    const auto kp = std::size_t(FSetup.Kp);
    gains[kp] = std::max(gains[kp] / 2, FSetup.Lowest[kp]);
    const TLoopRegisters registers = FSetup.Registers(gains);
    if (std::any_of(FTested.begin(), FTested.end(),
                    [&](const TTested& t) { return t.Registers == registers; }))
        return std::nullopt;
    // Only where the models expect the overshoot to fall, and below twice the limit, if not surely: on a
    // loop whose integral action is strong, less KP overshoots more.
    TTunerProposal proposal = Propose(TTunerProposal::Fallback, gains);
    const double expected = proposal.Predicted->Overshoot;
    if (!(expected < centre.Figures.Overshoot && expected <= 2 * FSetup.OvershootLimit))
        return std::nullopt;
    return proposal;
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
        std::optional<TTunerProposal> explore = Explore(best, value);
        if (explore && (!best || value >= KEnoughImprovement || FTested.size() < KLeastTests)) {
            FPending = explore;
            return FPending;
        }
        if (!best) {
            FPending = Fallback();
            if (!FPending)
                FEndReason =
                    "No test is left that the model deems safe, nor one with KP an octave lower: start "
                    "again from settings with less overshoot";
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
    TTested tested{FPending->Gains, FPending->Registers, outcome,
                   LoopFigures(outcome.Positions, FSetup.Amplitude), std::nullopt};
    if (FPending->Predicted) {
        tested.Guess = Guess(Octaves(tested.Gains), tested.Registers);
        // The trust region grows with a prediction that came true and shrinks with one that did not.
        const TFigures3 measured = Targets(tested.Figures);
        const TFigures3 mean = tested.Guess->Mean();
        const TFigures3 sd = tested.Guess->Sd();
        bool inside = true;
        for (std::size_t k = 0; k < 2; ++k)
            inside = inside && std::fabs(measured[k] - mean[k]) <= KBand * sd[k] * FCalibration[k];
        FModelRight = FModelRight || inside;
        FRadius = inside ? std::min(FRadius * KGrowth, KMaxMove) : std::max(FRadius / 2, KLeastRadius);
    }
    FTested.push_back(std::move(tested));
    FPending.reset();
}
