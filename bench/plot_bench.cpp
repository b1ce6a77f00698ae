// Time to plot one step test onto the page's 560 × 372 backing image at an amplitude of ten million
// pulses, as a multiple of the time at the default 200 pulses, with the default 500 samples. The
// commanded edge must not cost one dot per pulse.

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

} // namespace

BENCHMARK(PlotStepTest)->ArgName("amplitude")->Arg(200)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

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
    return 0;
}
