// Tuning sweeps against a drive whose answers come late: the simulated drive behind converters of 2,
// 8 and 16 ms latency, its firmware starting each answer 0 to 8 ms late (drawn anew for every run),
// at 115200 bit/s on the real clock. Each run is a sweep of KP over 12 values with the motor returned
// between the tests. The drive's log of the lines it takes up gives where the motor stood at each
// step, so every test is checked against it: a start position that is not where the motor stood is a
// misread, and a step whose target is not that position plus the amplitude is a step not from the
// motor's position (both targets 0). A run that ends early with a message counts as failed.
// Two more cases put the converters of 2 and 16 ms on a lossy line, one in 20 of the drive's bytes lost
// (a seed of its own for every run). After every round and at the run's end each register Kelmor
// records as known is compared with what the drive holds, and at the end what the drive holds with what
// it held before the run: they should agree.
// KELMOR_RUNS sets the runs per case (100 by default; about four minutes each).

#include "drive/tuningrunner.h"
#include "sim/drivesim.h"
#include "simport/simulatedports.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct TCase {
    int Latency;
    double Drop;
};
constexpr TCase Cases[] = {{2, 0}, {8, 0}, {16, 0}, {2, 0.05}, {16, 0.05}};
constexpr int FirstLossy = 3;
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
    int KnownChecked = 0;
    int KnownWrong = 0;
    int NotGivenBack = 0;
    int Failed = 0;
    // Why runs ended early, each reason once, with how often, in the order first seen.
    std::vector<std::pair<std::string, int>> Reasons;
};
TFigures Figures[std::size(Cases)];

struct TStep {
    std::int64_t Target;
    std::int64_t Position;
};

void NoteReason(TFigures& f, const std::string& why) {
    for (auto& [reason, count] : f.Reasons)
        if (reason == why) {
            ++count;
            return;
        }
    f.Reasons.push_back({why, 1});
}

// Known registers that the drive does not hold.
void CheckKnown(TFigures& f, const TKnownSettings& known, TSimulatedPorts& simulated) {
    for (std::size_t n = 0; n < known.Registers.size(); ++n) {
        if (!known.Registers[n])
            continue;
        ++f.KnownChecked;
        f.KnownWrong += *known.Registers[n] != simulated.Drive(0).Register(int(n));
    }
}

// One sweep; its steps as the drive took them, and its tests as Kelmor recorded them.
void Sweep(TFigures& f, const TCase& c, int answerMs, int seed, TSimulatedPorts& simulated) {
    QString plant = QStringLiteral("sim:latency=%1,answer=%2").arg(c.Latency).arg(answerMs);
    if (c.Drop > 0)
        plant += QStringLiteral(",drop=%1,seed=%2").arg(c.Drop).arg(seed);
    qputenv("ZQLINK_PORTS", plant.toLatin1());
    TDeviceSlot slot(0, MachinePorts({simulated.Kind()}));
    if (!slot.Open()) {
        ++f.Failed;
        return;
    }
    std::array<std::int32_t, TDriveSim::KRegisterCount> before;
    for (int n = 0; n < TDriveSim::KRegisterCount; ++n)
        before[std::size_t(n)] = simulated.Drive(0).Register(n);
    std::vector<TStep> steps;
    simulated.Drive(0).SetTrace([&](std::int64_t, const std::string& line, std::int32_t position) {
        if (line.rfind("J ", 0) == 0)
            steps.push_back({std::atoll(line.c_str() + 2), position});
    });
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);
    TTuningPlan plan;
    plan.From = 1;
    plan.To = 6;
    plan.Steps = 12;
    plan.Amplitude = TTypedNumber(QString::number(Amplitude));
    plan.Time = TTypedNumber(QStringLiteral("20"));
    // The exchanges are measured here, not the tuning: no test stops a run for its overshoot.
    plan.Criterion.OvershootLimit = 100;
    TTuningRunner runner(model, plan);
    // The round's registers went out ahead of its step, which the drive has taken: it holds them.
    QObject::connect(&runner, &TTuningRunner::RoundDone,
                     [&] { CheckKnown(f, *model.Parameters().Known(), simulated); });
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
        NoteReason(f, why.toStdString());
    }
    const std::vector<TTestRecord>& tests = model.Tests().All();
    // Every step the drive took is checked against where its motor stood, recorded or not (a test that
    // fails after its step, as on a record garbled on the line, joins no history); every test recorded
    // against the step it made.
    for (const TStep& step : steps)
        f.NotFromMotor += std::llabs(step.Target - step.Position - Amplitude) > Tolerance;
    for (const TTestRecord& test : tests) {
        ++f.Tests;
        const std::int64_t target = std::int64_t(test.Step.StartPosition) + Amplitude;
        const auto made =
            std::find_if(steps.begin(), steps.end(), [&](const TStep& s) { return s.Target == target; });
        f.Misread += made == steps.end() ||
                     std::llabs(std::int64_t(test.Step.StartPosition) - made->Position) > Tolerance;
    }
    simulated.Drive(0).SetTrace({});
    // The registers given back may still be on their way, each line held while the firmware answers
    // late; closing the port lets the drive take what has reached it by then.
    const TSettingsSnapshot known = model.Parameters().Known();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    slot.Close();
    CheckKnown(f, *known, simulated);
    for (int n = 0; n < TDriveSim::KRegisterCount; ++n)
        f.NotGivenBack += simulated.Drive(0).Register(n) != before[std::size_t(n)];
}

void Sweeps(benchmark::State& state) {
    const std::size_t at = std::size_t(state.range(0));
    std::mt19937 draw(2026 + unsigned(at));
    std::uniform_int_distribution<int> answer(0, MostAnswerMs);
    for (auto _ : state) {
        TSimulatedPorts simulated;
        for (int run = 0; run < Runs(); ++run)
            Sweep(Figures[at], Cases[at], answer(draw), run + 1, simulated);
    }
    state.counters["misread"] = Figures[at].Misread;
    state.counters["not_from_motor"] = Figures[at].NotFromMotor;
    state.counters["known_wrong"] = Figures[at].KnownWrong;
    state.counters["failed_runs"] = Figures[at].Failed;
}

void SweepsWithLateAnswers(benchmark::State& state) {
    Sweeps(state);
}
void SweepsOnALossyLine(benchmark::State& state) {
    Sweeps(state);
}

} // namespace

BENCHMARK(SweepsWithLateAnswers)
    ->ArgName("case")
    ->DenseRange(0, FirstLossy - 1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(SweepsOnALossyLine)
    ->ArgName("case")
    ->DenseRange(FirstLossy, int(std::size(Cases)) - 1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (std::size_t i = 0; i < std::size(Cases); ++i) {
        const TFigures& f = Figures[i];
        // Only the cases the filter ran.
        if (f.Runs == 0 && f.Failed == 0)
            continue;
        std::string reasons;
        for (std::size_t r = 0; r < f.Reasons.size() && r < 3; ++r)
            reasons += (r == 0 ? ": " : "; ") + std::to_string(f.Reasons[r].second) + "x \"" +
                       f.Reasons[r].first + '"';
        if (f.Reasons.size() > 3)
            reasons += "; " + std::to_string(f.Reasons.size() - 3) + " other reasons";
        std::printf("converter latency %2d ms, answers 0 to %d ms late, %2.0f %% of the drive's bytes lost: "
                    "%d runs of a 12-round sweep, %d tests: %d misread positions, %d steps not from the "
                    "motor's position (targets 0), %d of %d registers recorded as known that the drive "
                    "does not hold, %d registers not given back, %d runs ended early%s\n",
                    Cases[i].Latency, MostAnswerMs, 100 * Cases[i].Drop, f.Runs, f.Tests, f.Misread,
                    f.NotFromMotor, f.KnownWrong, f.KnownChecked, f.NotGivenBack, f.Failed, reasons.c_str());
    }
    return 0;
}
