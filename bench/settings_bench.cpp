// Wall time of the settings read-back "Czytaj", each register confirmed (six readings that agree where
// nothing is known of it, one where it is known), register dialogues read a byte at a time, at 115200 bit/s
// on the real clock, as a multiple of the least it can take: the time its bytes take on the wire (every byte
// written and read, ten bit times each) and, behind a converter, one latency of its timer for each register.
// Two drives, each on a direct line and behind a converter of 16 ms: the simulated backend in the program
// (DEV0), and kelmor-drive-sim pacing its output at 115200 bit/s on a pseudo-terminal through the serial
// backend (DEV1). The drive echoes each byte as it lands, so echo and query overlap and a perfect exchange
// comes out below 1.

#include "common/errors.h"
#include "common/numtext.h"
#include "device/portsettings.h"
#include "drive/controllersettings.h"
#include "link/deviceslot.h"
#include "simport/simulatedports.h"

#include <QCoreApplication>
#include <QProcess>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>

namespace {

constexpr std::uint32_t BitsPerSecond = 115200;

// Passes everything through to the slot's exchange and counts the bytes that cross the line.
class TCountingExchange final : public TExchange {
public:
    explicit TCountingExchange(TExchange& inner) : FInner(inner) {}

    void SettleAndPurge() override { FInner.SettleAndPurge(); }
    void Purge() override { FInner.Purge(); }
    void EchoSeen(std::uint32_t count) override { FInner.EchoSeen(count); }
    void ReplyComplete() override { FInner.ReplyComplete(); }
    void ReplyFailed() override { FInner.ReplyFailed(); }
    void AnswerCame() override { FInner.AnswerCame(); }
    QByteArray ReadUntilQuiet() override {
        const QByteArray bytes = FInner.ReadUntilQuiet();
        Bytes += bytes.size();
        return bytes;
    }
    void WriteLine(const QByteArray& line) override {
        Bytes += line.size();
        FInner.WriteLine(line);
    }
    std::optional<std::uint8_t> ReadByte() override {
        const std::optional<std::uint8_t> byte = FInner.ReadByte();
        Bytes += byte ? 1 : 0;
        return byte;
    }
    QByteArray Read(std::uint32_t count, Clock::time_point deadline) override {
        const QByteArray bytes = FInner.Read(count, deadline);
        Bytes += bytes.size();
        return bytes;
    }
    std::uint32_t Waiting() override { return FInner.Waiting(); }
    bool Lost() const override { return FInner.Lost(); }
    std::uint32_t BaudRate() const override { return FInner.BaudRate(); }
    std::chrono::milliseconds ReadTimeout() const override { return FInner.ReadTimeout(); }

    long long Bytes = 0;

private:
    TExchange& FInner;
};

constexpr int Registers = 9;
constexpr int Latencies[] = {0, 16};

// The figures of each drive, by latency and whether Kelmor knew the registers: 0 the simulated backend,
// 1 the program on the pseudo-terminal.
double TimesLeast[2][2][2] = {};
double BytesPerRead[2][2][2] = {};

void ReadFromDrive(benchmark::State& state) {
    const int index = int(state.range(0));
    const int latency = Latencies[state.range(1)];
    const QByteArray plant = "latency=" + QByteArray::number(latency);
    QProcess driveSim;
    qputenv("ZQLINK_PORTS", "sim:" + plant);
    if (index == 1) {
        driveSim.start(QStringLiteral(KELMOR_DRIVE_SIM),
                       {QStringLiteral("--baud"), QStringLiteral("115200"), QStringLiteral("--plant"),
                        QString::fromLatin1(plant)});
        if (!driveSim.waitForReadyRead(5000)) {
            state.SkipWithError("kelmor-drive-sim did not start");
            return;
        }
        qputenv("ZQLINK_PORTS", "sim," + driveSim.readLine().trimmed());
    }
    const TSimulatedPorts simulated;
    TDeviceSlot slot(index, MachinePorts({simulated.Kind()}));
    if (!slot.Open()) {
        state.SkipWithError("the drive did not open");
        return;
    }
    TPortSettings settings = slot.Settings();
    settings.BaudRate = BitsPerSecond;
    if (!slot.ApplyNewSettings(settings)) {
        state.SkipWithError("115200 bit/s could not be applied");
        return;
    }
    const TMotorData motor = DefaultMotorData();
    const TKnownRegisters known = state.range(2)
                                      ? AllKnown(TRegisterValues{213, 1024, 768, 0, 102, 384, 294, 12820, 64})
                                      : TKnownRegisters{};
    long long bytes = 0;
    std::chrono::steady_clock::duration wall{};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        try {
            const std::unique_ptr<TExchange> exchange =
                slot.BeginExchange(slot.Lease(TLeaseUse::Command).value());
            TCountingExchange counting(*exchange);
            // Each register confirmed: by six readings where nothing is known of it, as at the first
            // Czytaj, or by one that agrees with what is known, as after a read or a write.
            counting.SettleAndPurge();
            FillFromRegisters(ConfirmedRegisters(counting, known), motor,
                              [](TSettingRow, const QString& text) { benchmark::DoNotOptimize(text); });
            bytes += counting.Bytes;
        } catch (const EKelmorError& e) {
            state.SkipWithError(e.what());
            return;
        }
        wall += std::chrono::steady_clock::now() - start;
    }
    const double iterations = double(state.iterations());
    const double leastSeconds =
        double(bytes) * BitsPerByte / BitsPerSecond + iterations * Registers * latency / 1000.0;
    double& times = TimesLeast[index][state.range(1)][state.range(2)];
    times = std::chrono::duration<double>(wall).count() / leastSeconds;
    BytesPerRead[index][state.range(1)][state.range(2)] = double(bytes) / iterations;
    state.counters["times_least"] = times;
    state.counters["bytes"] = BytesPerRead[index][state.range(1)][state.range(2)];
    slot.Close();
    driveSim.terminate();
    driveSim.waitForFinished(5000);
}

} // namespace

BENCHMARK(ReadFromDrive)
    ->ArgNames({"pty", "latency", "known"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const char* drives[] = {"simulated backend", "kelmor-drive-sim on a pty"};
    for (int i = 0; i < 2; ++i)
        for (int l = 0; l < 2; ++l)
            for (int k = 0; k < 2; ++k)
                if (TimesLeast[i][l][k] > 0)
                    std::printf(
                        "Czytaj confirmed, registers %s, at 115200 bit/s, %s, converter latency %d ms: "
                        "%.0f bytes, %.2fx their time on the wire and a latency a register\n",
                        k ? "known" : "not known", drives[i], Latencies[l], BytesPerRead[i][l][k],
                        TimesLeast[i][l][k]);
    return 0;
}
