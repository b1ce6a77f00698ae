#include "drive/stepfigures.h"

#include <algorithm>
#include <cassert>

namespace {

std::optional<std::size_t> FirstAtLeast(const TStepRecord& record, std::int64_t tenths) {
    for (std::size_t i = 0; i < record.Samples.size(); ++i)
        if (Arrived(record.Samples[i]) &&
            10 * TruePosition(record, i) >= tenths * std::int64_t(record.Amplitude))
            return i;
    return std::nullopt;
}

std::optional<double> RiseTimeMs(const TStepRecord& record) {
    const std::optional<std::size_t> tenPercent = FirstAtLeast(record, 1);
    const std::optional<std::size_t> ninetyPercent = FirstAtLeast(record, 9);
    if (!tenPercent || !ninetyPercent)
        return std::nullopt;
    return double(*ninetyPercent - *tenPercent) * SamplePeriodMs;
}

std::optional<double> SettlingTimeMs(const TStepRecord& record) {
    const auto amplitude = std::int64_t(record.Amplitude);
    const auto inBand = [&](std::size_t i) {
        const std::int64_t error = TruePosition(record, i) - amplitude;
        return 20 * (error < 0 ? -error : error) <= amplitude;
    };
    std::optional<std::size_t> entry;
    for (std::size_t i = record.Samples.size(); i-- > 0;) {
        if (!Arrived(record.Samples[i]))
            continue;
        if (!inBand(i))
            break;
        entry = i;
    }
    if (!entry)
        return std::nullopt;
    return double(*entry) * SamplePeriodMs;
}

} // namespace

TStepFigures StepFigures(const TStepRecord& record) {
    assert(record.Amplitude >= 1);
    TStepFigures figures;
    const std::uint32_t amplitude = record.Amplitude;
    for (const std::uint32_t r : RelativeSamples(record)) {
        if (!Arrived(r))
            continue;
        figures.ErrorSum += r > amplitude ? r - amplitude : amplitude - r;
        figures.Max = std::max(figures.Max, r);
        ++figures.Received;
    }
    // The figure is single precision: Max is rounded first, then the difference, the quotient and the
    // product each on their own.
    const float max = static_cast<float>(figures.Max);
    const float difference = static_cast<float>(static_cast<long double>(max) - amplitude);
    const float quotient = static_cast<float>(static_cast<long double>(difference) / amplitude);
    figures.Overshoot = static_cast<float>(100.0L * quotient);
    figures.Integral = figures.ErrorSum / 2;
    figures.RiseTimeMs = RiseTimeMs(record);
    figures.SettlingTimeMs = SettlingTimeMs(record);
    return figures;
}
