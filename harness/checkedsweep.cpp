#include "harness/checkedsweep.h"

#include "common/errors.h"
#include "drive/registertable.h"
#include "drive/tuningrunner.h"
#include "link/deviceslot.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <thread>

// The simulated drive holds the registers the table describes.
static_assert(TDriveSim::KRegisterCount == RegisterCount);

namespace {

// A motor at rest may creep a pulse or two between the position query and the step.
constexpr std::int64_t Tolerance = 2;
// A run stopped by the watchdog ends at its next step; this long after, the loop gives up on it.
constexpr int GraceMs = 30'000;

// What the drive's log shows of one run.
struct TRunLog {
    struct TStep {
        std::int64_t Target;
        std::int64_t Position;
    };
    std::vector<TStep> Steps;
    int MostQueries = 0;
    int QueriesSinceStep = 0;

    void Take(const std::string& line, std::int32_t position) {
        if (line.starts_with("J ")) {
            // Only between two steps: what comes before the first belongs to the run's start.
            if (!Steps.empty())
                MostQueries = std::max(MostQueries, QueriesSinceStep);
            Steps.push_back({std::atoll(line.c_str() + 2), position});
            QueriesSinceStep = 0;
        } else if (line.starts_with('L')) {
            ++QueriesSinceStep;
        }
    }
};

void NoteReason(TSweepFigures& f, const std::string& message) {
    // What a message says before the values it names: one reason whatever was read.
    const std::string why = message.substr(0, message.find(": "));
    for (auto& [reason, count] : f.Reasons)
        if (reason == why) {
            ++count;
            return;
        }
    f.Reasons.push_back({why, 1});
}

void CheckKnown(TSweepFigures& f, const TSettingsSnapshot& known, const TDriveSim& drive) {
    if (!known)
        return;
    for (std::size_t n = 0; n < known->Registers.size(); ++n) {
        if (!known->Registers[n])
            continue;
        ++f.KnownChecked;
        f.KnownWrong += *known->Registers[n] != drive.Register(int(n));
    }
}

bool OpenSlot(TDeviceSlot& slot, const TSweepSetup& setup) {
    if (!slot.Open())
        return false;
    if (setup.ReadTimeoutMs <= 0)
        return true;
    TPortSettings settings = slot.Settings();
    settings.RxTimeout = setup.ReadTimeoutMs;
    return slot.ApplyNewSettings(settings);
}

TTuningPlan SweepPlan(const TSweepSetup& setup) {
    TTuningPlan plan;
    plan.From = 1;
    plan.To = 6;
    plan.Steps = setup.Rounds;
    plan.Amplitude = TFigure(QString::number(setup.Amplitude));
    plan.Time = TFigure(QString::number(setup.TimeMs));
    // The exchanges are measured here, not the tuning: no test stops a run for its overshoot.
    plan.Criterion.OvershootLimit = 100;
    return plan;
}

// Runs the sweep to its end; why it ended early, or empty.
QString RunToEnd(TDriveModel& model, const TSweepSetup& setup, TSweepFigures& f, const TDriveSim& drive) {
    TTuningRunner runner(model, SweepPlan(setup));
    QElapsedTimer testClock;
    const auto testEnded = [&] {
        if (testClock.isValid())
            f.LongestTestS = std::max(f.LongestTestS, double(testClock.nsecsElapsed()) * 1e-9);
        testClock.invalidate();
    };
    QObject::connect(&runner, &TTuningRunner::RoundProposed, [&] { testClock.start(); });
    // The round's registers went out ahead of its step, which the drive has taken: it holds them.
    QObject::connect(&runner, &TTuningRunner::RoundDone, [&] {
        testEnded();
        CheckKnown(f, model.Parameters().Known(), drive);
    });
    QEventLoop loop;
    QString why;
    QObject::connect(&runner, &TTuningRunner::Finished, [&](const QString& w) {
        testEnded();
        why = w;
        loop.quit();
    });
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (runner.Running() && watchdog.interval() != GraceMs) {
            runner.Stop();
            watchdog.start(GraceMs);
            return;
        }
        why = QStringLiteral("The run did not end");
        loop.quit();
    });
    try {
        runner.Start();
        CheckKnown(f, model.Parameters().Known(), drive);
        watchdog.start(1000 * setup.MostSeconds);
        loop.exec();
    } catch (const EKelmorError& error) {
        why = error.Message();
    }
    return why;
}

void CheckSteps(TSweepFigures& f, const TRunLog& log, const std::vector<TTestRecord>& tests,
                std::int32_t amplitude) {
    // Every step the drive took is checked against where its motor stood, recorded or not (a test that
    // fails after its step joins no history); every test recorded against the step it made.
    f.Steps += int(log.Steps.size());
    for (const TRunLog::TStep& step : log.Steps)
        f.WrongTargets += std::llabs(step.Target - step.Position - amplitude) > Tolerance;
    for (const TTestRecord& test : tests) {
        ++f.Tests;
        const std::int64_t target = std::int64_t(test.Step.StartPosition) + amplitude;
        const auto made = std::find_if(log.Steps.begin(), log.Steps.end(),
                                       [&](const TRunLog::TStep& s) { return s.Target == target; });
        f.Misread += made == log.Steps.end() ||
                     std::llabs(std::int64_t(test.Step.StartPosition) - made->Position) > Tolerance;
    }
    f.MostQueries = std::max(f.MostQueries, log.MostQueries);
}

} // namespace

std::string TSweepFigures::ReasonsText(std::size_t most) const {
    std::string text;
    for (std::size_t r = 0; r < Reasons.size() && r < most; ++r)
        text += (r == 0 ? ": " : "; ") + std::to_string(Reasons[r].second) + "x \"" + Reasons[r].first + '"';
    if (Reasons.size() > most)
        text += "; " + std::to_string(Reasons.size() - most) + " other reasons";
    return text;
}

void RunCheckedSweep(TSimulatedPorts& simulated, const TSweepSetup& setup, TSweepFigures& f) {
    const QString port = QStringLiteral("sim:") + setup.Plant;
    TDeviceSlot slot(0, TPortFactory(simulated.Kind().Open, [port](std::int32_t) { return port; }));
    ++f.Runs;
    if (!OpenSlot(slot, setup)) {
        ++f.Failed;
        NoteReason(f, "DEV0 did not open (" + slot.OpenFailure().toStdString() + ')');
        return;
    }
    TDriveSim& drive = simulated.Drive(0);
    std::array<std::int32_t, TDriveSim::KRegisterCount> before{};
    for (int n = 0; n < TDriveSim::KRegisterCount; ++n)
        before[std::size_t(n)] = drive.Register(n);
    TRunLog log;
    drive.SetTrace(
        [&](std::int64_t, const std::string& line, std::int32_t position) { log.Take(line, position); });
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);
    const QString why = RunToEnd(model, setup, f, drive);
    if (!why.isEmpty()) {
        ++f.Failed;
        NoteReason(f, why.toStdString());
    }
    drive.SetTrace({});
    CheckSteps(f, log, model.Tests().All(), setup.Amplitude);
    f.RestoresFailed += !model.Parameters().RestoreFailure().isEmpty() || model.Parameters().RestorePending();
    // The registers given back may still be on their way, each line held while the firmware answers
    // late; closing the port lets the drive take what has reached it by then.
    const TSettingsSnapshot known = model.Parameters().Known();
    std::this_thread::sleep_for(std::chrono::milliseconds(setup.SettleMs));
    slot.Close();
    CheckKnown(f, known, drive);
    for (int n = 0; n < TDriveSim::KRegisterCount; ++n)
        f.NotAsBefore += drive.Register(n) != before[std::size_t(n)];
}
