// Throughput of the terminal's receive path, from bytes waiting in a device through the poll, the
// line discipline and the real text widget, as a multiple of the 921600 bit/s line rate, with an
// empty terminal and with one already holding a million lines.

#include "harness/fakeport.h"
#include "link/deviceslot.h"
#include "ui/devicewindow/devicewindow.h"

#include <QApplication>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <map>

namespace {

constexpr double LineRateBytesPerSecond = 921600.0 / 10.0; // ten bit times per byte
constexpr int TickBytes = 16 * 1024;
constexpr int PrefillLines = 1'000'000;

// Last figures of each case, for the summary: multiple of the line rate, and heap per stored line.
std::map<std::pair<bool, bool>, double> Rates;
double BytesPerLine = 0;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// What a drive sends: echoed command lines and short replies, or full 80-column lines.
QByteArray Traffic(bool fullLines, int size) {
    QByteArray bytes;
    for (int n = 0; bytes.size() < size; ++n) {
        if (fullLines)
            bytes += QByteArray(80, char('A' + n % 26));
        else
            bytes += "P3\r\n" + QByteArray::number(1000 + n % 9000) +
                     ":\r\nX=" + QByteArray::number(100000 + n) + "\r\n";
    }
    bytes.truncate(size);
    return bytes;
}

void Poll(TFakeDevice& device, TDeviceSlot& slot, const QByteArray& bytes) {
    device.Received = bytes;
    slot.Poll();
    device.ClearCalls();
}

void ReceivePath(benchmark::State& state) {
    const bool full = state.range(0) != 0;
    const bool fullLines = state.range(1) != 0;
    TFakeDeviceLibrary fake;
    TFakeDevice& device = fake.Device(0);
    TDeviceSlot slot(0, fake.Ports());
    slot.Open();
    TDriveModel model(slot);
    auto window = std::make_unique<TDeviceWindow>(model);
    window->resize(780, 580);
    window->show();
    QCoreApplication::processEvents();

    if (full) {
        const std::size_t before = HeapInUse();
        const QByteArray chunk = QByteArray("X=123456\r\n").repeated(6400);
        for (int lines = 0; lines < PrefillLines; lines += 6400)
            Poll(device, slot, chunk);
        QCoreApplication::processEvents();
        BytesPerLine = double(HeapInUse() - before) / PrefillLines;
        state.counters["heap_bytes_per_line"] = BytesPerLine;
    }

    const QByteArray tick = Traffic(fullLines, TickBytes);
    const double start = ThreadCpuSeconds();
    for (auto _ : state) {
        Poll(device, slot, tick);
        // The repaint that the event loop does between two ticks.
        QCoreApplication::processEvents();
    }
    const double seconds = ThreadCpuSeconds() - start;
    const double rate = double(state.iterations()) * TickBytes / LineRateBytesPerSecond / seconds;
    state.counters["times_line_rate"] = rate;
    Rates[{full, fullLines}] = rate;
    window.reset();
}

} // namespace

BENCHMARK(ReceivePath)
    ->ArgNames({"full", "80col"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (bool fullLines : {false, true}) {
        const auto empty = Rates.find({false, fullLines});
        const auto full = Rates.find({true, fullLines});
        if (empty == Rates.end() || full == Rates.end())
            continue;
        std::printf(
            "%s lines: %.1fx line rate empty, %.1fx with %d lines stored; full terminal %.2fx slower\n",
            fullLines ? "80-column" : "short", empty->second, full->second, PrefillLines,
            empty->second / full->second);
    }
    if (BytesPerLine > 0)
        std::printf("heap per stored line of 8 characters: %.0f bytes\n", BytesPerLine);
    return 0;
}
