// Wall time of one whole step test (250 ms, 500 samples) at 115200 bit/s against the simulated drive
// on the real clock, through an opened device slot with the default port settings: as a multiple of
// the time the test cannot go below (the measurement itself plus the time on the wire of its lines,
// the position replies and the sample block), and as the time it takes beyond its own recording,
// directly and behind a converter of 16 ms.

#include "device/portsettings.h"
#include "drive/commandlines.h"
#include "drive/drivemodel.h"
#include "drive/steptest.h"
#include "link/deviceslot.h"
#include "simport/simulatedports.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

namespace {

constexpr double MeasurementSeconds = 0.25;
constexpr int Latencies[] = {0, 16};

// The simulated drive behind a converter of the latency given, as the slot of DEV0.
struct TSimulatedDevice {
    explicit TSimulatedDevice(int latencyMs)
        : Environment(qputenv("ZQLINK_PORTS", "sim:latency=" + QByteArray::number(latencyMs))),
          Slot(0, MachinePorts({Simulated.Kind()})) {}
    bool Environment;
    TSimulatedPorts Simulated;
    TDeviceSlot Slot;
};

double Ratio[std::size(Latencies)] = {};
double Beyond[std::size(Latencies)] = {};
std::size_t Received = 0;

void StepTestAgainstSimulatedDrive(benchmark::State& state) {
    const auto at = std::size_t(state.range(0));
    TSimulatedDevice device(Latencies[at]);
    TDeviceSlot& slot = device.Slot;
    if (!slot.Open()) {
        state.SkipWithError("DEV0 did not open");
        return;
    }
    double wall = 0;
    double least = 0;
    int tests = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TStepMeasurement measurement;
        {
            const std::unique_ptr<TExchange> exchange =
                slot.BeginExchange(slot.Lease(TLeaseUse::Command).value());
            measurement =
                MeasureStep(*exchange, TFigure(QStringLiteral("200")), TFigure(QStringLiteral("250")));
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++tests;
        const TStepRecord& record = measurement.Record;
        const std::int32_t target = std::int32_t(record.StartPosition + record.Amplitude);
        // The position replies: six bytes, the digits, CR LF; read twice, with the second CR's echo between.
        const auto positionReply = 6 + QByteArray::number(record.StartPosition).size() + 2;
        const auto bytes = 2 * (PositionQueryLine().size() + positionReply) + 2 +
                           SetPointLine(record.SampleCount).size() + StepLine(target).size() +
                           4 * record.SampleCount + 10;
        least += MeasurementSeconds + double(bytes) * BitsPerByte / slot.Settings().BaudRate;
        Received = ReceivedCount(record);
    }
    Ratio[at] = wall / least;
    Beyond[at] = 1000 * (wall / tests - MeasurementSeconds);
    state.counters["wall_over_least"] = Ratio[at];
    state.counters["ms_beyond_recording"] = Beyond[at];
}

// A series of ten tests as the step page runs them, through the drive model: the first confirms its
// start without a witness, the others against where the test before left the motor, and each puts the
// set-point back to 0. Its wall time over the floor of ten recordings and their sample blocks' wire time.
double SeriesRatio[std::size(Latencies)] = {};

void SeriesOfTenThroughTheModel(benchmark::State& state) {
    constexpr int Tests = 10;
    const auto at = std::size_t(state.range(0));
    TSimulatedDevice device(Latencies[at]);
    TDeviceSlot& slot = device.Slot;
    if (!slot.Open()) {
        state.SkipWithError("DEV0 did not open");
        return;
    }
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);
    double wall = 0;
    int series = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < Tests; ++i)
            model.Tests().Run(TFigure(QStringLiteral("200")), TFigure(QStringLiteral("250")), false);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++series;
        // The next series starts without a witness, as after opening the device.
        model.ForgetWitness();
    }
    const double floor =
        Tests * (MeasurementSeconds + (4.0 * 500 + 10) * BitsPerByte / slot.Settings().BaudRate);
    SeriesRatio[at] = wall / series / floor;
    state.counters["series_over_floor"] = SeriesRatio[at];
}

} // namespace

BENCHMARK(SeriesOfTenThroughTheModel)
    ->ArgName("latency")
    ->DenseRange(0, 1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(StepTestAgainstSimulatedDrive)
    ->ArgName("latency")
    ->DenseRange(0, 1)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (std::size_t i = 0; i < std::size(Latencies); ++i)
        std::printf("latency %2d ms: a 250 ms step test at 115200 bit/s takes %.2fx its measurement and wire "
                    "time (target at most 1.2), %.1f ms beyond its recording; %zu of 500 samples received\n",
                    Latencies[i], Ratio[i], Beyond[i], Received);
    for (std::size_t i = 0; i < std::size(Latencies); ++i)
        std::printf("latency %2d ms: ten step tests through the model take %.3fx their recordings and sample "
                    "blocks' wire time\n",
                    Latencies[i], SeriesRatio[i]);
    return 0;
}
