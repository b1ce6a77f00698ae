#include "drive/loopmodel.h"

#include "sim/controllaw.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace {

// The band the response must end in: ±5 % of the amplitude.
constexpr double KBand = 0.05;
constexpr double KSamplePeriodMs = 0.5;
constexpr std::size_t KTestsToSettleDelay = 3;

// The drive's controller as it runs in position mode after a step to the reference.
class TDriveLaw {
public:
    int Step(const TLoopRegisters& r, std::int64_t reference, std::int64_t count) {
        const std::int64_t velocity = count - FPreviousCount;
        FPreviousCount = count;
        return LimitedPwm(r, SpeedLoop(r, FPid.Step(r, reference - count), velocity));
    }

private:
    std::int64_t FPreviousCount = 0;
    TPositionPid FPid;
};

// Runs the loop; `positions` receives the continuous position less the half pulse that a count
// rounds away, so that a fit compares like with like.
void RunLoop(const TLoopPlant& plant, const TLoopRegisters& registers, int amplitude,
             std::span<double> positions, bool counts) {
    TDriveLaw law;
    std::array<double, 4> duty{}; // computed duty cycles, newest first
    double x = 0.5;               // the motor stands mid-pulse, as the drive's count sees it
    double speed = 0;
    double torque = 0;
    const int delay = std::clamp(plant.Delay, 1, 3);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        const double floorX = std::floor(x);
        positions[i] = counts ? floorX : x - 0.5;
        std::copy_backward(duty.begin(), duty.end() - 1, duty.end());
        duty[0] = double(law.Step(registers, amplitude, std::int64_t(floorX))) / KPwmFullScale;
        const double applied = duty[std::size_t(delay)];
        torque = plant.Lag * torque + (1 - plant.Lag) * (plant.Gain * applied - plant.Damping * speed);
        const double drive = std::clamp(torque, -plant.AccelLimit, plant.AccelLimit);
        double next = speed + drive;
        next = std::fabs(next) <= plant.Friction ? 0.0 : next - std::copysign(plant.Friction, next);
        x += 0.5 * (speed + next);
        speed = next;
    }
}

double SquaredError(const TLoopPlant& plant, std::span<const TLoopTest> tests, std::vector<double>& buffer) {
    double sum = 0;
    for (const TLoopTest& test : tests) {
        buffer.resize(test.Positions.size());
        RunLoop(plant, test.Registers, test.Amplitude, buffer, false);
        const double scale = 1.0 / (double(test.Amplitude) * test.Amplitude);
        for (std::size_t i = 0; i < buffer.size(); ++i)
            if (!std::isnan(test.Positions[i]))
                sum += (buffer[i] - test.Positions[i]) * (buffer[i] - test.Positions[i]) * scale;
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

// The continuous parameters of a plant as the fit moves them: logarithms where a value must stay
// positive, so that every point the search tries is a plant.
using TFitPoint = std::array<double, 5>;

TFitPoint Encode(const TLoopPlant& plant) {
    return {std::log(plant.Gain), std::log(std::max(plant.Damping, 1e-5)),
            std::log(std::max(plant.Friction, 1e-5)), plant.Lag, std::log(plant.AccelLimit)};
}

TLoopPlant Decode(const TFitPoint& p, int delay) {
    TLoopPlant plant;
    plant.Gain = std::exp(std::clamp(p[0], -12.0, 8.0));
    plant.Damping = std::min(std::exp(std::clamp(p[1], -12.0, 0.0)), 0.9);
    plant.Friction = std::exp(std::clamp(p[2], -12.0, 4.0));
    plant.Lag = std::clamp(p[3], 0.0, 0.95);
    plant.AccelLimit = std::exp(std::clamp(p[4], -12.0, 21.0));
    plant.Delay = delay;
    return plant;
}

TFitPoint Blend(const TFitPoint& a, const TFitPoint& b, double t) {
    TFitPoint r;
    for (std::size_t j = 0; j < r.size(); ++j)
        r[j] = a[j] + t * (b[j] - a[j]);
    return r;
}

// Nelder and Mead's simplex search: the plant's objective has kinks where a count changes and where
// a limit takes hold, which a gradient would stumble on.
class TSimplex {
public:
    static constexpr std::size_t N = std::tuple_size_v<TFitPoint>;
    using TObjective = std::function<double(const TFitPoint&)>;

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
    double Evaluate(const TFitPoint& p) {
        ++FUsed;
        return FObjective(p);
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
        const double fr = Evaluate(reflected);
        if (fr < FValues[best]) {
            const TFitPoint expanded = Blend(centre, FPoints[worst], -2);
            const double fe = Evaluate(expanded);
            Replace(worst, fe < fr ? expanded : reflected, std::min(fe, fr));
        } else if (fr < FValues[second]) {
            Replace(worst, reflected, fr);
        } else {
            const TFitPoint contracted =
                fr < FValues[worst] ? Blend(centre, reflected, 0.5) : Blend(centre, FPoints[worst], 0.5);
            const double fc = Evaluate(contracted);
            if (fc < std::min(fr, FValues[worst]))
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

// First plants for a delay, from a coarse look over gains, dampings, lags and friction: the best few,
// since a response that rings has several plants that nearly match it.
std::vector<TLoopPlant> CoarsePlants(std::span<const TLoopTest> tests, int delay, std::vector<double>& buffer,
                                     std::size_t keep) {
    std::vector<std::pair<double, TLoopPlant>> found;
    for (double gain = 0.01; gain < 200; gain *= 1.5)
        for (const double damping : {0.003, 0.015, 0.06})
            for (const double lag : {0.1, 0.5, 0.9})
                for (const double friction : {0.0, 0.02}) {
                    TLoopPlant plant;
                    plant.Gain = gain;
                    plant.Damping = damping;
                    plant.Lag = lag;
                    plant.Friction = friction * gain;
                    plant.Delay = delay;
                    found.emplace_back(SquaredError(plant, tests, buffer), plant);
                }
    std::partial_sort(found.begin(), found.begin() + std::ptrdiff_t(std::min(keep, found.size())),
                      found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<TLoopPlant> plants;
    for (std::size_t i = 0; i < std::min(keep, found.size()); ++i)
        plants.push_back(found[i].second);
    return plants;
}

} // namespace

std::vector<double> SimulateLoop(const TLoopPlant& plant, const TLoopRegisters& registers, int amplitude,
                                 int samples) {
    std::vector<double> positions(std::size_t(std::max(samples, 0)));
    RunLoop(plant, registers, amplitude, positions, true);
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
        if (settledSoFar && std::fabs(p - a) <= KBand * a)
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
    else if (std::fabs(*last - a) <= KBand * a)
        figures.SettlingFraction = double(entry) / window;
    else
        figures.SettlingFraction = 1 + (std::fabs(*last - a) / a - KBand) / KBand;
    return figures;
}

TLoopPlant FitLoopPlant(std::span<const TLoopTest> tests, const TLoopPlant* start) {
    std::vector<double> buffer;
    if (SampleCount(tests) == 0)
        return start ? *start : TLoopPlant{};
    TLoopPlant best;
    double bestError = std::numeric_limits<double>::infinity();
    // A fresh fit looks widely; a refit goes on from the last plant, with fewer steps, and once a few
    // tests agree on the delay, at that delay only.
    const int evaluations = start ? 120 : 220;
    const TFitPoint spread = start ? TFitPoint{0.15, 0.5, 0.7, 0.2, 0.5} : TFitPoint{0.5, 1.0, 1.5, 0.3, 1.0};
    const bool delaySettled = start && tests.size() > KTestsToSettleDelay;
    for (int delay = delaySettled ? start->Delay : 1; delay <= (delaySettled ? start->Delay : 3); ++delay) {
        std::vector<TLoopPlant> firsts;
        if (start) {
            firsts.push_back(*start);
            firsts.back().Delay = delay;
        } else {
            firsts = CoarsePlants(tests, delay, buffer, 2);
        }
        for (TLoopPlant first : firsts) {
            if (!start)
                first.AccelLimit = 1e6;
            const TFitPoint found = TSimplex(Encode(first), spread, [&](const TFitPoint& p) {
                                        return SquaredError(Decode(p, delay), tests, buffer);
                                    }).Search(evaluations);
            const TLoopPlant plant = Decode(found, delay);
            const double error = SquaredError(plant, tests, buffer);
            if (error < bestError) {
                bestError = error;
                best = plant;
            }
        }
    }
    return best;
}

double LoopFitError(const TLoopPlant& plant, std::span<const TLoopTest> tests) {
    std::vector<double> buffer;
    const std::size_t count = SampleCount(tests);
    return count == 0 ? 0 : std::sqrt(SquaredError(plant, tests, buffer) / double(count));
}
