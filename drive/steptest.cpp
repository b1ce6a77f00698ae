#include "drive/steptest.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/readingvote.h"
#include "drive/replyreaders.h"
#include "drive/samplerecords.h"
#include "link/exchange.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

TStepEntries ParseStepEntries(const TFigure& amplitudeEntry, const TFigure& timeEntry) {
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

namespace {

// Where a witness and the drive disagree, what the drive kept saying.
[[noreturn]] void ThrowNotWhereLeft(std::int32_t witness, const TReadingVote& readings) {
    throw EKelmorError(QStringLiteral("The motor is not where the last test left it: its records left it at "
                                      "%1, the drive says %2: nothing was moved")
                           .arg(witness)
                           .arg(readings.Shown()));
}

} // namespace

std::int32_t ConfirmedPosition(TExchange& exchange, std::int32_t tolerance,
                               std::optional<std::int32_t> witness) {
    // Without a witness, the readings weighed; with one, those that disagree with it.
    TReadingVote readings(tolerance, !witness);
    int written = 0;
    std::optional<EConvertError> failure;
    // However the line fails, a confirmation ends: by its queries, and by its time should a drive trickle.
    const TExchange::Clock::time_point latest =
        TExchange::Clock::now() + MostConfirmingQueries * exchange.ReadTimeout();
    while (written < MostConfirmingQueries && (written == 0 || TExchange::Clock::now() < latest)) {
        exchange.SettleAndPurge();
        // The queries go at once: a reading after the first costs no converter's latency of its own.
        const int queries = std::min(witness ? 1 : readings.Missing(), MostConfirmingQueries - written);
        for (int q = 0; q < queries; ++q)
            exchange.WriteLine(PositionQueryLine());
        written += queries;
        std::vector<TPositionReading> batch;
        try {
            batch = witness ? std::vector<TPositionReading>{{ReadPosition(exchange), false}}
                            : ReadPositions(exchange, queries);
        } catch (const EConvertError& error) {
            if (exchange.Lost())
                throw;
            // What the drive said first tells most of why.
            if (!failure)
                failure = error;
        }
        for (const auto& [reading, later] : batch) {
            if (witness && std::llabs(std::int64_t(reading) - *witness) <= tolerance)
                return reading;
            readings.Add(reading, later);
            if (witness && readings.Agreeing(reading) >= MostWitnessDisagreements)
                ThrowNotWhereLeft(*witness, readings);
            if (const std::optional<std::int64_t> position = readings.Confirmed(); position && !witness)
                return std::int32_t(*position);
        }
    }
    if (witness && !readings.Empty())
        ThrowNotWhereLeft(*witness, readings);
    if (!readings.Empty())
        throw EConvertError(
            QStringLiteral("The positions read do not agree: %1: nothing was moved").arg(readings.Shown()));
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

TStepMeasurement MeasureStep(TExchange& exchange, const TFigure& amplitudeEntry, const TFigure& timeEntry,
                             std::optional<std::int32_t> witness) {
    const auto [amplitude, timeMs] = ParseStepEntries(amplitudeEntry, timeEntry);
    const std::int32_t start =
        ConfirmedPosition(exchange, PositionTolerance(std::uint32_t(amplitude)), witness);

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
    // The drive holds the sample count as its set-point: a mode chosen later would drive the motor with it.
    measurement.SetPointZeroed = TryConfirmLine(exchange, SetPointLine(0));
    RequireStartWhereRead(record);
    return measurement;
}

std::optional<std::int32_t> RecordedEnd(const TStepRecord& record) {
    // A few samples, 1.5 ms: a motor still swinging through the target shows as one that is not there.
    constexpr int LastSamples = 3;
    const std::int64_t target = std::int64_t(record.StartPosition) + record.Amplitude;
    const std::int32_t tolerance = PositionTolerance(record.Amplitude);
    int seen = 0;
    std::optional<std::int32_t> last;
    for (auto it = record.Samples.rbegin(); it != record.Samples.rend() && seen < LastSamples; ++it) {
        if (!Arrived(*it))
            continue;
        if (std::llabs(std::int64_t(*it) - target) > tolerance)
            return std::nullopt;
        if (!last)
            last = std::int32_t(*it);
        ++seen;
    }
    return seen == LastSamples ? last : std::nullopt;
}

bool StartWitnessed(const TStepRecord& record) {
    // Within the first 4 ms the motor has not gone further than the step itself; a start misread by a
    // lost digit lies a whole decade off.
    constexpr std::size_t FirstSamples = 8;
    const std::int64_t reach = 2 * std::int64_t(record.Amplitude) + PositionTolerance(record.Amplitude);
    for (std::size_t i = 0; i < std::min(FirstSamples, record.Samples.size()); ++i)
        if (Arrived(record.Samples[i]))
            return std::llabs(std::int64_t(record.Samples[i]) - record.StartPosition) <= reach;
    return false;
}

std::optional<std::uint32_t> RecordedStart(const TStepRecord& record) {
    for (std::size_t i = 0; i < std::min<std::size_t>(2, record.Samples.size()); ++i)
        if (Arrived(record.Samples[i]))
            return record.Samples[i];
    return std::nullopt;
}

void RequireStartWhereRead(const TStepRecord& record) {
    // Half a millisecond after the step the motor has barely moved; a pulse or two of an encoder's
    // jitter is no sign of a misread position.
    constexpr double LeastDistance = 2;
    const std::optional<std::uint32_t> recorded = RecordedStart(record);
    if (!recorded)
        return;
    const std::int64_t first = *recorded;
    const double distance = double(std::llabs(first - std::int64_t(record.StartPosition)));
    if (distance > std::max(record.Amplitude / 10.0, LeastDistance))
        throw EKelmorError(QStringLiteral("The motor was not where it was read: at %1, its first sample %2")
                               .arg(record.StartPosition)
                               .arg(first));
}
