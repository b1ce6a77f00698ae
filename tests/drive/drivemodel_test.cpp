// The drive model against the simulated drive: what each test records, and what is known of the
// settings it ran under as commands and typed lines reach the drive.

#include "drive/drivemodel.h"

#include "common/numtext.h"
#include "harness/fakeport.h"
#include "harness/qtprinters.h"
#include "sim/drivesim.h"
#include "tests/support/outcome.h"
#include "tests/support/portsscope.h"
#include "tests/support/simulatedlines.h"

#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

class DriveModelOnALine : public ::testing::TestWithParam<TSimulatedLine> {};
INSTANTIATE_TEST_SUITE_P(Lines, DriveModelOnALine, ::testing::ValuesIn(SimulatedLines), LineName);

TEST_P(DriveModelOnALine, TestsRecordTheSettingsKnownWhenTheyRan) {
    TPortsScope simulated(GetParam().Ports());
    TDeviceSlot slot(0, simulated.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);
    const auto type = [&](const char* keys) {
        for (const char* k = keys; *k; ++k)
            model.SendTyped(std::uint8_t(*k));
    };
    const auto write = [&](const char* kp, const char* kg) {
        model.Parameters().Want(KP, TFigure(LocalDecimalText(kp)));
        model.Parameters().Want(KG, TFigure(LocalDecimalText(kg)));
        return Outcome([&] { model.Parameters().Write(); });
    };
    const auto noError = [](auto act) {
        return [act] {
            act();
            return QString();
        };
    };
    // The settings known are register values, shown as the settings page shows a read-back.
    const QString kg = LocalDecimalText("0,30");
    const struct {
        const char* Name;
        std::function<QString()> Act; // returns the error it ends with
        QString Error;
        bool ReadFirst;
        QString Kp, Kg; // of the test run next
    } steps[] = {
        {"nothing written or read yet", noError([] {}), "", false, "?", "?"},
        {"Wpisz", [&] { return write("3,0", "0,3"); }, "", false, LocalDecimalText("3,00"), kg},
        {"Wpisz with twice the gain", [&] { return write("6,0", "0,3"); }, "", false,
         LocalDecimalText("6,00"), kg},
        {"bank store", noError([&] { model.Parameters().StoreBank(1); }), "", false, LocalDecimalText("6,00"),
         kg},
        {"an empty typed line", noError([&] { type("\r"); }), "", false, LocalDecimalText("6,00"), kg},
        {"bank load of the defaults", noError([&] { model.Parameters().LoadBank(0); }), "", false, "?", "?"},
        {"read before the test", noError([] {}), "", true, LocalDecimalText("3,00"),
         LocalDecimalText("0,30")},
        {"a typed line", noError([&] { type("i\r"); }), "", false, "?", "?"},
        {"Wpisz failing at KG", [&] { return write("6,0", "x"); }, "'x' is not a valid floating point value",
         false, LocalDecimalText("6,00"), "?"},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.Act(), s.Error) << s.Name;
        // The echoes are taken by the poll before the test purges.
        QTest::qWait(3 * TDeviceSlot::KPollIntervalMs);
        const TTestRecord test = model.Tests().Run(TFigure("200"), TFigure("250"), s.ReadFirst).Test;
        EXPECT_EQ(SettingText(*test.Settings, KP, model.MotorData()), s.Kp) << s.Name;
        EXPECT_EQ(SettingText(*test.Settings, KG, model.MotorData()), s.Kg) << s.Name;
    }

    const std::vector<TTestRecord>& tests = model.Tests().All();
    ASSERT_EQ(tests.size(), std::size(steps));
    const TTestRecord& first = tests.front();
    EXPECT_EQ(first.Number, 1);
    EXPECT_TRUE(first.RanAt.isValid());
    EXPECT_EQ(first.Step.Amplitude, 200u);
    EXPECT_EQ(first.Step.StartPosition, 100000u);
    EXPECT_EQ(first.Step.SampleCount, 500);
    EXPECT_EQ(ReceivedCount(first.Step), 500u);
    EXPECT_EQ(first.TimeMs(), 250);
    EXPECT_EQ(tests[1].Step.StartPosition, 100200u) << "each test starts where the one before ended";
    EXPECT_GT(tests[2].Figures.Overshoot, tests[1].Figures.Overshoot) << "twice KP overshoots more";
    EXPECT_GT(tests[1].Figures.Overshoot, 1);
}

// What is known of the drive's settings as its device goes away and comes back, and while a line
// typed in the terminal is unfinished.
TEST(DriveModel, KnowsNothingItCouldNotWrite) {
    TFakeDeviceLibrary fake;
    TFakeDevice& device = fake.Device(0);
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    fake.Device(0).Echo = true;
    model.ModeConfirmed(PositionMode);
    const TRegisterValues registers = {200, 1000, 700, 5, 90, 380, 300, 12000, 60};
    const QString lost = "DEV0 — connection lost: nothing was sent";
    const QString unfinished =
        "A line typed in the terminal is not finished: press Enter or clear it with Backspace first";
    int restored = 0;
    QObject::connect(&model.Parameters(), &TParameters::RestoreWritten, [&] { ++restored; });
    const auto loseDevice = [&](const char* call) {
        device.Statuses[call] = ZQ_IO_ERROR;
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return call != std::string("ZQ_GetStatus") || slot.IsLost(); }, 500));
    };
    // The registers the drive answers a restore's read-back with.
    const auto holds = [&](const TRegisterValues& values) {
        for (std::size_t n = 0; n < values.size(); ++n)
            device.Answers[QByteArray("P") + char('0' + n) + '\r'] = QByteArray::number(values[n]) + ':';
    };
    const auto comeBack = [&] {
        device.Statuses.clear();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !slot.IsLost(); }, 3000));
    };

    model.Parameters().Write();
    const std::optional<std::int32_t> kp = model.Parameters().Known()->Register(KP);
    ASSERT_TRUE(kp);

    // A run holds the drive through the loss, and restores once it finds the device gone.
    std::optional<TDriveLease> run = model.Lease();
    loseDevice("ZQ_GetStatus");
    device.ClearCalls();
    EXPECT_EQ(Outcome([&] { model.Parameters().Write(); }), lost) << "Wpisz to a lost device";
    EXPECT_EQ(Outcome([&] { model.Parameters().Apply(registers); }), lost) << "Zastosuj to a lost device";
    EXPECT_TRUE(device.Writes().empty());
    EXPECT_EQ(model.Parameters().Known()->Register(KP), kp) << "known as before";
    model.Parameters().WriteRegisters(*run, registers);
    run.reset();
    EXPECT_TRUE(model.Parameters().RestorePending()) << "a restore waits for the device";
    holds(registers);
    comeBack();
    EXPECT_FALSE(model.Parameters().RestorePending());
    EXPECT_EQ(restored, 1);
    // The nine lines, then the read-back's dialogues: each register, known by its confirmed write, needs
    // one reading that agrees.
    ASSERT_EQ(device.Writes().size(), 9u + 2 * 9);
    EXPECT_EQ(device.Writes()[1], "P2 700\r");
    EXPECT_EQ(model.Parameters().Known()->Register(KP), 700) << "written on its return";

    // A restore whose first line finds the device gone keeps all nine for its return.
    loseDevice("ZQ_Write");
    model.Parameters().WriteRegisters(model.Lease(), TDriveSim::KDefaultRegisters);
    EXPECT_TRUE(model.Parameters().RestorePending());
    EXPECT_FALSE(model.Parameters().Known()->IsKnown(KP)) << "not known once its line may have gone out";
    holds(TDriveSim::KDefaultRegisters);
    comeBack();
    EXPECT_EQ(model.Parameters().Known()->Register(KP), 768);

    // Back from a loss without a restore: nothing is known.
    loseDevice("ZQ_GetStatus");
    comeBack();
    EXPECT_FALSE(model.Parameters().Known()->IsKnown(KV));

    // An unfinished typed line: the drive would take the next line for its end.
    model.Parameters().Write();
    model.SendTyped('P');
    EXPECT_FALSE(model.Parameters().Known()->IsKnown(KV));
    EXPECT_EQ(Outcome([&] { model.Parameters().Write(); }), unfinished);
    EXPECT_EQ(Outcome([&] { model.Parameters().Read(); }), unfinished);
    model.SendTyped(0x08);
    EXPECT_EQ(Outcome([&] { model.Parameters().Write(); }), "") << "cleared with Backspace";
}

// A line typed and left unfinished when the window closed: the next open takes it back before the
// first command, which the drive would otherwise run as its end.
TEST(DriveModel, AnOpenTakesBackTheLineLeftUnfinished) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    for (const char key : QByteArray("P2 7"))
        model.SendTyped(std::uint8_t(key));
    model.Close();
    slot.Close();
    fake.Device(0).ClearCalls();
    ASSERT_TRUE(slot.Open());
    EXPECT_EQ(Outcome([&] { model.Motion().Identify(); }), "");
    EXPECT_EQ(fake.Device(0).Writes(), (std::vector<QByteArray>{"\b\b\b\b", "i\r"}));
}

// Every command passes the one guard: nothing reaches a drive that is closed, lost, held by a tuning
// run, or holding an unfinished line, whether typed or sent in a file.
TEST(DriveModel, EveryCommandPassesTheGuard) {
    const std::pair<const char*, std::function<void(TDriveModel&)>> commands[] = {
        {"Czytaj", [](TDriveModel& m) { m.Parameters().Read(); }},
        {"Wpisz", [](TDriveModel& m) { m.Parameters().Write(); }},
        {"Zastosuj", [](TDriveModel& m) { m.Parameters().Apply(TDriveSim::KDefaultRegisters); }},
        {"bank store", [](TDriveModel& m) { m.Parameters().StoreBank(1); }},
        {"bank load", [](TDriveModel& m) { m.Parameters().LoadBank(1); }},
        {"step test", [](TDriveModel& m) { m.Tests().Run(TFigure("200"), TFigure("250"), false); }},
        {"mode", [](TDriveModel& m) { m.Motion().SetMode(1); }},
        {"set-point", [](TDriveModel& m) { m.Motion().SetSetPoint(5); }},
        {"identify", [](TDriveModel& m) { m.Motion().Identify(); }},
        {"position", [](TDriveModel& m) { m.Motion().ShowPosition(); }},
        {"G0", [](TDriveModel& m) { m.Motion().RapidMove("100"); }},
        {"G1", [](TDriveModel& m) { m.Motion().FeedMove("100", TFigure("3000")); }},
    };
    const QString unfinished =
        "A line typed in the terminal is not finished: press Enter or clear it with Backspace first";
    // A lease that a file send or a run would hold for its whole length.
    std::optional<TDriveLease> held;
    const struct {
        const char* Name;
        std::function<void(TDeviceSlot&, TDriveModel&, TFakeDevice&)> Make;
        QString Refusal;
        bool KeysTaken;
    } states[] = {
        {"closed", [](TDeviceSlot& s, TDriveModel&, TFakeDevice&) { s.Close(); }, "The device is closed",
         false},
        {"lost",
         [](TDeviceSlot& s, TDriveModel&, TFakeDevice& d) {
             d.Statuses["ZQ_GetStatus"] = ZQ_IO_ERROR;
             ASSERT_TRUE(QTest::qWaitFor([&] { return s.IsLost(); }, 500));
         },
         "DEV0 — connection lost: nothing was sent", false},
        {"tuning run",
         [&](TDeviceSlot&, TDriveModel& m, TFakeDevice&) {
             held = m.Lease(TLeaseUse::Command, TDriveModel::RunHoldsText());
         },
         "A tuning run has the drive: wait for its end or stop it", false},
        {"file send",
         [&](TDeviceSlot&, TDriveModel& m, TFakeDevice&) {
             held = m.Lease(TLeaseUse::Raw, "A file is sent");
         },
         "A file is sent", false},
        {"typed line", [](TDeviceSlot&, TDriveModel& m, TFakeDevice&) { m.SendTyped('x'); }, unfinished,
         true},
        {"file ending mid-line",
         [](TDeviceSlot& s, TDriveModel&, TFakeDevice&) {
             s.WriteRaw(s.Lease(TLeaseUse::Raw).value(), "i\rP2 9", 6);
         },
         unfinished, true},
    };
    for (const auto& state : states)
        for (const auto& [name, command] : commands) {
            TFakeDeviceLibrary fake;
            TDeviceSlot slot(0, fake.Ports());
            ASSERT_TRUE(slot.Open());
            TDriveModel model(slot);
            fake.Device(0).Echo = true;
            model.ModeConfirmed(PositionMode);
            QSignalSpy busyChanged(&model, &TDriveModel::BusyChanged);
            state.Make(slot, model, fake.Device(0));
            fake.Device(0).ClearCalls();
            EXPECT_EQ(Outcome([&] { command(model); }), state.Refusal) << state.Name << ": " << name;
            EXPECT_TRUE(fake.Device(0).Writes().empty()) << state.Name << ": " << name;
            EXPECT_EQ(model.SendTyped('\r'), state.KeysTaken) << state.Name << ": " << name;
            // A run's or a send's lease is what the pages show as busy, and only that.
            const bool wasHeld = held.has_value();
            EXPECT_EQ(model.Busy(), wasHeld) << state.Name << ": " << name;
            held.reset();
            EXPECT_FALSE(model.Busy()) << state.Name << ": given back";
            EXPECT_EQ(busyChanged.count(), wasHeld ? 2 : 0) << state.Name << ": " << name;
        }
}

// Bytes no command built reach the model through its slot: a line started in them may have set any
// register.
TEST(DriveModel, ARawLineForgetsTheKnownSettings) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    fake.Device(0).Echo = true;
    model.ModeConfirmed(PositionMode);
    const auto known = [&] { return model.Parameters().Known()->IsKnown(KP); };
    model.Parameters().Write();
    slot.WriteRaw(slot.Lease(TLeaseUse::Raw).value(), "\r\n", 2);
    EXPECT_TRUE(known()) << "an empty line";
    slot.WriteRaw(slot.Lease(TLeaseUse::Raw).value(), "P2 9\r", 5);
    EXPECT_FALSE(known()) << "a file's line";
}

// A step test runs only in position mode with the set-point at 0, as the lines sent, typed or from a
// file, left them; a mode Kelmor cannot read is not taken for position.
TEST(DriveModel, StepsOnlyInPositionModeAtSetPointZero) {
    const QString unknown = "The drive's mode is not known: choose \"Droga\" under Diagnostyka first";
    const struct {
        std::string Typed;
        QString Refusal;
        bool File = false;
    } cases[] = {
        {"", unknown},
        {"M3\r", "The set-point is not known, not 0: bring the slider under Diagnostyka back to 0 first"},
        {"M3\rS 0\r", ""},
        {"M3\rS 0\rM0\r", "The drive is in the mode \"Napięcie\": a step test runs only in \"Droga\""},
        {"M3\rS 0\rS 250\r",
         "The set-point is 250, not 0: bring the slider under Diagnostyka back to 0 first"},
        {"M3\rS 0\rM 3\r", unknown},
        {"M3\rS 0\rM4\x08\x33\r", ""},
        // A file's lines as one write; past the drive's 64 characters, the next one ends the line unread
        // and the rest is a new line.
        {"M3\rS 0\rM0\r", "The drive is in the mode \"Napięcie\": a step test runs only in \"Droga\"", true},
        {"M3\rS 0\r" + std::string(64, 'x') + "yM0\r",
         "The drive is in the mode \"Napięcie\": a step test runs only in \"Droga\"", true},
    };
    for (const auto& c : cases) {
        TFakeDeviceLibrary fake;
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        if (c.File)
            slot.WriteRaw(slot.Lease(TLeaseUse::Raw).value(), c.Typed.data(), std::uint32_t(c.Typed.size()));
        for (const char k : c.File ? std::string() : c.Typed)
            model.SendTyped(std::uint8_t(k));
        EXPECT_EQ(model.StepRefusal(), c.Refusal) << c.Typed;
        if (c.Refusal.isEmpty())
            continue;
        fake.Device(0).ClearCalls();
        EXPECT_EQ(Outcome([&] { model.Tests().Run(TFigure("200"), TFigure("250"), false); }), c.Refusal);
        EXPECT_TRUE(fake.Device(0).Writes().empty()) << c.Typed;
    }
}

// The mode and the set-point are the drive's once it confirmed them; a refusal or no answer leaves them
// not known and says so.
TEST(DriveModel, TakesTheModeTheDriveConfirmed) {
    const struct {
        const char* Answer;
        QString Outcome;
        std::optional<int> Mode;
    } cases[] = {
        {"OK\r\n", "", PositionMode},
        {"?\r\n", "The drive did not confirm M3: what came back was '?\\r\\n': the drive's mode is not known",
         std::nullopt},
        {"", "' ' is not a valid integer value: the drive's mode is not known", std::nullopt},
    };
    for (const auto& c : cases) {
        TFakeDeviceLibrary fake;
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        fake.Device(0).Echo = true;
        fake.Device(0).Answers["S 0\r"] = "OK\r\n";
        fake.Device(0).Answers["M3\r"] = c.Answer;
        EXPECT_EQ(Outcome([&] { model.Motion().SetMode(PositionMode); }), c.Outcome) << c.Answer;
        EXPECT_EQ(model.Mode(), c.Mode) << c.Answer;
    }
}

// Where the last test left the motor is forgotten on anything that may move it or that Kelmor cannot see.
TEST(DriveModel, ForgetsTheWitnessOnWhatMayMoveTheMotor) {
    const std::pair<const char*, std::function<void(TDeviceSlot&, TDriveModel&)>> events[] = {
        {"rapid move", [](TDeviceSlot&, TDriveModel& m) { m.Motion().RapidMove("5"); }},
        {"set-point", [](TDeviceSlot&, TDriveModel& m) { m.Motion().SetSetPoint(0); }},
        {"mode", [](TDeviceSlot&, TDriveModel& m) { m.Motion().SetMode(PositionMode); }},
        {"typed key", [](TDeviceSlot&, TDriveModel& m) { m.SendTyped('x'); }},
        {"file", [](TDeviceSlot& s, TDriveModel&) { s.WriteRaw(s.Lease(TLeaseUse::Raw).value(), "q\r", 2); }},
        {"closing", [](TDeviceSlot&, TDriveModel& m) { m.Close(); }},
        {"a test that failed",
         [](TDeviceSlot&, TDriveModel& m) { m.Tests().Run(TFigure("200"), TFigure("250"), false); }},
    };
    for (const auto& [name, event] : events) {
        TFakeDeviceLibrary fake;
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        fake.Device(0).Echo = true;
        model.ModeConfirmed(PositionMode);
        model.Witnessed(1000);
        Outcome([&] { event(slot, model); });
        EXPECT_FALSE(model.Witness()) << name;
    }
}
