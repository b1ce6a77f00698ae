// What a tuning round costs beyond the drive's own work: a sweep of KP over 10 values, 250 ms tests,
// the motor returned between them, against the simulated drive at 115200 bit/s on the real clock, on
// a direct line and behind a converter of 16 ms. The drive's log of the lines it takes up gives each
// round's span (from its first settings line to the next round's), its recording, and its return
// move: from the drive taking the rapid move to the first position query that finds the motor within
// a hundredth of the amplitude of the start. Printed: a round's time beyond its recording and its
// return move, mean and most (target at most 150 ms).

#include "drive/tuningrunner.h"
#include "sim/drivesim.h"
#include "simport/simulatedports.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int Latencies[] = {0, 16};
constexpr int Amplitude = 200;
constexpr double RecordingMs = 250;

struct TLine {
    double Ms;
    std::string Text;
    std::int32_t Position;
};

struct TBeyond {
    double MeanMs = 0;
    double MostMs = 0;
};
TBeyond Beyond[2];

// Each round's time beyond its recording and return move, from the drive's log.
std::vector<double> BeyondEachRound(const std::vector<TLine>& log, std::int32_t start) {
    std::vector<double> beyond;
    const auto from = [&](std::size_t i, const char* prefix) {
        while (i < log.size() && log[i].Text.rfind(prefix, 0) != 0)
            ++i;
        return i;
    };
    // A round begins with the settings write, whose first line is KV's; so does the restore at the end.
    for (std::size_t round = from(0, "P1 "); round < log.size();) {
        const std::size_t move = from(round, "G0 ");
        std::size_t back = from(move, "L");
        while (back < log.size() && 100 * std::abs(log[back].Position - start) > Amplitude)
            back = from(back + 1, "L");
        const std::size_t next = from(back, "P1 ");
        if (next >= log.size())
            break;
        beyond.push_back(log[next].Ms - log[round].Ms - RecordingMs - (log[back].Ms - log[move].Ms));
        round = next;
    }
    return beyond;
}

void KpSweepAgainstSimulatedDrive(benchmark::State& state) {
    const int latency = Latencies[state.range(0)];
    qputenv("ZQLINK_PORTS", "sim:latency=" + QByteArray::number(latency));
    TSimulatedPorts simulated;
    TDeviceSlot slot(0, MachinePorts({simulated.Kind()}));
    if (!slot.Open()) {
        state.SkipWithError("DEV0 did not open");
        return;
    }
    std::vector<TLine> log;
    simulated.Drive(0).SetTrace([&](std::int64_t ns, const std::string& line, std::int32_t position) {
        log.push_back({double(ns) / 1e6, line, position});
    });
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);
    for (auto _ : state) {
        TTuningPlan plan;
        plan.From = 1.5;
        plan.To = 6;
        plan.Steps = 10;
        plan.Amplitude = TFigure(QString::number(Amplitude));
        plan.Time = TFigure(QString::number(RecordingMs));
        TTuningRunner runner(model, plan);
        QEventLoop loop;
        QObject::connect(&runner, &TTuningRunner::Finished, &loop, &QEventLoop::quit);
        log.clear();
        runner.Start();
        loop.exec();
        // The restore's lines reach the drive as the poll brings the link up to date.
        QTimer::singleShot(3 * TDeviceSlot::KPollIntervalMs, &loop, &QEventLoop::quit);
        loop.exec();
        const std::vector<double> beyond = BeyondEachRound(log, std::int32_t(TDriveSim::KStartPosition));
        if (beyond.size() != 10) {
            state.SkipWithError("the drive's log does not show ten rounds");
            return;
        }
        TBeyond& b = Beyond[state.range(0)];
        for (const double ms : beyond)
            b.MeanMs += ms / double(beyond.size());
        b.MostMs = *std::max_element(beyond.begin(), beyond.end());
        state.counters["beyond_mean_ms"] = b.MeanMs;
        state.counters["beyond_most_ms"] = b.MostMs;
    }
    simulated.Drive(0).SetTrace({});
}

} // namespace

BENCHMARK(KpSweepAgainstSimulatedDrive)
    ->ArgName("latency")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (std::size_t i = 0; i < std::size(Latencies); ++i)
        std::printf(
            "a KP sweep of 10 tests of 250 ms, returning between them, converter latency %d ms: a round "
            "takes %.0f ms beyond its recording and return move, at most %.0f (target at most 150)\n",
            Latencies[i], Beyond[i].MeanMs, Beyond[i].MostMs);
    return 0;
}
