// Time to plot one step test onto the page's 560 × 372 backing image at an amplitude of ten million
// pulses, as a multiple of the time at the default 200 pulses, with the default 500 samples. The
// commanded edge must not cost one dot per pulse.
//
// And the time to redraw the plot from 20 stored tests of 500 samples, in milliseconds (a frame is
// 16 ms) and as a multiple of the time of one test (at most 20): the page redraws from the records on
// every change of the history or the ticks.

#include "plot/paintercanvas.h"
#include "plot/stepplot.h"

#include <QGuiApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace {

constexpr int Width = 560;
constexpr int Height = 372;
constexpr int SampleCount = 500;
constexpr TColor Face = ColorFromRgb(240, 240, 240);

std::map<std::int64_t, double> SecondsPerPlot;
std::map<std::int64_t, double> SecondsPerRedraw;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// A damped answer that overshoots by about a fifth, the same shape at every amplitude.
std::vector<std::uint32_t> Response(std::uint32_t amplitude) {
    std::vector<std::uint32_t> relative;
    for (int i = 0; i < SampleCount; ++i) {
        const double t = i / 40.0;
        relative.push_back(std::uint32_t(amplitude * (1 - std::exp(-t) * std::cos(2 * t))));
    }
    return relative;
}

void PlotStepTest(benchmark::State& state) {
    const auto amplitude = std::uint32_t(state.range(0));
    const std::vector<std::uint32_t> relative = Response(amplitude);
    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(Qt::white);
    const double start = ThreadCpuSeconds();
    for (auto _ : state) {
        TPainterCanvas canvas(image, Face);
        DrawStepTest(canvas, Width, Height, amplitude, SampleCount, relative);
    }
    SecondsPerPlot[state.range(0)] = (ThreadCpuSeconds() - start) / double(state.iterations());
}

// What the page does to redraw: fill the image, then draw every ticked test, each with its own gain.
void RedrawStoredTests(benchmark::State& state) {
    const auto count = int(state.range(0));
    std::vector<TPlottedTest> tests;
    for (int i = 0; i < count; ++i) {
        std::vector<std::uint32_t> relative;
        for (int k = 0; k < SampleCount; ++k) {
            const double t = k / (30.0 + i);
            relative.push_back(std::uint32_t(200 * (1 - std::exp(-t) * std::cos(2 * t))));
        }
        tests.push_back({200, SampleCount, relative, TestColor(i, count), QString("%1: KP 3,0").arg(i)});
    }
    QImage image(Width, Height, QImage::Format_RGB32);
    const double start = ThreadCpuSeconds();
    for (auto _ : state) {
        image.fill(QColor(240, 240, 240));
        TPainterCanvas canvas(image, Face);
        DrawStepTests(canvas, Width, Height, tests);
    }
    SecondsPerRedraw[count] = (ThreadCpuSeconds() - start) / double(state.iterations());
}

} // namespace

BENCHMARK(PlotStepTest)->ArgName("amplitude")->Arg(200)->Arg(10'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(RedrawStoredTests)->ArgName("tests")->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (SecondsPerPlot.size() == 2)
        std::printf(
            "plot at amplitude 10^7 takes %.2fx the time of one at amplitude 200 (target at most 2)\n",
            SecondsPerPlot[10'000'000] / SecondsPerPlot[200]);
    if (SecondsPerRedraw.size() == 2)
        std::printf(
            "redraw of 20 tests takes %.2f ms (target at most 16), %.2fx the time of one test (target at "
            "most 20)\n",
            SecondsPerRedraw[20] * 1e3, SecondsPerRedraw[20] / SecondsPerRedraw[1]);
    return 0;
}
