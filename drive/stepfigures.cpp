#include "drive/stepfigures.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "common/savefile.h"

#include <algorithm>
#include <cassert>

namespace {

constexpr std::uint8_t RecordMark = 0x6C;
constexpr qsizetype RecordSize = 4;

bool Arrived(std::uint32_t sample) {
    return sample != MissingSample;
}

std::int64_t TruePosition(const TStepRecord& record, std::size_t i) {
    return std::int64_t(record.Samples[i]) - std::int64_t(record.StartPosition);
}

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

QString TimeText(const std::optional<double>& ms) {
    return ms ? FloatToText(*ms) : QStringLiteral("-");
}

} // namespace

std::size_t ReceivedCount(const TStepRecord& record) {
    return std::size_t(std::count_if(record.Samples.begin(), record.Samples.end(), Arrived));
}

std::vector<std::uint32_t> ScanSampleRecords(QByteArrayView block, std::size_t capacity) {
    std::vector<std::uint32_t> samples;
    const qsizetype first = block.indexOf(char(RecordMark));
    if (first < 0)
        return samples;
    const auto byte = [&](qsizetype i) { return std::uint32_t(std::uint8_t(block[i])); };
    const std::size_t whole = std::min(capacity, std::size_t((block.size() - first) / RecordSize));
    samples.reserve(whole);
    for (qsizetype i = first; samples.size() < whole; i += RecordSize)
        samples.push_back(byte(i) == RecordMark ? byte(i + 1) << 16 | byte(i + 2) << 8 | byte(i + 3)
                                                : MissingSample);
    while (!samples.empty() && !Arrived(samples.back()))
        samples.pop_back();
    return samples;
}

std::size_t MissingRecordBytes(QByteArrayView block, std::size_t count) {
    const qsizetype first = block.indexOf(char(RecordMark));
    const auto held = std::size_t(first < 0 ? 0 : block.size() - first);
    const std::size_t needed = std::size_t(RecordSize) * count;
    return held >= needed ? 0 : needed - held;
}

std::vector<std::uint32_t> RelativeSamples(const TStepRecord& record) {
    std::vector<std::uint32_t> relative;
    relative.reserve(record.Samples.size());
    for (const std::uint32_t sample : record.Samples)
        relative.push_back(!Arrived(sample)                 ? MissingSample
                           : sample >= record.StartPosition ? sample - record.StartPosition
                                                            : record.Amplitude);
    return relative;
}

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

TStepTexts StepTexts(const TStepFigures& figures) {
    // Without a sample there is nothing to judge; -100 % and 0 would read as a result.
    if (figures.Received == 0)
        return {QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-")};
    return {FloatToText(figures.Overshoot), FloatToText(static_cast<long double>(figures.Integral)),
            TimeText(figures.RiseTimeMs), TimeText(figures.SettlingTimeMs)};
}

void WriteStepCsv(const QString& fileName, const TStepRecord& record) {
    const std::uint64_t commanded = std::uint64_t(record.StartPosition) + record.Amplitude;
    QByteArray text = QStringLiteral("time_ms,position,relative,commanded,amplitude=%1,start=%2,samples=%3\n")
                          .arg(record.Amplitude)
                          .arg(record.StartPosition)
                          .arg(ReceivedCount(record))
                          .toLatin1();
    for (std::size_t i = 0; i < record.Samples.size(); ++i) {
        // A missing sample has no line; the times of the others show the gap.
        if (!Arrived(record.Samples[i]))
            continue;
        text += QByteArray::number(double(i) * SamplePeriodMs, 'f', 1) + ',' +
                QByteArray::number(record.Samples[i]) + ',' +
                QByteArray::number(qint64(TruePosition(record, i))) + ',' + QByteArray::number(commanded) +
                '\n';
    }
    if (const QString reason = SaveWholeFile(fileName, text); !reason.isEmpty())
        throw EKelmorError(QStringLiteral("Cannot write the file \"%1\": %2").arg(fileName, reason));
}
