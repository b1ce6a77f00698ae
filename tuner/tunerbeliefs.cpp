#include "tuner/tunerbeliefs.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

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
// How many independent samples a test's recorded positions count as, when the models are weighed by
// how well they reproduce them.
constexpr double KFitEvidence = 10;
// At most this many tests take part in a fit.
constexpr std::size_t KFitTests = 8;
// KV's register, where the arrangements differ.
constexpr std::size_t KvRegister = 1;
// How far the spread may be widened by the misses so far, and the misses it starts from: two of one
// and a half spreads, so that until tests show how far the predictions miss, the spread is taken
// half again as wide as the models say (a first move from far above the limit is the likeliest to
// meet what the models do not know). Never narrowed below the models' own: a few lucky tests do not
// make them surer than they are.
constexpr double KLeastCalibration = 1;
constexpr double KMostCalibration = 5;
constexpr double KCalibrationPrior = 2;
constexpr double KCalibrationPriorMiss = 1.5;
// A model that carries less weight than this no longer has to sign the safety bound.
constexpr double KMeaningfulWeight = 0.05;

} // namespace

TTunerBeliefs::TTunerBeliefs(int amplitude, int sampleCount, double overshootLimit)
    : FAmplitude(amplitude), FSampleCount(sampleCount), FOvershootLimit(overshootLimit),
      FWeights(KArrangementPrior) {}

TTunerBeliefs::TFigures3 TTunerBeliefs::Targets(const TLoopFigures& f) {
    return {f.Overshoot, std::log(std::max(f.IntegralPerPulse, 1e-6)), f.SettlingFraction};
}

TTunerBeliefs::TFigures3 TTunerBeliefs::Simulated(const TLoopModel& model,
                                                  const TLoopRegisters& registers) const {
    return Targets(LoopFigures(SimulateLoop(model, registers, FAmplitude, FSampleCount), FAmplitude));
}

TTunerBeliefs::TFigures3 TTunerBeliefs::TGuess::Mean() const {
    TFigures3 mean{};
    for (std::size_t m = 0; m < Members.size(); ++m)
        for (std::size_t k = 0; k < 3; ++k)
            mean[k] += Weights[m] * Members[m].Mean[k];
    return mean;
}

TTunerBeliefs::TFigures3 TTunerBeliefs::TGuess::Sd() const {
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

TTunerBeliefs::TGuess TTunerBeliefs::Guess(const TGpPoint& z, const TLoopRegisters& registers) const {
    TGuess guess;
    guess.Weights = FWeights;
    for (std::size_t m = 0; m < FModels.size(); ++m) {
        const TFigures3 model = Simulated(*FModels[m], registers);
        for (std::size_t k = 0; k < 3; ++k) {
            const TGpPrediction residual = FProcesses[m][k]->Predict(z);
            guess.Members[m].Mean[k] = model[k] + residual.Mean;
            guess.Members[m].Sd[k] = residual.Sd;
        }
    }
    return guess;
}

TTunerPrediction TTunerBeliefs::Prediction(const TGuess& guess) const {
    const TFigures3 mean = guess.Mean();
    const TFigures3 sd = guess.Sd();
    TTunerPrediction r;
    r.Overshoot = mean[0];
    r.OvershootSd = sd[0] * FCalibration[0];
    r.Integral = std::exp(mean[1]);
    r.IntegralSd = r.Integral * sd[1] * FCalibration[1];
    // The chance of meeting the criterion is the models' own, weighed; the chance of passing twice the
    // limit is the largest that a model still in the running gives, so that an arrangement holding a
    // fifth of the weight stops a move it fears as surely as the likelier one.
    const auto above = [&](const TMemberGuess& g, std::size_t k, double limit) {
        return 1 - NormalCdf((limit - g.Mean[k]) / std::max(g.Sd[k] * FCalibration[k], 1e-9));
    };
    r.Eligible = r.OverTwiceLimit = 0;
    for (std::size_t m = 0; m < guess.Members.size(); ++m) {
        const TMemberGuess& g = guess.Members[m];
        r.Eligible += guess.Weights[m] * (1 - above(g, 0, FOvershootLimit)) * (1 - above(g, 2, 1));
        if (guess.Weights[m] >= KMeaningfulWeight || std::isnan(guess.Weights[m])) {
            // A risk that is not a number is no chance of safety, whatever the other model says.
            const double risk = above(g, 0, 2 * FOvershootLimit);
            r.OverTwiceLimit = std::isnan(risk) || std::isnan(r.OverTwiceLimit)
                                   ? std::nan("")
                                   : std::max(r.OverTwiceLimit, risk);
        }
    }
    return r;
}

std::vector<TLoopTest> TTunerBeliefs::FitTests(std::span<const TTest> tests, std::size_t centre,
                                               bool all) const {
    // The tests nearest the trust region's centre tell most of where the next test goes, and the
    // newest is always among them: a fit over every test would grow too slow to run between tests.
    std::vector<std::size_t> order(tests.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (!all && order.size() > KFitTests) {
        const TGpPoint& c = tests[centre].Point;
        const auto distance = [&](std::size_t i) {
            const TGpPoint& z = tests[i].Point;
            return i + 1 == tests.size() ? -1.0 : std::hypot(z[0] - c[0], z[1] - c[1], z[2] - c[2]);
        };
        std::partial_sort(order.begin(), order.begin() + KFitTests, order.end(),
                          [&](std::size_t a, std::size_t b) { return distance(a) < distance(b); });
        order.resize(KFitTests);
    }
    std::vector<TLoopTest> fit;
    for (const std::size_t i : order)
        fit.push_back({tests[i].Registers, FAmplitude, tests[i].Positions});
    return fit;
}

void TTunerBeliefs::Learn(std::span<const TTest> tests, std::size_t centre) {
    if (tests.empty())
        return;
    const std::vector<TLoopTest> fit = FitTests(tests, centre, false);
    for (std::size_t m = 0; m < FModels.size(); ++m) {
        // An arrangement whose predictions failed is left as it is.
        if (FModels[m] && FWeights[m] < KLeastWeight)
            continue;
        if (FModels[m]) {
            FModels[m] = FitLoopModel(fit, *FModels[m], TFitStart::Refit);
        } else if (m > 0) {
            // The cascade starts from the loop the first fit found, which it can run as well.
            TLoopModel start = *FModels[0];
            start.Law = OtherArrangement(start.Law, tests.front().Registers[KvRegister]);
            FModels[m] = FitLoopModel(fit, start, TFitStart::Converted);
        } else {
            FModels[m] = FitLoopModel(fit, TLoopModel{}, TFitStart::Fresh);
        }
        LearnResiduals(m, tests);
    }
    Weigh(tests);
}

void TTunerBeliefs::LearnResiduals(std::size_t member, std::span<const TTest> tests) {
    const TLoopModel& model = *FModels[member];
    FFitError[member] = LoopFitError(model, FitTests(tests, 0, true));
    const double trust = std::max(1.0, FFitError[member] / KGoodFit);
    // The processes learn what the model misses at the tested points whose figures were measured.
    std::vector<TGpPoint> x;
    std::array<std::vector<double>, 3> y;
    for (const TTest& t : tests) {
        if (!t.Complete)
            continue;
        const TFigures3 measured = Targets(t.Figures);
        const TFigures3 simulated = Simulated(model, t.Registers);
        x.push_back(t.Point);
        for (std::size_t k = 0; k < 3; ++k)
            y[k].push_back(measured[k] - simulated[k]);
    }
    for (std::size_t k = 0; k < 3; ++k) {
        TGpHyper prior;
        prior.LengthScale = {KLengthScale, KLengthScale, KLengthScale};
        prior.SignalSd = KSignalSd[k] * trust;
        prior.NoiseSd = KNoiseSd[k];
        // With a few points the likelihood says little; the prior stands until there are more.
        const TGpHyper hyper = x.size() >= 4 ? TGaussianProcess::Learn(x, y[k], prior) : prior;
        FProcesses[member][k].emplace(x, y[k], hyper);
    }
}

void TTunerBeliefs::Weigh(std::span<const TTest> tests) {
    // Misses so far, each over the spread it was predicted with, widen every spread: each model's
    // miss over its own spread, weighed as the models were, since it is each model's own spread that
    // the widening scales.
    for (std::size_t k = 0; k < 3; ++k) {
        double sum = KCalibrationPrior * KCalibrationPriorMiss * KCalibrationPriorMiss;
        double count = KCalibrationPrior;
        for (const TTest& t : tests)
            if (t.Guess && t.Complete) {
                for (std::size_t m = 0; m < t.Guess->Members.size(); ++m) {
                    const TMemberGuess& g = t.Guess->Members[m];
                    const double z = (Targets(t.Figures)[k] - g.Mean[k]) / std::max(g.Sd[k], 1e-9);
                    sum += t.Guess->Weights[m] * z * z;
                }
                count += 1;
            }
        FCalibration[k] = std::clamp(std::sqrt(sum / count), KLeastCalibration, KMostCalibration);
    }
    // Each arrangement by how well it predicted the overshoot and the integral of the tests since the
    // first, from the registers' documented meaning.
    std::array<double, 2> score{};
    for (const TTest& t : tests)
        if (t.Guess && t.Complete)
            for (std::size_t m = 0; m < score.size(); ++m)
                for (std::size_t k = 0; k < 2; ++k) {
                    const double sd = std::hypot(t.Guess->Members[m].Sd[k] * FCalibration[k], KNoiseSd[k]);
                    const double z = (Targets(t.Figures)[k] - t.Guess->Members[m].Mean[k]) / sd;
                    score[m] -= 0.5 * z * z + std::log(sd);
                }
    // And by how well it reproduces the recorded positions: a model that cannot is less plausible,
    // the more so the more tests it fails to reproduce. The samples of a test are far from
    // independent: a test counts as so many. Only tests at another KV than the first tell the
    // arrangements apart: at one KV each runs the other's loop, and a fit that happened to land
    // better is no evidence.
    std::set<std::int32_t> kvs;
    for (const TTest& t : tests)
        kvs.insert(t.Registers[KvRegister]);
    const double telling = double(kvs.size() - 1);
    for (std::size_t m = 0; m < score.size(); ++m)
        score[m] -= KFitEvidence * telling * std::log(std::max(FFitError[m], 1e-4));
    const double best = std::max(score[0], score[1]);
    double total = 0;
    for (std::size_t m = 0; m < score.size(); ++m)
        total += FWeights[m] = KArrangementPrior[m] * std::exp(KTemper * (score[m] - best));
    for (double& w : FWeights)
        w /= total;
}
