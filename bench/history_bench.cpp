// A session's history at its largest: 1000 step tests of 500 samples, as a tuning run leaves them,
// each under its own settings (one gain changed from the test before). Prints the heap the records
// take (target at most 2.5 MB) and the time to save them to a session file and load it again
// (target at most 1 s), and times both steps.

#include "drive/stepfiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <malloc.h>
#include <memory>

namespace {

constexpr int TestCount = 1000;
constexpr int SampleCount = 500;

std::size_t HeapInUse() {
    return mallinfo2().uordblks;
}

// The history as the model builds it: a test appended after each run.
std::vector<TTestRecord> History() {
    std::vector<TTestRecord> tests;
    TRegisterValues registers = {213, 1024, 768, 0, 102, 384, 294, 12820, 64};
    for (int n = 1; n <= TestCount; ++n) {
        registers[2] = 256 + 256 * n / 100;
        TKnownSettings known = TKnownSettings::All(registers);
        known.At = QDateTime::currentDateTime();
        TStepRecord step{200, 100000, SampleCount, {}};
        for (int i = 0; i < SampleCount; ++i) {
            const double t = i / (30.0 + n % 20);
            step.Samples.push_back(100000 + std::uint32_t(200 * (1 - std::exp(-t) * std::cos(2 * t))));
        }
        tests.push_back(MakeTestRecord(n, QDateTime::currentDateTime(), std::move(step),
                                       std::make_shared<const TKnownSettings>(std::move(known))));
    }
    return tests;
}

std::vector<TTestRecord> Tests;
QString SessionPath;

void SaveSession(benchmark::State& state) {
    for (auto _ : state)
        SaveSessionFile(
            SessionPath, Tests, [](int) { return true; }, DefaultMotorData());
}

void LoadSession(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadSessionFile(SessionPath));
}

} // namespace

BENCHMARK(SaveSession)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadSession)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SessionPath = dir.filePath("history.kses");

    const std::size_t before = HeapInUse();
    Tests = History();
    const double megabytes = double(HeapInUse() - before) / 1e6;

    QElapsedTimer timer;
    timer.start();
    SaveSessionFile(
        SessionPath, Tests, [](int) { return true; }, DefaultMotorData());
    const std::size_t loaded = LoadSessionFile(SessionPath).size();
    const double seconds = double(timer.nsecsElapsed()) * 1e-9;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("%d tests of %d samples take %.2f MB of heap (target at most 2.5)\n", TestCount, SampleCount,
                megabytes);
    std::printf(
        "saving them to a session file and loading its %zu tests again takes %.2f s (target at most 1)\n",
        loaded, seconds);
    return 0;
}
