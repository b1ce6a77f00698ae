#pragma once

#include "drive/steprecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// The figures take the samples that came, each at its own time.
struct TStepFigures {
    std::uint32_t Max = 0;      // largest relative position, 0 without samples
    std::uint64_t ErrorSum = 0; // sum of |amplitude - relative position|, exact
    float Overshoot = 0;        // percent above the target, negative when it was never reached
    std::uint64_t Integral = 0; // ErrorSum × 0.5 ms, rounded down
    // From 10 % to 90 % of the amplitude, in ms; absent when the response never reaches 90 %.
    std::optional<double> RiseTimeMs;
    // When the response last came within ±5 % of the amplitude around the target to stay there, in ms
    // from the step; absent when the last sample lies outside that band.
    std::optional<double> SettlingTimeMs;
    std::size_t Received = 0; // samples that came
};

// The figures of a recorded test; the amplitude must be at least 1. Rise and settling time take the
// true positions, so a sample below the start counts as below the target for them.
TStepFigures StepFigures(const TStepRecord& record);
