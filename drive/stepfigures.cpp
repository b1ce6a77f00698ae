#include "drive/stepfigures.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "common/savefile.h"

#include <algorithm>
#include <cassert>

namespace {

constexpr std::uint8_t RecordMark = 0x6C;
constexpr qsizetype RecordSize = 4;

std::int64_t TruePosition(const TStepRecord& record, std::size_t i) {
    return std::int64_t(record.Samples[i]) - std::int64_t(record.StartPosition);
}

std::optional<std::size_t> FirstAtLeast(const TStepRecord& record, std::int64_t tenths) {
    for (std::size_t i = 0; i < record.Samples.size(); ++i)
        if (10 * TruePosition(record, i) >= tenths * std::int64_t(record.Amplitude))
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
    std::size_t entry = record.Samples.size();
    while (entry > 0 && inBand(entry - 1))
        --entry;
    if (entry == record.Samples.size())
        return std::nullopt;
    return double(entry) * SamplePeriodMs;
}

// Walks the block by the record rules, handing each value found to take, and stops after capacity of
// them. Returns how many bytes of a record begun at the end of the block it holds (0 to 3).
template <typename Take> qsizetype WalkRecords(QByteArrayView block, std::size_t capacity, Take take) {
    const auto byte = [&](qsizetype i) { return std::uint32_t(std::uint8_t(block[i])); };
    std::size_t found = 0;
    for (qsizetype i = 0; i < block.size() && found < capacity;) {
        if (byte(i) != RecordMark) {
            ++i;
            continue;
        }
        // No record can start after a mark this close to the end.
        if (block.size() - i < RecordSize)
            return block.size() - i;
        take(byte(i + 1) << 16 | byte(i + 2) << 8 | byte(i + 3));
        ++found;
        i += RecordSize;
    }
    return 0;
}

QString TimeText(const std::optional<double>& ms) {
    return ms ? FloatToText(*ms) : QStringLiteral("-");
}

} // namespace

std::size_t ReceivedCount(const TStepRecord& record) {
    return std::size_t(std::count_if(record.Samples.begin(), record.Samples.end(),
                                     [](std::uint32_t s) { return s != MissingSample; }));
}

std::vector<std::uint32_t> ScanSampleRecords(QByteArrayView block, std::size_t capacity) {
    std::vector<std::uint32_t> samples;
    samples.reserve(std::min(capacity, std::size_t(block.size() / RecordSize)));
    WalkRecords(block, capacity, [&](std::uint32_t value) { samples.push_back(value); });
    return samples;
}

std::size_t MissingRecordBytes(QByteArrayView block, std::size_t count) {
    std::size_t found = 0;
    const qsizetype tail = WalkRecords(block, count, [&](std::uint32_t) { ++found; });
    return found >= count ? 0 : std::size_t(RecordSize) * (count - found) - std::size_t(tail);
}

std::vector<std::uint32_t> RelativeSamples(const TStepRecord& record) {
    std::vector<std::uint32_t> relative;
    relative.reserve(record.Samples.size());
    for (const std::uint32_t sample : record.Samples)
        relative.push_back(sample >= record.StartPosition ? sample - record.StartPosition : record.Amplitude);
    return relative;
}

TStepFigures StepFigures(const TStepRecord& record) {
    assert(record.Amplitude >= 1);
    TStepFigures figures;
    const std::uint32_t amplitude = record.Amplitude;
    for (const std::uint32_t r : RelativeSamples(record)) {
        figures.ErrorSum += r > amplitude ? r - amplitude : amplitude - r;
        figures.Max = std::max(figures.Max, r);
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
    return {FloatToText(figures.Overshoot), FloatToText(static_cast<long double>(figures.Integral)),
            TimeText(figures.RiseTimeMs), TimeText(figures.SettlingTimeMs)};
}

void WriteStepCsv(const QString& fileName, const TStepRecord& record) {
    const std::uint64_t commanded = std::uint64_t(record.StartPosition) + record.Amplitude;
    QByteArray text = QStringLiteral("time_ms,position,relative,commanded,amplitude=%1,start=%2,samples=%3\n")
                          .arg(record.Amplitude)
                          .arg(record.StartPosition)
                          .arg(record.Samples.size())
                          .toLatin1();
    for (std::size_t i = 0; i < record.Samples.size(); ++i) {
        text += QByteArray::number(double(i) * SamplePeriodMs, 'f', 1) + ',' +
                QByteArray::number(record.Samples[i]) + ',' +
                QByteArray::number(qint64(TruePosition(record, i))) + ',' + QByteArray::number(commanded) +
                '\n';
    }
    if (const QString reason = SaveWholeFile(fileName, text); !reason.isEmpty())
        throw EKelmorError(QStringLiteral("Cannot write the file \"%1\": %2").arg(fileName, reason));
}
