// Wall time of one whole step test (250 ms, 500 samples) at 115200 bit/s against the simulated drive
// on the real clock, through an opened device slot with the default port settings, as a multiple of
// the time the test cannot go below: the measurement itself plus the time on the wire of its lines,
// the position reply and the sample block.

#include "device/portsettings.h"
#include "drive/commandlines.h"
#include "drive/steptest.h"
#include "link/deviceslot.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

namespace {

constexpr double BitsPerByte = 10;
constexpr double MeasurementSeconds = 0.25;

double Ratio = 0;
std::size_t Received = 0;

void StepTestAgainstSimulatedDrive(benchmark::State& state) {
    TDeviceSlot slot(0);
    if (!slot.Open()) {
        state.SkipWithError("DEV0 did not open");
        return;
    }
    double wall = 0;
    double least = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TStepMeasurement measurement;
        {
            const std::unique_ptr<TExchange> exchange = slot.BeginExchange();
            measurement = MeasureStep(*exchange, TTypedNumber(QStringLiteral("200")),
                                      TTypedNumber(QStringLiteral("250")));
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const TStepRecord& record = measurement.Record;
        const std::int32_t target = std::int32_t(record.StartPosition + record.Amplitude);
        // The position reply: six bytes, the digits, CR LF.
        const auto positionReply = 6 + QByteArray::number(record.StartPosition).size() + 2;
        const auto bytes = PositionQueryLine().size() + SetPointLine(record.SampleCount).size() +
                           StepLine(target).size() + positionReply + 4 * record.SampleCount + 10;
        least += MeasurementSeconds + double(bytes) * BitsPerByte / slot.Settings().BaudRate;
        Received = ReceivedCount(record);
    }
    Ratio = wall / least;
    state.counters["wall_over_least"] = Ratio;
}

} // namespace

BENCHMARK(StepTestAgainstSimulatedDrive)->Iterations(10)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("ZQLINK_PORTS", "sim");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("a 250 ms step test at 115200 bit/s takes %.2fx its measurement and wire time (target at "
                "most 1.2); %zu of 500 samples received\n",
                Ratio, Received);
    return 0;
}
