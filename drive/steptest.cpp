#include "drive/steptest.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/replyreaders.h"
#include "drive/samplerecords.h"
#include "link/exchange.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

TStepEntries ParseStepEntries(const TTypedNumber& amplitudeEntry, const TTypedNumber& timeEntry) {
    const std::int32_t amplitude = amplitudeEntry.Whole();
    if (amplitude < 1)
        throw EKelmorError(QStringLiteral("The amplitude must be at least 1 pulse"));
    const std::int32_t timeMs = timeEntry.Whole();
    if (timeMs < 1)
        throw EKelmorError(QStringLiteral("The measurement time must be at least 1 ms"));
    return {amplitude, timeMs};
}

std::int32_t QueryPosition(TExchange& exchange) {
    // The end of an earlier answer still on the wire, such as the echo of a settings write or the
    // CR LF after the records of a test run just before, would land after the purge, ahead of the reply.
    exchange.SettleAndPurge();
    exchange.WriteLine(PositionQueryLine());
    return ReadPosition(exchange);
}

std::int32_t PositionTolerance(std::uint32_t amplitude) {
    constexpr std::uint32_t Jitter = 2;
    return std::int32_t(std::max(amplitude / 10, Jitter));
}

std::int32_t ConfirmedPosition(TExchange& exchange, std::int32_t tolerance,
                               std::optional<std::int32_t> expected) {
    constexpr int MostTries = 3;
    const auto agree = [&](std::int64_t a, std::int64_t b) { return std::llabs(a - b) <= tolerance; };
    for (int attempt = 1;; ++attempt) {
        try {
            exchange.SettleAndPurge();
            if (expected) {
                exchange.WriteLine(PositionQueryLine());
                const std::int32_t position = ReadPosition(exchange);
                if (agree(position, *expected))
                    return position;
                if (attempt == MostTries)
                    throw EConvertError(
                        QStringLiteral("The position read, %1, is not where the motor was left, "
                                       "%2: nothing was moved")
                            .arg(position)
                            .arg(*expected));
                continue;
            }
            // Both queries at once: the second reading costs no converter's latency of its own.
            exchange.WriteLine(PositionQueryLine());
            exchange.WriteLine(PositionQueryLine());
            const std::int32_t first = ReadPosition(exchange);
            const std::int32_t second = ReadPosition(exchange, true);
            if (agree(first, second))
                return second;
            if (attempt == MostTries)
                throw EConvertError(
                    QStringLiteral("The position read twice does not agree, %1 and %2: nothing "
                                   "was moved")
                        .arg(first)
                        .arg(second));
        } catch (const EConvertError&) {
            if (attempt == MostTries || exchange.Lost())
                throw;
        }
    }
}

TStepMeasurement MeasureStep(TExchange& exchange, const TTypedNumber& amplitudeEntry,
                             const TTypedNumber& timeEntry, std::optional<std::int32_t> expected) {
    const auto [amplitude, timeMs] = ParseStepEntries(amplitudeEntry, timeEntry);
    const std::int32_t start =
        ConfirmedPosition(exchange, PositionTolerance(std::uint32_t(amplitude)), expected);

    const std::int64_t target = std::int64_t(start) + amplitude;
    if (target > MaxDrivePosition)
        throw EKelmorError(QStringLiteral("The target position %1 lies beyond the drive's last position %2")
                               .arg(target)
                               .arg(MaxDrivePosition));

    TStepMeasurement measurement;
    const std::int64_t asked = 2 * std::int64_t(timeMs);
    measurement.TimeCapped = asked > MaxStepSamples;
    TStepRecord& record = measurement.Record;
    record.Amplitude = std::uint32_t(amplitude);
    record.StartPosition = std::uint32_t(start);
    record.SampleCount = int(std::min<std::int64_t>(asked, MaxStepSamples));

    exchange.WriteLine(SetPointLine(record.SampleCount));
    exchange.Purge();
    exchange.WriteLine(StepLine(std::int32_t(target)));
    record.Samples =
        ScanSampleRecords(ReadSampleBlock(exchange, record.SampleCount), std::size_t(record.SampleCount));
    RequireStartWhereRead(record);
    return measurement;
}

void RequireStartWhereRead(const TStepRecord& record) {
    // Half a millisecond after the step the motor has barely moved; a pulse or two of an encoder's
    // jitter is no sign of a misread position.
    constexpr double LeastDistance = 2;
    if (record.Samples.empty() || !Arrived(record.Samples.front()))
        return;
    const std::int64_t first = record.Samples.front();
    const double distance = double(std::llabs(first - std::int64_t(record.StartPosition)));
    if (distance > std::max(record.Amplitude / 10.0, LeastDistance))
        throw EKelmorError(QStringLiteral("The motor was not where it was read: at %1, its first sample %2")
                               .arg(record.StartPosition)
                               .arg(first));
}
