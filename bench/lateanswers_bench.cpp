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

#include "harness/checkedsweep.h"

#include <QCoreApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

struct TCase {
    int Latency;
    double Drop;
};
constexpr TCase Cases[] = {{2, 0}, {8, 0}, {16, 0}, {2, 0.05}, {16, 0.05}};
constexpr int FirstLossy = 3;
constexpr int MostAnswerMs = 8;

int Runs() {
    const char* runs = std::getenv("KELMOR_RUNS");
    return runs && *runs ? std::max(1, std::atoi(runs)) : 100;
}

TSweepFigures Figures[std::size(Cases)];

// One sweep of 12 rounds, 50-pulse steps of 20 ms.
void Sweep(TSweepFigures& f, const TCase& c, int answerMs, int seed, TSimulatedPorts& simulated) {
    TSweepSetup setup;
    setup.Plant = QStringLiteral("latency=%1,answer=%2").arg(c.Latency).arg(answerMs);
    if (c.Drop > 0)
        setup.Plant += QStringLiteral(",drop=%1,seed=%2").arg(c.Drop).arg(seed);
    RunCheckedSweep(simulated, setup, f);
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
    state.counters["not_from_motor"] = Figures[at].WrongTargets;
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
        const TSweepFigures& f = Figures[i];
        // Only the cases the filter ran.
        if (f.Runs == 0)
            continue;
        std::printf("converter latency %2d ms, answers 0 to %d ms late, %2.0f %% of the drive's bytes lost: "
                    "%d runs of a 12-round sweep, %d tests: %d misread positions, %d steps not from the "
                    "motor's position (targets 0), %d of %d registers recorded as known that the drive "
                    "does not hold, %d registers not given back, %d runs ended early%s\n",
                    Cases[i].Latency, MostAnswerMs, 100 * Cases[i].Drop, f.Runs, f.Tests, f.Misread,
                    f.WrongTargets, f.KnownWrong, f.KnownChecked, f.NotAsBefore, f.Failed,
                    f.ReasonsText(3).c_str());
    }
    return 0;
}
