#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One step test as recorded: the step asked of the drive and the positions it sent back, one every
// 0.5 ms from the moment of the step. Sample i is the position at i × 0.5 ms, or MissingSample; the
// samples end with the last one that came.
struct TStepRecord {
    std::uint32_t Amplitude = 0;     // pulses, at least 1
    std::uint32_t StartPosition = 0; // drive position before the step
    int SampleCount = 0;             // samples asked for, at least 1
    std::vector<std::uint32_t> Samples;
};

constexpr double SamplePeriodMs = 0.5;

// Stands in Samples for a sample whose record did not arrive whole; drive positions are 24-bit, so
// no position takes this value.
constexpr std::uint32_t MissingSample = 0xFFFFFFFF;

constexpr bool Arrived(std::uint32_t sample) {
    return sample != MissingSample;
}

// The samples that arrived.
std::size_t ReceivedCount(const TStepRecord& record);

// Sample i less the start position, below the start too.
std::int64_t TruePosition(const TStepRecord& record, std::size_t i);

// The position of each sample relative to the start, as the figures and the plot take it: a sample
// below the start counts as lying on the target (the amplitude); a missing one stays MissingSample.
std::vector<std::uint32_t> RelativeSamples(const TStepRecord& record);

// The position of each sample relative to the start, below the start too, as the tuner learns from
// it; NaN for a sample that did not arrive.
std::vector<double> TruePositions(const TStepRecord& record);
