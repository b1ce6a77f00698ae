#include "drive/steptest.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
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
    const auto agree = [&](std::int64_t a, std::int64_t b) { return std::llabs(a - b) <= tolerance; };
    // A line that loses bytes can only shorten a reading, and "100000" short of any one of its zeros
    // reads "10000" each time: two readings that agree are not enough. A position counts when at
    // least three came whole in their frame, it agrees with another of them, and none is longer.
    constexpr std::size_t LeastReadings = 3;
    std::vector<std::int32_t> readings;
    const auto confirmed = [&]() -> std::optional<std::int32_t> {
        if (readings.size() < LeastReadings)
            return std::nullopt;
        const auto digits = [](std::int32_t v) { return QByteArray::number(v).size(); };
        const qsizetype longest = digits(*std::max_element(readings.begin(), readings.end()));
        for (std::size_t i = 0; i < readings.size(); ++i)
            for (std::size_t j = i + 1; j < readings.size(); ++j)
                if (digits(readings[i]) == longest && digits(readings[j]) == longest &&
                    agree(readings[i], readings[j]))
                    return readings[j];
        return std::nullopt;
    };
    std::optional<EConvertError> failure;
    for (int attempt = 1; attempt <= MostReadingTries; ++attempt) {
        exchange.SettleAndPurge();
        // The queries go at once: a reading after the first costs no converter's latency of its own.
        const std::size_t queries = expected ? 1 : std::max<std::size_t>(1, LeastReadings - readings.size());
        for (std::size_t q = 0; q < queries; ++q)
            exchange.WriteLine(PositionQueryLine());
        for (std::size_t q = 0; q < queries; ++q) {
            try {
                readings.push_back(ReadPosition(exchange, q > 0));
            } catch (const EConvertError& error) {
                if (exchange.Lost())
                    throw;
                failure = error;
                break;
            }
            if (expected && agree(readings.back(), *expected))
                return readings.back();
            if (const std::optional<std::int32_t> position = confirmed())
                return *position;
        }
    }
    if (expected && !readings.empty())
        throw EConvertError(
            QStringLiteral("The position read, %1, is not where the motor was left, %2: nothing "
                           "was moved")
                .arg(readings.back())
                .arg(*expected));
    if (readings.size() >= 2)
        throw EConvertError(QStringLiteral("The positions read do not agree, %1 and %2: nothing was moved")
                                .arg(readings[readings.size() - 2])
                                .arg(readings.back()));
    throw *failure;
}

void DropImpossibleJumps(std::vector<std::uint32_t>& samples, std::uint32_t start) {
    // No motor turns this far in half a millisecond: a record that lost a byte and kept the shape of one
    // reads its bytes a place off, which moves it by 65536 pulses or more.
    constexpr std::int64_t FarthestStep = 32768;
    std::int64_t previous = start;
    for (std::uint32_t& sample : samples) {
        if (!Arrived(sample))
            continue;
        if (std::llabs(std::int64_t(sample) - previous) > FarthestStep)
            sample = MissingSample;
        else
            previous = sample;
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
    DropImpossibleJumps(record.Samples, record.StartPosition);
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
