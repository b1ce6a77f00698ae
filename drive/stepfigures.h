#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
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

// The samples that arrived.
std::size_t ReceivedCount(const TStepRecord& record);

// The positions in the block a drive sends for a step test: records of 'l' (0x6C) and an unsigned
// 24-bit value, most significant byte first. Bytes ahead of the first 'l', such as the echo of the
// command, are skipped; from it on the records follow every four bytes, and a record there without its
// 'l' is a missing sample at its own time, so a damaged record shifts no later one. A record cut short
// at the end of the block is not counted, nor are missing samples after the last one that came. At
// most capacity samples are taken.
std::vector<std::uint32_t> ScanSampleRecords(QByteArrayView block, std::size_t capacity);

// How many more bytes the block needs to hold count records: those of the records from the first 'l'
// on, or all of them when no 'l' has come yet.
std::size_t MissingRecordBytes(QByteArrayView block, std::size_t count);

// The position of each sample relative to the start, as the figures and the plot take it: a sample
// below the start counts as lying on the target (the amplitude); a missing one stays MissingSample.
std::vector<std::uint32_t> RelativeSamples(const TStepRecord& record);

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

// The texts shown for the figures: fixed-point with two decimals and the locale's separator; "-" for
// a time that is absent, and for every figure when no sample came.
struct TStepTexts {
    QString Overshoot;
    QString Integral;
    QString RiseTime;
    QString SettlingTime;
};

TStepTexts StepTexts(const TStepFigures& figures);

// Writes the test as comma-separated values: a header line naming the columns (time in ms, absolute
// position, position relative to the start, commanded position) and stating the amplitude, the start
// position and the number of samples that came, then one line per sample that came, at its own time.
// The file is replaced only when all of it has been written; otherwise the old file stays and
// EKelmorError says why.
void WriteStepCsv(const QString& fileName, const TStepRecord& record);
