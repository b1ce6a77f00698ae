#pragma once

// What a tuning run asks of a step test, in plain numbers: the limit on its overshoot, the band it
// must settle in, the run's stop for a loop near instability, and the back-off taken off the best
// KP before it is offered. The runner judges the drive's tests by it; the loop model predicts by it.

// The band the response must end in: ±5 % of the amplitude, as the step figures' settling time.
constexpr double SettlingBand = 0.05;
// A test whose overshoot passes this many times the limit stops the run: the loop is near instability.
constexpr double UnstableFactor = 3;

struct TTuningCriterion {
    double OvershootLimit = 10; // percent
    double BackOffPercent = 0;  // 0 .. 30, taken off the best gains
};

// Why a test cannot be the best, or none.
enum class TRoundVerdict { Eligible, SamplesMissing, Overshoot, NotSettled };

// A test with every sample it asked for, settled, and with the overshoot [%] it had.
TRoundVerdict Verdict(bool allSamples, bool settled, double overshoot, const TTuningCriterion& criterion);

// KP after the back-off, kept within [lowest, highest].
double BackedOff(double gain, const TTuningCriterion& criterion, double lowest, double highest);
