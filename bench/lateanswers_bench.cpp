// Tuning sweeps against a drive whose answers come late: the simulated drive behind converters of 2,
// 8 and 16 ms latency, its firmware starting each answer 0 to 8 ms late (drawn anew for every run),
// at 115200 bit/s on the real clock. Each run is a sweep of KP over 12 values with the motor returned
// between the tests. The drive's log of the lines it takes up gives where the motor stood at each
// step, so every test is checked against it: a start position that is not where the motor stood is a
// misread, and a step whose target is not that position plus the amplitude is a step not from the
// motor's position (both targets 0). A run that ends early with a message counts as failed.
// KELMOR_RUNS sets the runs per latency (100 by default; about four minutes each).

#include "device/simport.h"
#include "drive/tuningrunner.h"
#include "sim/drivesim.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int Latencies[] = {2, 8, 16};
constexpr int MostAnswerMs = 8;
constexpr std::int32_t Amplitude = 50;
// A motor at rest may creep a pulse or two between the position query and the step.
constexpr std::int64_t Tolerance = 2;

int Runs() {
    const char* runs = std::getenv("KELMOR_RUNS");
    return runs && *runs ? std::max(1, std::atoi(runs)) : 100;
}

struct TFigures {
    int Runs = 0;
    int Tests = 0;
    int Misread = 0;
    int NotFromMotor = 0;
    int Failed = 0;
    std::string FirstFailure;
};
TFigures Figures[std::size(Latencies)];

struct TStep {
    std::int64_t Target;
    std::int64_t Position;
};

// One sweep; its steps as the drive took them, and its tests as Kelmor recorded them.
void Sweep(TFigures& f, int latency, int answerMs) {
    qputenv("ZQLINK_PORTS", QStringLiteral("sim:latency=%1,answer=%2").arg(latency).arg(answerMs).toLatin1());
    TDeviceSlot slot(0);
    if (!slot.Open()) {
        ++f.Failed;
        return;
    }
    std::vector<TStep> steps;
    SimulatedDrive(0).SetTrace([&](std::int64_t, const std::string& line, std::int32_t position) {
        if (line.rfind("J ", 0) == 0)
            steps.push_back({std::atoll(line.c_str() + 2), position});
    });
    TDriveModel model(slot);
    TTuningPlan plan;
    plan.From = 1;
    plan.To = 6;
    plan.Steps = 12;
    plan.Amplitude = TTypedNumber(QString::number(Amplitude));
    plan.Time = TTypedNumber(QStringLiteral("20"));
    // The exchanges are measured here, not the tuning: no test stops a run for its overshoot.
    plan.Criterion.OvershootLimit = 100;
    TTuningRunner runner(model, plan);
    QEventLoop loop;
    QString why;
    QObject::connect(&runner, &TTuningRunner::Finished, [&](const QString& w) {
        why = w;
        loop.quit();
    });
    try {
        runner.Start();
        loop.exec();
    } catch (const EKelmorError& error) {
        why = error.Message();
    }
    ++f.Runs;
    if (!why.isEmpty()) {
        ++f.Failed;
        if (f.FirstFailure.empty())
            f.FirstFailure = why.toStdString();
    }
    const std::vector<TTestRecord>& tests = model.Tests().All();
    for (std::size_t i = 0; i < tests.size() && i < steps.size(); ++i) {
        ++f.Tests;
        f.Misread += std::llabs(std::int64_t(tests[i].Step.StartPosition) - steps[i].Position) > Tolerance;
        f.NotFromMotor += std::llabs(steps[i].Target - steps[i].Position - Amplitude) > Tolerance;
    }
    // Steps the drive took that Kelmor did not record are not from a position it checked.
    if (steps.size() > tests.size())
        f.NotFromMotor += int(steps.size() - tests.size());
    SimulatedDrive(0).SetTrace({});
    slot.Close();
}

void SweepsWithLateAnswers(benchmark::State& state) {
    const std::size_t at = std::size_t(state.range(0));
    std::mt19937 draw(2026 + unsigned(at));
    std::uniform_int_distribution<int> answer(0, MostAnswerMs);
    for (auto _ : state) {
        ResetSimulatedDrives();
        for (int run = 0; run < Runs(); ++run)
            Sweep(Figures[at], Latencies[at], answer(draw));
    }
    state.counters["misread"] = Figures[at].Misread;
    state.counters["not_from_motor"] = Figures[at].NotFromMotor;
    state.counters["failed_runs"] = Figures[at].Failed;
}

} // namespace

BENCHMARK(SweepsWithLateAnswers)
    ->ArgName("latency")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (std::size_t i = 0; i < std::size(Latencies); ++i) {
        const TFigures& f = Figures[i];
        std::printf(
            "converter latency %2d ms, answers 0 to %d ms late: %d runs of a 12-round sweep, %d tests: "
            "%d misread positions, %d steps not from the motor's position (targets 0), %d runs "
            "ended early%s%s\n",
            Latencies[i], MostAnswerMs, f.Runs, f.Tests, f.Misread, f.NotFromMotor, f.Failed,
            f.FirstFailure.empty() ? "" : ", the first: ", f.FirstFailure.c_str());
    }
    return 0;
}
