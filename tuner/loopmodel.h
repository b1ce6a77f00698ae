#pragma once

// A model of a drive's position loop that predicts a step test for any registers: the controller the
// tuner assumes (tuner/looplaw.h), with its two unknown scales, around a plant learnt from the step
// tests already run. The plant is what differs from bench to bench (motor, load, friction, power
// stage, delays); it is a low-order model: one inertia driven by the duty cycle through a delay, with
// speed-proportional damping, Coulomb friction and a limit on acceleration. Plain arithmetic, no I/O.

#include "tuner/looplaw.h"

#include <functional>
#include <span>
#include <vector>

struct TLoopModel {
    double Gain = 1;         // pulses per period² at full duty
    double Damping = 0.05;   // share of the speed lost each period
    double Friction = 0;     // pulses per period², against the motion
    double Lag = 0.5;        // share of a duty cycle that acts one period later
    double AccelLimit = 1e9; // pulses per period², what the power stage's current allows
    int Delay = 1;           // periods from measuring to the duty cycle acting, 1..3
    TLoopLaw Law;            // how the firmware applies the gains, as learnt
};

// A step test as the model sees it: the registers it ran under, the amplitude, and the recorded
// positions relative to the start (NaN for a sample that did not arrive).
struct TLoopTest {
    TLoopRegisters Registers{};
    int Amplitude = 0;
    std::vector<double> Positions;
};

// The figures the tuner learns from: those of the step page, except that a sample below the start
// counts at its true error. The step page counts it as lying on the target, which turns a pulse of
// measurement noise at the start of a test into a tenth of the integral and more.
struct TLoopFigures {
    double Overshoot = 0;        // percent
    double IntegralPerPulse = 0; // ms: error integral over the amplitude
    double SettlingFraction = 0; // settling time over the window; above 1 by how far outside when not settled
};

// The positions, relative to the start, that the drive would record over `samples` periods from
// the step.
std::vector<double> SimulateLoop(const TLoopModel& model, const TLoopRegisters& registers, int amplitude,
                                 int samples);

// The figures of recorded or simulated positions (relative to the start, whole pulses).
TLoopFigures LoopFigures(std::span<const double> positions, int amplitude);

// How a fit starts: widely, from nothing; from a model fitted before, trying each delay again until a
// few tests agree on it; or from a model of the other arrangement, at its delay.
enum class TFitStart { Fresh, Refit, Converted };

// The model of the given arrangement (Law.Cascade of `start`) that best reproduces the tests: least
// squares over their positions, the scales held near 1 while the tests do not tell them apart from
// the plant.
TLoopModel FitLoopModel(std::span<const TLoopTest> tests, const TLoopModel& start, TFitStart how);

// The model nearest `start` that best reproduces the tests with what `hold` sets held (a plant gain
// doubled, say): a short refit at the start's delay and arrangement, for models the tests cannot rule
// out.
TLoopModel FitLoopModelHeld(std::span<const TLoopTest> tests, const TLoopModel& start,
                            const std::function<void(TLoopModel&)>& hold, int evaluations);

// How far the model's positions lie from the tests', as a root mean square over the amplitude.
double LoopFitError(const TLoopModel& model, std::span<const TLoopTest> tests);
