// Tuning sweeps on lines that lose bytes, short enough to run in minutes: the simulated drive behind
// converters of 2 and 16 ms at 115200 bit/s on the real clock, one in 20 of its bytes lost on the line
// (a seed of its own for every run), and the same with a converter that also loses bytes in a pattern
// that repeats: by default the fifth byte after an empty line, so that every position reply,
// "\r\n100000\r\n", reads 10000, however often it is asked. Each run is a 12-round sweep of KP with
// 200-pulse steps, 4 ms recordings and a read time-out of 40 ms, checked against the drive
// (harness/checkedsweep.h). Printed for each case: the step tests the drive took, those whose target
// was not where its motor stood plus the amplitude, the registers Kelmor knew wrongly, the registers
// that after the run's restore are not what the drive held before it, the most position queries
// between two steps, and the longest test's wall time.
// KELMOR_TESTS sets the step tests of each lossy case (500 by default, a fifth of that with the
// pattern; a case stops after twice the runs they take), KELMOR_PATTERN the pattern's plant
// parameters, KELMOR_TIMEOUT_MS the read time-out.

#include "harness/checkedsweep.h"

#include <QCoreApplication>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

struct TCase {
    int Latency;
    bool Pattern;
};
constexpr TCase Cases[] = {{2, false}, {16, false}, {2, true}, {16, true}};
constexpr int FirstPattern = 2;
constexpr int Rounds = 12;
constexpr int TimeMs = 4;
// The return move ends within a hundredth of it: two pulses, which a motor at rest reaches.
constexpr std::int32_t Amplitude = 200;

int Tests() {
    const char* tests = std::getenv("KELMOR_TESTS");
    return tests && *tests ? std::max(1, std::atoi(tests)) : 500;
}

// The port's read time-out, ms.
int ReadTimeoutMs() {
    const char* timeout = std::getenv("KELMOR_TIMEOUT_MS");
    return timeout && *timeout ? std::max(1, std::atoi(timeout)) : 40;
}

QString Pattern() {
    const char* pattern = std::getenv("KELMOR_PATTERN");
    return pattern && *pattern ? QString::fromLatin1(pattern) : QStringLiteral("dropafter=5,dropends=2");
}

TSweepFigures Figures[std::size(Cases)];

// A run stuck inside one exchange holds the event loop, and the sweep's own watchdog with it: the
// program ends all the same.
void EndWithin(std::chrono::seconds most) {
    std::thread([most] {
        std::this_thread::sleep_for(most);
        std::fprintf(stderr, "lossyline_bench did not end within %lld s: stopped\n", (long long)most.count());
        std::_Exit(2);
    }).detach();
}

void Sweeps(benchmark::State& state) {
    const auto at = std::size_t(state.range(0));
    TSweepFigures& f = Figures[at];
    TSweepSetup setup;
    setup.Rounds = Rounds;
    setup.Amplitude = Amplitude;
    setup.TimeMs = TimeMs;
    setup.ReadTimeoutMs = ReadTimeoutMs();
    // The drive answers at once: what was given back has reached it when the run ends.
    setup.SettleMs = 20;
    // A pattern that ends every run at its first test makes each test cost a whole run: a fifth as many.
    const int tests = Cases[at].Pattern ? std::max(1, Tests() / 5) : Tests();
    const int mostRuns = 2 * (tests + Rounds - 1) / Rounds;
    for (auto _ : state) {
        TSimulatedPorts simulated;
        for (int run = 0; f.Steps < tests && run < mostRuns; ++run) {
            setup.Plant = QStringLiteral("latency=%1,drop=0.05,seed=%2")
                              .arg(Cases[at].Latency)
                              .arg(100000 * at + run + 1);
            if (Cases[at].Pattern)
                setup.Plant += ',' + Pattern();
            RunCheckedSweep(simulated, setup, f);
        }
    }
    state.counters["step_tests"] = f.Steps;
    state.counters["wrong_targets"] = f.WrongTargets;
    state.counters["known_wrong"] = f.KnownWrong;
    state.counters["not_as_before"] = f.NotAsBefore;
    state.counters["failed_runs"] = f.Failed;
}

void SweepsOnALossyLine(benchmark::State& state) {
    Sweeps(state);
}
void SweepsOnALineThatLosesInAPattern(benchmark::State& state) {
    Sweeps(state);
}

void Print(const TCase& c, const TSweepFigures& f) {
    const std::string pattern = c.Pattern ? " and " + Pattern().toStdString() : std::string();
    std::printf("latency %2d ms, drop=0.05%s: %d runs, %d step tests (%d recorded): %d wrong targets, %d of "
                "%d registers known wrongly, %d registers after the restore not what the drive held before "
                "the run (%d restores failed), at most %d position queries between two steps, the longest "
                "test %.2f s (%.0f read time-outs), %d runs ended early%s\n",
                c.Latency, pattern.c_str(), f.Runs, f.Steps, f.Tests, f.WrongTargets, f.KnownWrong,
                f.KnownChecked, f.NotAsBefore, f.RestoresFailed, f.MostQueries, f.LongestTestS,
                1000 * f.LongestTestS / ReadTimeoutMs(), f.Failed, f.ReasonsText(3).c_str());
}

} // namespace

BENCHMARK(SweepsOnALossyLine)
    ->ArgName("case")
    ->DenseRange(0, FirstPattern - 1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(SweepsOnALineThatLosesInAPattern)
    ->ArgName("case")
    ->DenseRange(FirstPattern, int(std::size(Cases)) - 1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // Three times what a test takes on a line that loses one byte in 20, for every case's tests.
    EndWithin(std::chrono::seconds(3 * (2 * Tests() + 2 * Tests() / 5) + 600));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (std::size_t i = 0; i < std::size(Cases); ++i)
        // Only the cases the filter ran.
        if (Figures[i].Runs > 0)
            Print(Cases[i], Figures[i]);
    return 0;
}
