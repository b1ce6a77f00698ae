// Wall time of a tuning sweep of KP over 10 values, 250 ms tests, the motor returned between them,
// against the simulated drive at 115200 bit/s on the real clock, as a multiple of the work of its
// rounds: each round's settings write on the wire, its measurement, its sample block on the wire, and
// the return move as the drive's trapezoid performs it (target at most 1.2).

#include "device/portsettings.h"
#include "device/simport.h"
#include "drive/commandlines.h"
#include "drive/tuningrunner.h"
#include "sim/drivesim.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

constexpr double BitsPerByte = 10;

double Ratio = 0;

// How long the drive's trapezoid takes over a distance, at its speed and acceleration in pulses.
double MoveSeconds(double distance, double speed, double acceleration) {
    const double rampDistance = speed * speed / acceleration;
    if (distance <= rampDistance)
        return 2 * std::sqrt(distance / acceleration);
    return 2 * speed / acceleration + (distance - rampDistance) / speed;
}

void KpSweepAgainstSimulatedDrive(benchmark::State& state) {
    TDeviceSlot slot(0);
    if (!slot.Open()) {
        state.SkipWithError("DEV0 did not open");
        return;
    }
    TDriveModel model(slot);
    const double byteSeconds = BitsPerByte / slot.Settings().BaudRate;
    for (auto _ : state) {
        TTuningPlan plan;
        plan.From = 1.5;
        plan.To = 6;
        plan.Steps = 10;
        plan.AmplitudeText = "200";
        plan.TimeText = "250";
        TTuningRunner runner(model, plan);
        QEventLoop loop;
        QObject::connect(&runner, &TTuningRunner::Finished, &loop, &QEventLoop::quit);
        const auto start = std::chrono::steady_clock::now();
        runner.Start();
        loop.exec();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        const TDriveSim& drive = SimulatedDrive(0);
        const double speed = drive.Register(7) * TServoModel::KPulsesPerSecondPerSpeedUnit;
        const double acceleration = drive.Register(8) * TServoModel::KPulsesPerSecond2PerAccelUnit;
        double work = 0;
        const std::vector<TTuningRound>& rounds = runner.Rounds();
        for (std::size_t i = 0; i < rounds.size(); ++i) {
            const TTestRecord& test = *model.Tests().Find(rounds[i].TestNumber);
            // The round's settings write: its nine register lines.
            qsizetype written = 0;
            for (const TRegisterRow& row : RegisterTable)
                written +=
                    RegisterWriteLine(row.Register, rounds[i].Registers[std::size_t(row.Register)]).size();
            work += double(written + 4 * test.Step.SampleCount + 10) * byteSeconds + test.TimeMs() / 1000.0;
            if (i + 1 < rounds.size()) {
                const std::uint32_t end = test.Step.Samples.back();
                work += MoveSeconds(std::abs(double(end) - test.Step.StartPosition), speed, acceleration);
            }
        }
        Ratio = wall / work;
        state.SetIterationTime(wall);
    }
    state.counters["wall_over_work"] = Ratio;
}

} // namespace

BENCHMARK(KpSweepAgainstSimulatedDrive)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("ZQLINK_PORTS", "sim");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf(
        "a KP sweep of 10 tests of 250 ms, returning between them, takes %.2fx the work of its rounds "
        "(target at most 1.2)\n",
        Ratio);
    return 0;
}
