#pragma once

// A model of the drive's position loop that predicts a step test for any registers: the drive's
// controller as its registers define it (a PID position loop whose output, held within Limit V, is
// the speed reference of a proportional speed loop with back-EMF compensation, held within Limit M,
// at 2 kHz), around a plant learnt from the step tests already run. The plant is what differs from
// bench to bench (motor, load, friction, power stage, delays); it is a low-order model: one inertia
// driven by the duty cycle through a delay, with speed-proportional damping, Coulomb friction and a
// limit on acceleration. Plain arithmetic, no I/O.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

// P0..P8 as the drive holds them.
using TLoopRegisters = std::array<std::int32_t, 9>;

struct TLoopPlant {
    double Gain = 1;         // pulses per period² at full duty
    double Damping = 0.05;   // share of the speed lost each period
    double Friction = 0;     // pulses per period², against the motion
    double Lag = 0.5;        // share of a duty cycle that acts one period later
    double AccelLimit = 1e9; // pulses per period², what the power stage's current allows
    int Delay = 1;           // periods from measuring to the duty cycle acting, 1..3
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
std::vector<double> SimulateLoop(const TLoopPlant& plant, const TLoopRegisters& registers, int amplitude,
                                 int samples);

// The figures of recorded or simulated positions (relative to the start, whole pulses).
TLoopFigures LoopFigures(std::span<const double> positions, int amplitude);

// The plant that best reproduces the tests (least squares over their positions); `start`, when
// given, is the last fit, from which a few more tests need only a short search.
TLoopPlant FitLoopPlant(std::span<const TLoopTest> tests, const TLoopPlant* start = nullptr);

// How far the model's positions lie from the tests', as a root mean square over the amplitude.
double LoopFitError(const TLoopPlant& plant, std::span<const TLoopTest> tests);
