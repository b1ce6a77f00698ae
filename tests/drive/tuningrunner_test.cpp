// Tuning runs: the drive's settings come back however a run ends, and against the simulated drive a
// sweep and a search find what the criterion asks for.

#include "drive/tuningrunner.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "harness/fakeport.h"
#include "harness/qtprinters.h"
#include "sim/plantbank.h"
#include "tests/support/localescope.h"
#include "tests/support/outcome.h"
#include "tests/support/portsscope.h"
#include "tests/support/simulatedlines.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs the plan to its end; returns why it ended, or "not started: …" with the message of Start.
QString RunToEnd(TTuningRunner& runner, const std::function<void()>& afterFirstRound = {}) {
    QEventLoop loop;
    QString why;
    QObject::connect(&runner, &TTuningRunner::Finished, [&](const QString& w) {
        why = w;
        loop.quit();
    });
    QObject::connect(&runner, &TTuningRunner::RoundDone, [&] {
        if (runner.Rounds().size() == 1 && afterFirstRound)
            afterFirstRound();
    });
    try {
        runner.Start();
    } catch (const EKelmorError& error) {
        return "not started: " + error.Message();
    }
    loop.exec();
    return why;
}

TTuningPlan KpSweep(double from, double to, int steps) {
    TTuningPlan plan;
    plan.From = from;
    plan.To = to;
    plan.Steps = steps;
    plan.Amplitude = TFigure("200");
    plan.Time = TFigure("250");
    return plan;
}

// The simulated drive on its line, opened, its model in position mode.
struct TSimulatedDrive {
    TPortsScope Simulated{SimulatedLines[0].Ports()};
    TDeviceSlot Slot{0, Simulated.Ports()};
    bool Opened = Slot.Open();
    TDriveModel Model{Slot};
    TSimulatedDrive() {
        if (Opened)
            Model.Motion().SetMode(PositionMode);
    }
};

// A search of KP and KV within the bounds given.
TTuningPlan Search(std::array<double, 2> lowest, std::array<double, 2> highest) {
    TTuningPlan plan = KpSweep(0, 0, 0);
    plan.Search = true;
    plan.Lowest = lowest;
    plan.Highest = highest;
    return plan;
}

// The registers a drive holds before a run, in the order the settings write sends them.
const std::vector<QByteArray> Original = {"P1 1000\r", "P2 700\r", "P3 5\r",     "P4 90\r", "P6 300\r",
                                          "P0 200\r",  "P5 380\r", "P7 12000\r", "P8 60\r"};
// Records from the start read, 1000, to the target.
const QByteArray FromStart = QByteArray("l\0\x03\xE8", 4) + QByteArray("l\0\x04\xB0", 4).repeated(499);

// A drive that holds the Original registers, stands at 1000, takes the move back and answers each
// step with block.
void AnswerAsADrive(TFakeDevice& device, const QByteArray& block) {
    device.Echo = true;
    for (const QByteArray& line : Original)
        device.Answers["P" + line.mid(1, 1) + "\r"] = line.mid(3).chopped(1) + ":";
    device.Answers["L \r\r"] = "1000\r\n\r\n";
    device.Answers["G0 1000\r"] = "OK\r\n";
    device.Answers["J 1200\r"] = block;
}

} // namespace

TEST(TuningRunner, TheDriveGetsItsSettingsBackHoweverTheRunEnds) {
    const std::vector<QByteArray>& original = Original;
    std::atomic<bool> exitRequested{false};
    // Records from the target at once: the motor not where it was read.
    const QByteArray fromStart = FromStart;
    const QByteArray notFromStart = QByteArray("l\0\x04\xB0", 4).repeated(500);
    const struct {
        const char* Name;
        std::function<void(TFakeDevice&, TTuningRunner&)> AfterFirstRound;
        QByteArray Block;
        QString Why;
        int Rounds;
    } cases[] = {
        {"stopped", [](TFakeDevice&, TTuningRunner& r) { r.Stop(); }, fromStart, "Stopped", 1},
        {"a test that fails",
         {},
         notFromStart,
         "The motor was not where it was read: at 1000, its first sample 1200",
         0},
        // The first 4 ms of records garbled beyond belief: the start read was never seen, so the motor
        // is not sent there.
        {"a start its records never saw", [](TFakeDevice&, TTuningRunner&) {},
         QByteArray("l\x7F\0\0", 4).repeated(8) + FromStart.mid(32),
         "The records of test 1 did not show the motor at the run's start, 1000: it was not sent back there",
         1},
        {"a lost device", [](TFakeDevice& d, TTuningRunner&) { d.Statuses["ZQ_GetStatus"] = ZQ_IO_ERROR; },
         fromStart, "The device was lost", 1},
        {"an exit", [&](TFakeDevice&, TTuningRunner&) { exitRequested = true; }, fromStart,
         "The program is ending", 1},
    };
    for (const auto& c : cases) {
        TFakeDeviceLibrary fake;
        TFakeDevice& device = fake.Device(0);
        AnswerAsADrive(device, c.Block);
        exitRequested = false;
        TDeviceSlot slot(0, fake.Ports(), nullptr, &exitRequested);
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        model.ModeConfirmed(PositionMode);
        TTuningRunner runner(model, KpSweep(1, 4, 3));
        EXPECT_EQ(RunToEnd(runner, [&] { c.AfterFirstRound(device, runner); }), c.Why) << c.Name;
        EXPECT_EQ(runner.Rounds().size(), std::size_t(c.Rounds)) << c.Name;
        // A lost device gets them once it is back.
        device.Statuses.clear();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !slot.IsLost(); }, 3000)) << c.Name;
        const std::vector<QByteArray> writes = device.Writes();
        // The last nine register lines are the original ones; a read-back may follow them.
        const auto last = std::find_end(writes.begin(), writes.end(), original.begin(), original.end());
        ASSERT_NE(last, writes.end()) << c.Name;
        for (auto w = last + std::ssize(original); w < writes.end(); ++w)
            EXPECT_FALSE(w->contains(' ')) << c.Name << ": " << w->toStdString();
        // Lines written as the program ends are not waited for, so not known.
        EXPECT_EQ(model.Parameters().Known()->Register(KP),
                  exitRequested ? std::nullopt : std::optional<std::int32_t>(700))
            << c.Name << ": known again";
    }
}

// A run moves through its states one step of the event loop at a time, and holds the drive throughout:
// every command is refused in the run's words until the run has ended.
TEST(TuningRunner, StepsThroughItsStatesHoldingTheDrive) {
    using TState = TTuningRunner::TState;
    for (const bool back : {true, false}) {
        TSimulatedDrive drive;
        ASSERT_TRUE(drive.Opened);
        TDeviceSlot& slot = drive.Slot;
        TDriveModel& model = drive.Model;
        TTuningPlan plan = KpSweep(1, 2, 2);
        plan.ReturnToStart = back;
        TTuningRunner runner(model, plan);
        std::vector<TState> proposed, afterTest;
        QStringList refused;
        QObject::connect(&runner, &TTuningRunner::RoundProposed, [&] {
            proposed.push_back(runner.State());
            EXPECT_TRUE(slot.Leased());
            refused << Outcome([&] { model.Parameters().Read(); });
        });
        // What the step after a test chose, seen before the next step runs.
        QObject::connect(&runner, &TTuningRunner::RoundDone,
                         [&] { QTimer::singleShot(0, [&] { afterTest.push_back(runner.State()); }); });
        EXPECT_EQ(runner.State(), TState::Idle);
        EXPECT_EQ(RunToEnd(runner), "");
        const TState next = back ? TState::Returning : TState::Choosing;
        EXPECT_EQ(proposed, (std::vector<TState>{TState::Testing, TState::Testing})) << back;
        EXPECT_EQ(afterTest, (std::vector<TState>{next, next})) << back;
        EXPECT_EQ(refused, QStringList(2, TDriveModel::RunHoldsText())) << back;
        EXPECT_EQ(runner.State(), TState::Ended);
        EXPECT_FALSE(slot.Leased());
        EXPECT_EQ(Outcome([&] { model.Parameters().Read(); }), "") << "the drive is given back";
    }
}

class TuningRunnerOnALine : public ::testing::TestWithParam<TSimulatedLine> {};
INSTANTIATE_TEST_SUITE_P(Lines, TuningRunnerOnALine, ::testing::ValuesIn(SimulatedLines), LineName);

TEST_P(TuningRunnerOnALine, AgainstTheSimulatedDrive) {
    TPortsScope simulated(GetParam().Ports());
    TDeviceSlot slot(0, simulated.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);

    TTuningRunner sweep(model, KpSweep(1, 6, 6));
    EXPECT_EQ(RunToEnd(sweep), "");
    const std::vector<TTuningRound>& rounds = sweep.Rounds();
    ASSERT_EQ(rounds.size(), 6u);
    const std::optional<std::size_t> best = sweep.Best();
    ASSERT_TRUE(best);
    EXPECT_LE(rounds[*best].Overshoot, 10);
    if (*best + 1 < rounds.size()) {
        EXPECT_TRUE(rounds[*best + 1].Verdict != TRoundVerdict::Eligible ||
                    rounds[*best + 1].Score > rounds[*best].Score);
    }
    // The drive has its default registers back.
    EXPECT_TRUE(QTest::qWaitFor([&] { return simulated.Drive(0).Register(2) == 768; }, 2000));

    TTuningRunner search(model, Search({0.5, 1}, {12, 16}));
    EXPECT_EQ(RunToEnd(search), "");
    EXPECT_LE(search.Rounds().size(), 12u);
    ASSERT_TRUE(search.Best());
    EXPECT_LE(search.Rounds()[*search.Best()].Score, search.Rounds().front().Score)
        << "no worse than the start";
}

TEST_P(TuningRunnerOnALine, SearchesABankDriveStartedAboveTheLimitAndVerifiesTheBackOff) {
    // The first drive of the bank whose default settings overshoot the 10 % limit, but not twice it.
    TPlantParameters plant;
    for (const TPlantParameters& p : PlantBank(30, 2026)) {
        const std::vector<std::int32_t> counts = SimulateStep(p, TDriveSim::KDefaultRegisters, 200, 500);
        const std::int32_t highest =
            *std::max_element(counts.begin(), counts.end()) - TDriveSim::KStartPosition;
        if (highest > 225 && highest < 240) {
            plant = p;
            break;
        }
    }
    TPortsScope simulated(GetParam().Ports(PlantText(plant)));
    TDeviceSlot slot(0, simulated.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);
    TTuningPlan plan = Search({0.375, 0.5}, {24, 32});
    plan.Criterion.BackOffPercent = 20;
    TTuningRunner search(model, plan);
    EXPECT_EQ(RunToEnd(search), "");
    const std::vector<TTuningRound>& rounds = search.Rounds();
    ASSERT_LE(rounds.size(), 12u);
    EXPECT_GT(rounds.front().Overshoot, 10);
    for (std::size_t i = 1; i < rounds.size(); ++i)
        EXPECT_LE(rounds[i].Overshoot, 20) << "test " << rounds[i].TestNumber;
    const std::optional<TTuningResult> result = search.Result();
    ASSERT_TRUE(result);
    const TTuningRound& best = rounds[*search.Best()];
    EXPECT_EQ(best.Verdict, TRoundVerdict::Eligible);
    // The back-off ran as a test of its own, with KP lowered a fifth and nothing else changed.
    ASSERT_EQ(rounds.back().Role, TRoundRole::BackOff);
    EXPECT_NEAR(rounds.back().Registers[2], 0.8 * best.Registers[2], 1.0);
    EXPECT_EQ(rounds.back().Registers[1], best.Registers[1]);
    EXPECT_EQ(result->Registers,
              result->Kind == TTuningResult::BackedOff ? rounds.back().Registers : best.Registers);
    // The drive has its settings of before the run back.
    EXPECT_TRUE(QTest::qWaitFor([&] { return simulated.Drive(0).Register(2) == 768; }, 2000));
}

// The search starts from the drive's settings, read first: KP 700/256 lies below the box.
TEST(TuningRunner, ASearchFromOutsideItsBoundsIsRefusedBeforeAnythingIsWritten) {
    TFakeDeviceLibrary fake;
    AnswerAsADrive(fake.Device(0), FromStart);
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.ModeConfirmed(PositionMode);
    model.Parameters().Want(KP, TFigure(QStringLiteral("5")));
    TTuningRunner search(model, Search({4, 1}, {8, 16}));
    EXPECT_EQ(RunToEnd(search), "not started: The search would start from KP " + LocalDecimalText("2,73438") +
                                    ", outside its bounds 4 … 8: nothing was written");
    // The queries only: no register write, no move.
    for (const QByteArray& line : fake.Device(0).Writes())
        EXPECT_TRUE(line == "L \r\r" || line == "S 0\r" || !line.contains(' ')) << line.toStdString();
}

// The rounds write the drive's settings as read at the start, not the page's unsent edits; a KV
// swept takes Limit V along at its speed, 3072 1/min.
TEST(TuningRunner, RoundsStartFromTheDrivesSettings) {
    TLocaleScope polish(QLocale(QLocale::Polish, QLocale::Poland));
    TFakeDeviceLibrary fake;
    AnswerAsADrive(fake.Device(0), FromStart);
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.ModeConfirmed(PositionMode);
    model.Parameters().Want(KD, TFigure(QStringLiteral("2")));
    TTuningPlan plan = KpSweep(2, 4, 2);
    plan.Rows[0] = KV;
    TTuningRunner sweep(model, plan);
    EXPECT_EQ(RunToEnd(sweep), "");
    ASSERT_EQ(sweep.Rounds().size(), 2u);
    const std::array<TRegisterValues, 2> expected = {
        {{102, 512, 700, 5, 90, 380, 300, 12000, 60}, {204, 1024, 700, 5, 90, 380, 300, 12000, 60}}};
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(sweep.Rounds()[i].Registers, expected[i]) << "round " << i;
}

// A back-off goes through the safety bound with the KP it writes: a sweep's, judged by models learnt
// from its rounds, and a search's whose KP is not one of the searched rows.
// A run that cannot start says why instead of returning as if it had: one already going on, or the
// drive held by another run.
TEST(TuningRunner, AStartThatCannotBeSaysWhy) {
    TFakeDeviceLibrary fake;
    AnswerAsADrive(fake.Device(0), FromStart);
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.ModeConfirmed(PositionMode);
    TTuningRunner first(model, KpSweep(1, 4, 3));
    first.Start();
    ASSERT_TRUE(first.Running());
    TTuningRunner second(model, KpSweep(1, 4, 3));
    for (TTuningRunner* runner : {&first, &second}) {
        try {
            runner->Start();
            ADD_FAILURE() << "a second start went through";
        } catch (const EKelmorError& error) {
            EXPECT_EQ(error.Message(), TDriveModel::RunHoldsText());
        }
    }
    EXPECT_FALSE(second.Running());
    first.Stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !first.Running(); }, 5000));
}

// The motor data edited mid-run changes nothing the run writes: it converts with the data it started with.
TEST(TuningRunner, MotorDataEditedMidRunChangesNoRound) {
    TSimulatedDrive drive;
    ASSERT_TRUE(drive.Opened);
    TDriveModel& model = drive.Model;
    // KG converts with the motor data.
    TTuningPlan plan = KpSweep(0.2, 0.4, 3);
    plan.Rows = {KG, KP};
    std::vector<TRegisterValues> rounds[2];
    for (const bool edit : {false, true}) {
        const TMotorData motor = model.MotorData();
        TTuningRunner runner(model, plan);
        RunToEnd(runner, [&] {
            if (!edit)
                return;
            TMotorData other = motor;
            other.EncoderPulses = TFigure("2000");
            other.RatedSpeed = TFigure("1500");
            model.SetMotorData(other);
        });
        for (const TTuningRound& round : runner.Rounds())
            rounds[edit].push_back(round.Registers);
        model.SetMotorData(motor);
    }
    ASSERT_EQ(rounds[0].size(), 3u);
    EXPECT_EQ(rounds[1], rounds[0]);
}

TEST(TuningRunner, EveryBackOffIsJudgedWithTheKpItWrites) {
    TSimulatedDrive drive;
    ASSERT_TRUE(drive.Opened);
    TDriveModel& model = drive.Model;
    TTuningPlan sweep = KpSweep(1, 4, 4);
    TTuningPlan search = Search({1, 0.1}, {8, 1});
    search.Rows = {KV, KI};
    search.MaxTests = 5;
    // KP searched, and KI, which a back-off lowers with it.
    TTuningPlan kpSearch = Search({0.5, 1}, {8, 16});
    kpSearch.KiFloor = 0;
    kpSearch.MaxTests = 5;
    int judged = 0;
    for (TTuningPlan* plan : {&sweep, &search, &kpSearch}) {
        plan->Criterion.BackOffPercent = 30;
        TTuningRunner runner(model, *plan);
        EXPECT_EQ(RunToEnd(runner), "");
        ASSERT_TRUE(runner.Result());
        const TTuningRound& last = runner.Rounds().back();
        if (runner.Result()->Kind == TTuningResult::BackOffUnsafe)
            continue;
        ++judged;
        ASSERT_EQ(last.Role, TRoundRole::BackOff) << plan->Search;
        ASSERT_TRUE(last.Predicted) << plan->Search;
        EXPECT_TRUE(TGainTuner::Safe(*last.Predicted)) << plan->Search;
        if (const TGainTuner* tuner = runner.Tuner()) {
            // Predicted where the back-off lies, with the registers it writes.
            const TTunerGains best = tuner->Tested()[tuner->Best()->Test].Gains;
            const TTunerGains at = {last.Gains[0], last.Gains[1], std::isnan(last.Ki) ? best[2] : last.Ki};
            EXPECT_DOUBLE_EQ(last.Predicted->OvershootSd, tuner->Predict(at, last.Registers)->OvershootSd);
            if (SearchesKi(*plan)) {
                EXPECT_LT(last.Ki, best[2]) << "KI lowered with KP";
            }
        }
    }
    EXPECT_GE(judged, 2) << "no back-off was judged";
}
