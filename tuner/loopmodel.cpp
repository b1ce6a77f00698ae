#include "tuner/loopmodel.h"

#include "tuner/criterion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace {

constexpr double KSamplePeriodMs = 0.5;
constexpr std::size_t KTestsToSettleDelay = 3;
// How strongly the fit holds the two scales near 1, for each test: enough to choose among plants
// that fit equally, far below what a misfit of a pulse costs.
constexpr double KScalePrior = 0.01;
constexpr double KHeldScale = 10;
// The registers of the gains the scales apply to.
constexpr std::size_t KKvRegister = 1, KKpRegister = 2, KKiRegister = 4;
constexpr double KInfinity = std::numeric_limits<double>::infinity();
// How often, in samples, a sum is held against its bound.
constexpr std::size_t KBoundCheck = 32;
// Counts beyond this are of a loop that ran away, past what a whole number holds.
constexpr double KLargestCount = 1e15;

// One step test of the model, period by period.
class TLoopRun {
public:
    TLoopRun(const TLoopModel& model, const TLoopRegisters& registers, int amplitude)
        : FModel(model), FRegisters(registers), FAmplitude(amplitude), FDelay(std::clamp(model.Delay, 1, 3)) {
    }

    // The count the drive reads now; then one period passes. (A floor of its own: the library's is a
    // call where the instruction set is the baseline one, and a fit takes millions of them.)
    double Count() const {
        if (!(std::fabs(FX) < KLargestCount))
            return std::floor(FX);
        const double truncated = double(static_cast<long long>(FX));
        return truncated > FX ? truncated - 1 : truncated;
    }
    // The position less the half pulse a count rounds away, so that a fit compares like with like.
    double Position() const { return FX - 0.5; }
    void Period() {
        // Shifted by hand: a call to move four numbers costs more than the law itself.
        FDuty[3] = FDuty[2];
        FDuty[2] = FDuty[1];
        FDuty[1] = FDuty[0];
        FDuty[0] = FLaw.Duty(FRegisters, FModel.Law, FAmplitude, Count());
        const double applied = FDuty[std::size_t(FDelay)];
        FTorque = FModel.Lag * FTorque + (1 - FModel.Lag) * (FModel.Gain * applied - FModel.Damping * FSpeed);
        const double drive = std::clamp(FTorque, -FModel.AccelLimit, FModel.AccelLimit);
        double next = FSpeed + drive;
        next = std::fabs(next) <= FModel.Friction ? 0.0 : next - std::copysign(FModel.Friction, next);
        FX += 0.5 * (FSpeed + next);
        FSpeed = next;
    }

private:
    const TLoopModel& FModel;
    const TLoopRegisters& FRegisters;
    double FAmplitude;
    int FDelay;
    TLoopLawState FLaw;
    std::array<double, 4> FDuty{}; // computed duty cycles, newest first
    double FX = 0.5;               // the motor stands mid-pulse, as the drive's count sees it
    double FSpeed = 0;
    double FTorque = 0;
};

// What holds the scales near 1, for the tests: a scale whose gain the tests have not varied is held
// harder, since nothing in them tells it apart from the plant.
double ScalePrior(const TLoopModel& model, std::span<const TLoopTest> tests) {
    const std::array<std::pair<double, std::size_t>, 3> scales = {{{model.Law.PositionScale, KKpRegister},
                                                                   {model.Law.SpeedScale, KKvRegister},
                                                                   {model.Law.IntegralScale, KKiRegister}}};
    double sum = 0;
    for (const auto& [scale, reg] : scales) {
        const bool varied = std::any_of(tests.begin(), tests.end(), [&](const TLoopTest& t) {
            return t.Registers[reg] != tests.front().Registers[reg];
        });
        sum += (varied ? 1 : KHeldScale) * std::log(scale) * std::log(scale);
    }
    return KScalePrior * double(tests.size()) * sum;
}

// The squared error over the amplitude of every sample of the tests, and the scales' prior; summing
// stops once it passes `bound`, which is all a search needs to know of a worse point.
double Objective(const TLoopModel& model, std::span<const TLoopTest> tests, double bound = KInfinity) {
    double sum = ScalePrior(model, tests);
    for (const TLoopTest& test : tests) {
        TLoopRun run(model, test.Registers, test.Amplitude);
        const double scale = 1.0 / (double(test.Amplitude) * test.Amplitude);
        for (std::size_t i = 0; i < test.Positions.size(); ++i) {
            if (const double measured = test.Positions[i]; !std::isnan(measured)) {
                const double d = run.Position() - measured;
                sum += d * d * scale;
            }
            run.Period();
            if (i % KBoundCheck == 0 && sum > bound)
                return sum;
        }
    }
    return sum;
}

std::size_t SampleCount(std::span<const TLoopTest> tests) {
    std::size_t count = 0;
    for (const TLoopTest& test : tests)
        count += std::size_t(std::count_if(test.Positions.begin(), test.Positions.end(),
                                           [](double p) { return !std::isnan(p); }));
    return count;
}

// The continuous parameters of a model as the fit moves them: logarithms where a value must stay
// positive, so that every point the search tries is a model.
using TFitPoint = std::array<double, 8>;

TFitPoint Encode(const TLoopModel& model) {
    return {std::log(model.Gain),
            std::log(std::max(model.Damping, 1e-5)),
            std::log(std::max(model.Friction, 1e-5)),
            model.Lag,
            std::log(model.AccelLimit),
            std::log(model.Law.PositionScale),
            std::log(model.Law.SpeedScale),
            std::log(model.Law.IntegralScale)};
}

TLoopModel Decode(const TFitPoint& p, int delay, bool cascade) {
    TLoopModel model;
    model.Gain = std::exp(std::clamp(p[0], -12.0, 8.0));
    model.Damping = std::min(std::exp(std::clamp(p[1], -12.0, 0.0)), 0.9);
    model.Friction = std::exp(std::clamp(p[2], -12.0, 4.0));
    model.Lag = std::clamp(p[3], 0.0, 0.95);
    model.AccelLimit = std::exp(std::clamp(p[4], -12.0, 21.0));
    model.Law.PositionScale = std::exp(std::clamp(p[5], -3.0, 3.0));
    model.Law.SpeedScale = std::exp(std::clamp(p[6], -3.0, 3.0));
    model.Law.IntegralScale = std::exp(std::clamp(p[7], -3.0, 3.0));
    model.Law.Cascade = cascade;
    model.Delay = delay;
    return model;
}

TFitPoint Blend(const TFitPoint& a, const TFitPoint& b, double t) {
    TFitPoint r;
    for (std::size_t j = 0; j < r.size(); ++j)
        r[j] = a[j] + t * (b[j] - a[j]);
    return r;
}

// Nelder and Mead's simplex search: the model's objective has kinks where a count changes and where
// a limit takes hold, which a gradient would stumble on. A point is evaluated only as far as it must
// be to tell whether it beats the one it would replace.
class TSimplex {
public:
    static constexpr std::size_t N = std::tuple_size_v<TFitPoint>;
    using TObjective = std::function<double(const TFitPoint&, double bound)>;

    TSimplex(const TFitPoint& start, const TFitPoint& spread, TObjective objective)
        : FObjective(std::move(objective)) {
        for (std::size_t i = 0; i <= N; ++i) {
            FPoints[i] = start;
            if (i > 0)
                FPoints[i][i - 1] += spread[i - 1];
            FValues[i] = Evaluate(FPoints[i]);
        }
    }

    // Steps until the evaluations are spent or the simplex has shrunk to nothing.
    TFitPoint Search(int evaluations) {
        while (FUsed < evaluations && Step()) {
        }
        return FPoints[std::size_t(std::min_element(FValues.begin(), FValues.end()) - FValues.begin())];
    }

private:
    double Evaluate(const TFitPoint& p, double bound = KInfinity) {
        ++FUsed;
        return FObjective(p, bound);
    }

    // One reflection, expansion, contraction or shrink; false once the simplex has collapsed.
    bool Step() {
        std::array<std::size_t, N + 1> order;
        for (std::size_t i = 0; i <= N; ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return FValues[a] < FValues[b]; });
        const std::size_t best = order[0], worst = order[N], second = order[N - 1];
        if (FValues[worst] - FValues[best] <= 1e-12 * (1 + FValues[best]))
            return false;
        TFitPoint centre{};
        for (std::size_t i = 0; i <= N; ++i)
            if (i != worst)
                for (std::size_t j = 0; j < N; ++j)
                    centre[j] += FPoints[i][j] / N;
        const TFitPoint reflected = Blend(centre, FPoints[worst], -1);
        const double fr = Evaluate(reflected, FValues[worst]);
        if (fr < FValues[best]) {
            const TFitPoint expanded = Blend(centre, FPoints[worst], -2);
            const double fe = Evaluate(expanded, fr);
            Replace(worst, fe < fr ? expanded : reflected, std::min(fe, fr));
        } else if (fr < FValues[second]) {
            Replace(worst, reflected, fr);
        } else {
            const TFitPoint contracted =
                fr < FValues[worst] ? Blend(centre, reflected, 0.5) : Blend(centre, FPoints[worst], 0.5);
            const double limit = std::min(fr, FValues[worst]);
            const double fc = Evaluate(contracted, limit);
            if (fc < limit)
                Replace(worst, contracted, fc);
            else
                Shrink(best);
        }
        return true;
    }

    void Replace(std::size_t i, const TFitPoint& p, double value) {
        FPoints[i] = p;
        FValues[i] = value;
    }

    void Shrink(std::size_t best) {
        for (std::size_t i = 0; i <= N; ++i)
            if (i != best) {
                const TFitPoint p = Blend(FPoints[best], FPoints[i], 0.5);
                Replace(i, p, Evaluate(p));
            }
    }

    TObjective FObjective;
    std::array<TFitPoint, N + 1> FPoints;
    std::array<double, N + 1> FValues;
    int FUsed = 0;
};

// First models for a delay, from a coarse look over gains, dampings, lags and friction with the
// scales at 1: the best few, since a response that rings has several models that nearly match it.
std::vector<TLoopModel> CoarseModels(std::span<const TLoopTest> tests, int delay, bool cascade,
                                     std::size_t keep) {
    std::vector<std::pair<double, TLoopModel>> found;
    // The errors of the best so far, the worst of them last: a model is looked at only as far as it
    // takes to tell that it is not among them.
    std::vector<double> best(keep, KInfinity);
    for (double gain = 0.01; gain < 200; gain *= 1.5)
        for (const double damping : {0.003, 0.015, 0.06})
            for (const double lag : {0.1, 0.5, 0.9})
                for (const double friction : {0.0, 0.02}) {
                    TLoopModel model;
                    model.Gain = gain;
                    model.Damping = damping;
                    model.Lag = lag;
                    model.Friction = friction * gain;
                    model.Delay = delay;
                    model.Law.Cascade = cascade;
                    const double error = Objective(model, tests, best.back());
                    found.emplace_back(error, model);
                    if (error < best.back()) {
                        best.back() = error;
                        std::sort(best.begin(), best.end());
                    }
                }
    std::partial_sort(found.begin(), found.begin() + std::ptrdiff_t(std::min(keep, found.size())),
                      found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TLoopModel> models;
    for (std::size_t i = 0; i < std::min(keep, found.size()); ++i)
        models.push_back(found[i].second);
    return models;
}

} // namespace

std::vector<double> SimulateLoop(const TLoopModel& model, const TLoopRegisters& registers, int amplitude,
                                 int samples) {
    std::vector<double> positions(std::size_t(std::max(samples, 0)));
    TLoopRun run(model, registers, amplitude);
    for (double& p : positions) {
        p = run.Count();
        run.Period();
    }
    return positions;
}

TLoopFigures LoopFigures(std::span<const double> positions, int amplitude) {
    TLoopFigures figures;
    const double a = amplitude;
    double max = 0;
    double errorSum = 0;
    std::optional<double> last;
    std::size_t entry = positions.size();
    bool settledSoFar = true;
    for (std::size_t i = positions.size(); i-- > 0;) {
        const double p = positions[i];
        if (std::isnan(p))
            continue;
        if (!last)
            last = p;
        if (settledSoFar && std::fabs(p - a) <= SettlingBand * a)
            entry = i;
        else
            settledSoFar = false;
    }
    for (const double p : positions) {
        if (std::isnan(p))
            continue;
        max = std::max(max, p);
        errorSum += std::fabs(a - p);
    }
    figures.Overshoot = 100 * (max - a) / a;
    figures.IntegralPerPulse = errorSum * KSamplePeriodMs / a;
    const double window = double(positions.size());
    if (!last)
        figures.SettlingFraction = 2;
    else if (std::fabs(*last - a) <= SettlingBand * a)
        figures.SettlingFraction = double(entry) / window;
    else
        figures.SettlingFraction = 1 + (std::fabs(*last - a) / a - SettlingBand) / SettlingBand;
    return figures;
}

TLoopModel FitLoopModel(std::span<const TLoopTest> tests, const TLoopModel& start, TFitStart how) {
    const bool fresh = how == TFitStart::Fresh;
    if (SampleCount(tests) == 0)
        return start;
    const bool cascade = start.Law.Cascade;
    TLoopModel best = start;
    double bestError = KInfinity;
    // A fresh fit looks widely; a refit goes on from the last model, with fewer steps, and once a few
    // tests agree on the delay, at that delay only.
    const int evaluations = fresh ? 260 : 100;
    const TFitPoint spread = fresh ? TFitPoint{0.5, 1.0, 1.5, 0.3, 1.0, 0.5, 0.5, 0.5}
                                   : TFitPoint{0.15, 0.5, 0.7, 0.2, 0.5, 0.2, 0.2, 0.2};
    const bool delaySettled = how == TFitStart::Converted || (!fresh && tests.size() > KTestsToSettleDelay);
    for (int delay = delaySettled ? start.Delay : 1; delay <= (delaySettled ? start.Delay : 3); ++delay) {
        std::vector<TLoopModel> firsts;
        if (fresh) {
            firsts = CoarseModels(tests, delay, cascade, 2);
        } else {
            firsts.push_back(start);
            firsts.back().Delay = delay;
        }
        for (TLoopModel first : firsts) {
            if (fresh)
                first.AccelLimit = 1e6;
            const TFitPoint found = TSimplex(Encode(first), spread, [&](const TFitPoint& p, double bound) {
                                        return Objective(Decode(p, delay, cascade), tests, bound);
                                    }).Search(evaluations);
            const TLoopModel model = Decode(found, delay, cascade);
            const double error = Objective(model, tests);
            if (error < bestError) {
                bestError = error;
                best = model;
            }
        }
    }
    return best;
}

TLoopModel FitLoopModelHeld(std::span<const TLoopTest> tests, const TLoopModel& start,
                            const std::function<void(TLoopModel&)>& hold, int evaluations) {
    const auto held = [&](const TFitPoint& p) {
        TLoopModel model = Decode(p, start.Delay, start.Law.Cascade);
        model.Law.SpeedPeriods = start.Law.SpeedPeriods;
        model.Law.DOnPosition = start.Law.DOnPosition;
        hold(model);
        return model;
    };
    if (SampleCount(tests) == 0)
        return held(Encode(start));
    const TFitPoint spread{0.15, 0.5, 0.7, 0.2, 0.5, 0.2, 0.2, 0.2};
    const TFitPoint found = TSimplex(Encode(start), spread, [&](const TFitPoint& p, double bound) {
                                return Objective(held(p), tests, bound);
                            }).Search(evaluations);
    return held(found);
}

double LoopFitError(const TLoopModel& model, std::span<const TLoopTest> tests) {
    const std::size_t count = SampleCount(tests);
    if (count == 0)
        return 0;
    // The scales' prior is no error of the fit.
    const double prior = ScalePrior(model, tests);
    return std::sqrt(std::max(Objective(model, tests) - prior, 0.0) / double(count));
}
