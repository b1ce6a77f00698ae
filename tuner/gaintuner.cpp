#include "tuner/gaintuner.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

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

// The residuals' processes: overshoot in points, log of the integral, settling fraction. Their prior
// spreads grow with how badly a model fits the tests.
constexpr std::array<double, 3> KSignalSd = {2.5, 0.15, 0.1};
constexpr std::array<double, 3> KNoiseSd = {0.5, 0.02, 0.03};
constexpr double KLengthScale = 1.0; // octaves
// A model that misses the recorded positions by more than this (of the amplitude) is trusted less.
constexpr double KGoodFit = 0.01;
// The registers call KV the speed's feedback gain: the cascade is the exception, weighed so at first.
constexpr std::array<double, 2> KArrangementPrior = {0.8, 0.2};
// A model's weight follows how well it predicted the tests so far, its log likelihood tempered by
// this since the tests are few; one weighing less than the least is not refitted.
constexpr double KTemper = 0.5;
constexpr double KLeastWeight = 0.01;
// At most this many tests take part in a fit.
constexpr std::size_t KFitTests = 8;
// KV's register, where the arrangements differ.
constexpr std::size_t KvRegister = 1;
// How far the spread may be widened or narrowed by the misses so far, and how many ordinary misses
// it starts from.
constexpr double KLeastCalibration = 0.8;
constexpr double KMostCalibration = 5;
constexpr double KCalibrationPrior = 2;

double NormalCdf(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

double NormalPdf(double x) {
    return std::exp(-0.5 * x * x) / std::sqrt(2 * std::numbers::pi);
}

std::array<double, 2> Octaves(const std::array<double, 2>& gains) {
    return {std::log2(gains[0]), std::log2(gains[1])};
}

TGainTuner::TFigures3 Targets(const TLoopFigures& f) {
    return {f.Overshoot, std::log(std::max(f.IntegralPerPulse, 1e-6)), f.SettlingFraction};
}

TGainTuner::TFigures3 Simulated(const TLoopModel& model, const TLoopRegisters& registers,
                                const TTunerSetup& setup) {
    return Targets(
        LoopFigures(SimulateLoop(model, registers, setup.Amplitude, setup.SampleCount), setup.Amplitude));
}

} // namespace

TGainTuner::TFigures3 TGainTuner::TGuess::Mean() const {
    TFigures3 mean{};
    for (std::size_t m = 0; m < Members.size(); ++m)
        for (std::size_t k = 0; k < 3; ++k)
            mean[k] += Weights[m] * Members[m].Mean[k];
    return mean;
}

TGainTuner::TFigures3 TGainTuner::TGuess::Sd() const {
    const TFigures3 mean = Mean();
    TFigures3 sd{};
    for (std::size_t k = 0; k < 3; ++k) {
        double variance = 0;
        for (std::size_t m = 0; m < Members.size(); ++m) {
            const double d = Members[m].Mean[k] - mean[k];
            variance += Weights[m] * (Members[m].Sd[k] * Members[m].Sd[k] + d * d);
        }
        sd[k] = std::sqrt(variance);
    }
    return sd;
}

TGainTuner::TGainTuner(TTunerSetup setup)
    : FSetup(std::move(setup)), FWeights(KArrangementPrior), FRadius(KFirstRadius) {}

TGainTuner::TGuess TGainTuner::Guess(const std::array<double, 2>& z, const TLoopRegisters& registers) const {
    TGuess guess;
    guess.Weights = FWeights;
    for (std::size_t m = 0; m < FModels.size(); ++m) {
        const TFigures3 model = Simulated(*FModels[m], registers, FSetup);
        for (std::size_t k = 0; k < 3; ++k) {
            const TGpPrediction residual = FProcesses[m][k]->Predict(z);
            guess.Members[m].Mean[k] = model[k] + residual.Mean;
            guess.Members[m].Sd[k] = residual.Sd;
        }
    }
    return guess;
}

TTunerPrediction TGainTuner::Prediction(const TGuess& guess) const {
    const TFigures3 mean = guess.Mean();
    const TFigures3 sd = guess.Sd();
    TTunerPrediction r;
    r.Overshoot = mean[0];
    r.OvershootSd = sd[0] * FCalibration[0];
    r.Integral = std::exp(mean[1]);
    r.IntegralSd = r.Integral * sd[1] * FCalibration[1];
    // Each model's own chances, weighed: where the models disagree, the one that fears the worst
    // keeps its share of the risk.
    const auto above = [&](const TMemberGuess& g, std::size_t k, double limit) {
        return 1 - NormalCdf((limit - g.Mean[k]) / std::max(g.Sd[k] * FCalibration[k], 1e-9));
    };
    r.Eligible = r.OverTwiceLimit = 0;
    for (std::size_t m = 0; m < guess.Members.size(); ++m) {
        const TMemberGuess& g = guess.Members[m];
        r.Eligible += guess.Weights[m] * (1 - above(g, 0, FSetup.OvershootLimit)) * (1 - above(g, 2, 1));
        r.OverTwiceLimit += guess.Weights[m] * above(g, 0, 2 * FSetup.OvershootLimit);
    }
    return r;
}

bool TGainTuner::Safe(const TTunerPrediction& p) {
    return p.OverTwiceLimit <= KSafeChance;
}

std::vector<TLoopTest> TGainTuner::FitTests(bool all) const {
    // The tests nearest the trust region's centre tell most of where the next test goes, and the
    // newest is always among them: a fit over every test would grow too slow to run between tests.
    std::vector<std::size_t> order(FTested.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (!all && order.size() > KFitTests) {
        const std::array<double, 2> c = Octaves(FTested[Centre()].Gains);
        const auto distance = [&](std::size_t i) {
            const std::array<double, 2> z = Octaves(FTested[i].Gains);
            return i + 1 == FTested.size() ? -1.0 : std::hypot(z[0] - c[0], z[1] - c[1]);
        };
        std::partial_sort(order.begin(), order.begin() + KFitTests, order.end(),
                          [&](std::size_t a, std::size_t b) { return distance(a) < distance(b); });
        order.resize(KFitTests);
    }
    std::vector<TLoopTest> tests;
    for (const std::size_t i : order)
        tests.push_back({FTested[i].Registers, FSetup.Amplitude, FTested[i].Outcome.Positions});
    return tests;
}

void TGainTuner::Refit() {
    const std::vector<TLoopTest> tests = FitTests(false);
    for (std::size_t m = 0; m < FModels.size(); ++m) {
        // An arrangement whose predictions failed is left as it is.
        if (FModels[m] && FWeights[m] < KLeastWeight)
            continue;
        if (FModels[m]) {
            FModels[m] = FitLoopModel(tests, *FModels[m], TFitStart::Refit);
        } else if (m > 0) {
            // The cascade starts from the loop the first fit found, which it can run as well.
            TLoopModel start = *FModels[0];
            start.Law = OtherArrangement(start.Law, FTested.front().Registers[KvRegister]);
            FModels[m] = FitLoopModel(tests, start, TFitStart::Converted);
        } else {
            FModels[m] = FitLoopModel(tests, TLoopModel{}, TFitStart::Fresh);
        }
        LearnResiduals(m);
    }
    FFitted = FTested.size();
    Weigh();
}

void TGainTuner::LearnResiduals(std::size_t member) {
    const TLoopModel& model = *FModels[member];
    const double trust = std::max(1.0, LoopFitError(model, FitTests(true)) / KGoodFit);
    // The processes learn what the model misses at the tested points.
    std::vector<TGpPoint> x;
    std::array<std::vector<double>, 3> y;
    for (const TTested& t : FTested) {
        const TFigures3 measured = Targets(t.Figures);
        const TFigures3 simulated = Simulated(model, t.Registers, FSetup);
        x.push_back(Octaves(t.Gains));
        for (std::size_t k = 0; k < 3; ++k)
            y[k].push_back(measured[k] - simulated[k]);
    }
    for (std::size_t k = 0; k < 3; ++k) {
        TGpHyper prior;
        prior.LengthScale = {KLengthScale, KLengthScale};
        prior.SignalSd = KSignalSd[k] * trust;
        prior.NoiseSd = KNoiseSd[k];
        // With a few points the likelihood says little; the prior stands until there are more.
        const TGpHyper hyper = x.size() >= 4 ? TGaussianProcess::Learn(x, y[k], prior) : prior;
        FProcesses[member][k].emplace(x, y[k], hyper);
    }
}

void TGainTuner::Weigh() {
    // Misses so far, each over the spread it was predicted with, widen or narrow every spread.
    for (std::size_t k = 0; k < 3; ++k) {
        double sum = KCalibrationPrior;
        double count = KCalibrationPrior;
        for (const TTested& t : FTested)
            if (t.Guess) {
                const double z =
                    (Targets(t.Figures)[k] - t.Guess->Mean()[k]) / std::max(t.Guess->Sd()[k], 1e-9);
                sum += z * z;
                count += 1;
            }
        FCalibration[k] = std::clamp(std::sqrt(sum / count), KLeastCalibration, KMostCalibration);
    }
    // Each arrangement by how well it predicted the overshoot and the integral of the tests since the
    // first, from the registers' documented meaning.
    std::array<double, 2> score{};
    for (const TTested& t : FTested)
        if (t.Guess)
            for (std::size_t m = 0; m < score.size(); ++m)
                for (std::size_t k = 0; k < 2; ++k) {
                    const double sd = std::hypot(t.Guess->Members[m].Sd[k] * FCalibration[k], KNoiseSd[k]);
                    const double z = (Targets(t.Figures)[k] - t.Guess->Members[m].Mean[k]) / sd;
                    score[m] -= 0.5 * z * z + std::log(sd);
                }
    const double best = std::max(score[0], score[1]);
    double total = 0;
    for (std::size_t m = 0; m < score.size(); ++m)
        total += FWeights[m] = KArrangementPrior[m] * std::exp(KTemper * (score[m] - best));
    for (double& w : FWeights)
        w /= total;
}

std::optional<TTunerPrediction> TGainTuner::Predict(const std::array<double, 2>& gains) const {
    if (!FModels[0] || !FModels[1])
        return std::nullopt;
    return Prediction(Guess(Octaves(gains), FSetup.Registers(gains)));
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

std::optional<TTunerProposal> TGainTuner::Explore(const std::optional<TBest>& best, double& bestValue) {
    const std::array<double, 2> c = Octaves(FTested[Centre()].Gains);
    std::array<double, 2> low, high;
    for (std::size_t i = 0; i < 2; ++i) {
        low[i] = std::log2(FSetup.Lowest[i]);
        high[i] = std::log2(FSetup.Highest[i]);
    }
    // The integral to beat: the best point's, or before anything met the criterion, the best any test
    // showed, so that the first eligible point is looked for where the integral is good as well.
    double incumbent = best ? std::log(best->Score) : std::numeric_limits<double>::infinity();
    if (!best)
        for (const TTested& t : FTested)
            incumbent = std::min(incumbent, std::log(std::max(t.Outcome.Score, 1e-6)));
    // The safe points of the grid, by how they serve; looked at ring by ring from the centre, since the
    // smallest move whose region holds a safe point is the one taken.
    struct TCandidate {
        TTunerProposal Proposal;
        double Value;
        double Reach; // octaves from the centre, in the gain that moves most
        int Tier;     // 0: KP lowered alone, 1: no gain raised, 2: any
    };
    std::vector<TCandidate> candidates;
    const auto look = [&](int a, int b) {
        const std::array<int, 2> step = {a, b};
        std::array<double, 2> z;
        for (std::size_t i = 0; i < 2; ++i)
            z[i] = std::clamp(c[i] + step[i] * KGridStep, low[i], high[i]);
        const std::array<double, 2> gains = {
            std::clamp(std::exp2(z[0]), FSetup.Lowest[0], FSetup.Highest[0]),
            std::clamp(std::exp2(z[1]), FSetup.Lowest[1], FSetup.Highest[1])};
        const TLoopRegisters registers = FSetup.Registers(gains);
        if (std::any_of(FTested.begin(), FTested.end(),
                        [&](const TTested& t) { return t.Registers == registers; }))
            return;
        const TGuess guess = Guess(z, registers);
        const TTunerPrediction prediction = Prediction(guess);
        if (!Safe(prediction))
            return;
        const double sd = std::max(guess.Sd()[1] * FCalibration[1], 1e-9);
        const double u = (incumbent - guess.Mean()[1]) / sd;
        double value = sd * (u * NormalCdf(u) + NormalPdf(u)) * prediction.Eligible;
        // Before anything met the criterion, the chance of meeting it counts on its own too.
        if (!best)
            value += KEligibleWeight * prediction.Eligible;
        const bool kpAlone =
            FSetup.Kp >= 0 && step[std::size_t(FSetup.Kp)] < 0 && step[std::size_t(1 - FSetup.Kp)] == 0;
        candidates.push_back({TTunerProposal{TTunerProposal::Explore, gains, registers, prediction}, value,
                              std::max(std::abs(a), std::abs(b)) * KGridStep,
                              kpAlone            ? 0
                              : a <= 0 && b <= 0 ? 1
                                                 : 2});
    };
    const auto choose = [&](int tier, double radius) -> const TCandidate* {
        const TCandidate* chosen = nullptr;
        for (const TCandidate& k : candidates)
            // Of points that serve alike, the nearer.
            if (k.Tier <= tier && k.Reach <= radius + 1e-9 &&
                (!chosen || k.Value > chosen->Value + 1e-12 ||
                 (k.Value > chosen->Value - 1e-12 && k.Reach < chosen->Reach)))
                chosen = &k;
        return chosen;
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
                        look(a, b);
        }
        if (!cautious)
            if (const TCandidate* chosen = choose(2, radius)) {
                bestValue = chosen->Value;
                return chosen->Proposal;
            }
        if (radius >= KMaxMove)
            break;
    }
    for (int tier = 0; cautious && tier <= 1; ++tier)
        for (double radius = FRadius;; radius = std::min(radius * KGrowth, KMaxMove)) {
            if (const TCandidate* chosen = choose(tier, radius)) {
                bestValue = chosen->Value;
                return chosen->Proposal;
            }
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
