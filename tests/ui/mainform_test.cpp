#include "harness/fakeport.h"
#include "link/deviceslots.h"
#include "tests/support/formparts.h"
#include "tests/support/linecolours.h"
#include "tests/support/modal.h"
#include "tests/support/portsscope.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/errorbox/errorform.h"
#include "ui/mainwindow/mainform.h"
#include "ui/portdialog/portdialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

namespace {

class MainFormTest : public ::testing::Test {
protected:
    QAction* Action(const char* name) { return Form.findChild<QAction*>(QString::fromLatin1(name)); }

    // Runs an open command and returns the error dialog's text, empty when none was shown.
    QString OpenWith(const char* action) {
        QString shown;
        TModalAnswer answer([&](QDialog* d) {
            if (auto* text = d->findChild<QLabel*>(QStringLiteral("textLabel")))
                shown = text->text();
        });
        Trigger(Form, action);
        return shown;
    }

    // DEV1's menu item stays disabled; it is enabled for the one open only, as the frame opens
    // every item's device alike.
    QString OpenDev1() {
        Action("openDev1Action")->setEnabled(true);
        const QString shown = OpenWith("openDev1Action");
        Action("openDev1Action")->setEnabled(false);
        return shown;
    }

    QStringList Enabled() {
        RunUntilIdle();
        QStringList on;
        for (const char* name : {"openDev0Action", "openDev1Action", "configureAction", "sendFileAction",
                                 "receiveFileAction", "closeFileAction", "closeWindowAction", "exitAction"})
            if (Action(name)->isEnabled())
                on << QString::fromLatin1(name);
        return on;
    }

    TDeviceSlot* Slot(int index) { return SlotsOf(Form)->At(index); }
    // What reached DEV0 apart from the 50 ms poll, which goes on while a dialog is open.
    QStringList Commands() {
        QStringList calls = Fake.Device(0).CallTexts();
        calls.removeIf([](const QString& call) {
            return call.startsWith("ZQ_GetStatus") || call.startsWith("ZQ_GetModemStatus") ||
                   call.startsWith("ZQ_Read");
        });
        return calls;
    }
    // The device window that serves a slot, or none.
    TDeviceWindow* Window(int index) { return WindowOf(Form, index); }

    TFakeDeviceLibrary Fake;
    TMainForm Form{Fake.Ports()};
};

} // namespace

TEST_F(MainFormTest, OpeningDev0AppliesTheDefaultsAndCreatesItsWindow) {
    Fake.Device(0).ModemStatus = ZQ_MODEM_STATUS_CTS | ZQ_MODEM_STATUS_DSR;
    EXPECT_EQ(OpenWith("openDev0Action"), QString());
    const QStringList expected = {"ZQ_Open(0)",
                                  "ZQ_ResetDevice()",
                                  "ZQ_SetBaudRate(115200)",
                                  "ZQ_SetDataCharacteristics(8,0,0)",
                                  "ZQ_SetFlowControl(0,0,0)",
                                  "ZQ_SetChars(0,0,0,0)",
                                  "ZQ_SetEventNotification(0,0)",
                                  "ZQ_SetDtr()",
                                  "ZQ_SetRts()",
                                  "ZQ_SetTimeouts(300,300)",
                                  "ZQ_Purge(3)",
                                  "ZQ_GetModemStatus()"};
    EXPECT_EQ(Fake.Device(0).CallTexts().mid(0, expected.size()), expected);

    ASSERT_NE(Window(0), nullptr);
    EXPECT_EQ(CurrentSlotOf(Form), Slot(0));
    EXPECT_EQ(Window(0)->windowTitle(), QStringLiteral("DEV0"));
    EXPECT_TRUE(Slot(0)->Lines().Cts);
    EXPECT_TRUE(Slot(0)->Lines().Dsr);
    ASSERT_EQ(MdiAreaOf(Form)->subWindowList().size(), 1);
}

TEST_F(MainFormTest, EveryOpenFailureShowsTheMessageAndLeavesTheSlotClosed) {
    struct Case {
        const char* FailingOp;
        bool ClosedAgain;
    };
    const Case cases[] = {
        {"ZQ_Open", false},    {"ZQ_ResetDevice", true},    {"ZQ_SetBaudRate", true},
        {"ZQ_SetChars", true}, {"ZQ_GetModemStatus", true},
    };
    for (const Case& c : cases) {
        Fake.Device(0).Statuses.clear();
        Fake.Device(0).ClearCalls();
        Fake.Device(0).Statuses[c.FailingOp] = ZQ_IO_ERROR;
        EXPECT_EQ(OpenWith("openDev0Action"), QStringLiteral("Can't open DEV0")) << c.FailingOp;
        EXPECT_FALSE(Slot(0)->IsOpen()) << c.FailingOp;
        EXPECT_EQ(CurrentSlotOf(Form), nullptr) << c.FailingOp;
        EXPECT_TRUE(MdiAreaOf(Form)->subWindowList().isEmpty()) << c.FailingOp;
        EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_Close").size(), c.ClosedAgain ? 1 : 0) << c.FailingOp;
        EXPECT_FALSE(Fake.Device(0).Open) << c.FailingOp;
    }
}

TEST_F(MainFormTest, OpeningAnOpenDeviceAgainFailsAndTouchesNothing) {
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    TDeviceWindow* child = Window(0);
    const QStringList calls = Commands();
    EXPECT_EQ(OpenWith("openDev0Action"), QStringLiteral("Can't open DEV0"));
    EXPECT_EQ(Form.findChild<QLabel*>("openFailureLabel")->text(), QStringLiteral("DEV0 is open already"));
    EXPECT_EQ(Window(0), child);
    EXPECT_EQ(Commands(), calls);
    EXPECT_TRUE(Fake.Device(0).Open);
    EXPECT_EQ(MdiAreaOf(Form)->subWindowList().size(), 1);
}

TEST_F(MainFormTest, ActionsFollowTheDeviceWindows) {
    const QStringList always = {"openDev0Action", "exitAction"};
    const QStringList withCurrent = {"openDev0Action",    "configureAction",   "sendFileAction",
                                     "receiveFileAction", "closeWindowAction", "exitAction"};
    EXPECT_EQ(Enabled(), always) << "no window";

    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    EXPECT_EQ(Enabled(), withCurrent) << "one window";

    ASSERT_EQ(OpenDev1(), QString());
    EXPECT_EQ(CurrentSlotOf(Form), Slot(1));
    EXPECT_EQ(Enabled(), withCurrent) << "two windows";

    Slot(1)->StartCapture(TFilePtr(std::tmpfile()));
    EXPECT_TRUE(Enabled().contains("closeFileAction")) << "a capture on the current slot";

    QMdiSubWindow* first = MdiAreaOf(Form)->subWindowList().at(0);
    MdiAreaOf(Form)->setActiveSubWindow(first);
    EXPECT_EQ(CurrentSlotOf(Form), Slot(0)) << "activation makes the slot current";
    EXPECT_FALSE(Enabled().contains("closeFileAction"));

    first->close();
    QApplication::processEvents();
    EXPECT_EQ(Window(0), nullptr);
    EXPECT_FALSE(Slot(0)->IsOpen());
    EXPECT_FALSE(Fake.Device(0).Open);
    EXPECT_EQ(MdiAreaOf(Form)->subWindowList().size(), 1);
    EXPECT_EQ(CurrentSlotOf(Form), Slot(1)) << "the frame activates the remaining window";
    EXPECT_EQ(Enabled(),
              (QStringList{"openDev0Action", "configureAction", "sendFileAction", "receiveFileAction",
                           "closeFileAction", "closeWindowAction", "exitAction"}))
        << "one window left, capturing";

    MdiAreaOf(Form)->subWindowList().at(0)->close();
    QApplication::processEvents();
    EXPECT_EQ(CurrentSlotOf(Form), nullptr);
    EXPECT_EQ(Enabled(), always) << "all closed";
    EXPECT_TRUE(Slot(1)->Capturing()) << "a capture outlives its window";
}

TEST_F(MainFormTest, ReopeningStartsFromTheDefaults) {
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    Fake.Device(0).ClearCalls();
    {
        TModalAnswer answer([](QDialog* d) {
            d->findChild<QComboBox*>(QStringLiteral("baudRateBox"))->setCurrentIndex(5);
            d->findChild<QComboBox*>(QStringLiteral("stopBitsBox"))->setCurrentIndex(1);
        });
        Trigger(Form, "configureAction");
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_SetBaudRate"), QStringList{"ZQ_SetBaudRate(9600)"});
    EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_SetDataCharacteristics"),
              QStringList{"ZQ_SetDataCharacteristics(8,2,0)"});
    EXPECT_EQ(Slot(0)->Settings().BaudRate, 9600u);

    MdiAreaOf(Form)->subWindowList().at(0)->close();
    QApplication::processEvents();
    Fake.Device(0).ClearCalls();
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_SetBaudRate"), QStringList{"ZQ_SetBaudRate(115200)"});
    EXPECT_EQ(Slot(0)->Settings(), TPortSettings{});
}

TEST_F(MainFormTest, RefusedSettingsFromTheDialogAreReported) {
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    Fake.Device(0).Statuses["ZQ_SetFlowControl"] = ZQ_NOT_SUPPORTED;
    Fake.Device(0).ClearCalls();
    QStringList shown;
    {
        TErrorBoxes boxes(shown);
        TModalAnswer answer([](QDialog* d) {
            d->findChild<QComboBox*>(QStringLiteral("flowControlBox"))->setCurrentIndex(2);
        });
        Trigger(Form, "configureAction");
    }
    EXPECT_EQ(Slot(0)->Settings().FlowControl, TFlowControl::DtrDsr) << "the slot keeps the new values";
    EXPECT_TRUE(Fake.Device(0).CallTexts("ZQ_SetTimeouts").isEmpty());
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("The device did not accept the port settings"));
}

TEST_F(MainFormTest, CancelledConfigurationChangesNothing) {
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    Fake.Device(0).ClearCalls();
    TModalAnswer answer(
        [](QDialog* d) { d->findChild<QComboBox*>(QStringLiteral("baudRateBox"))->setCurrentIndex(0); },
        false);
    Trigger(Form, "configureAction");
    EXPECT_TRUE(answer.Answered());
    EXPECT_TRUE(Commands().isEmpty());
    EXPECT_EQ(Slot(0)->Settings().BaudRate, 115200u);
}

TEST_F(MainFormTest, ExitClosesDevicesAndCaptureFiles) {
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("exit-capture.bin"));
    Slot(0)->StartCapture(TFilePtr(std::fopen(path.toLocal8Bit().constData(), "wb")));
    Fake.Device(0).Received = "buffered";
    Slot(0)->Poll();
    Trigger(Form, "exitAction");
    QApplication::processEvents();
    EXPECT_FALSE(Fake.Device(0).Open);
    EXPECT_FALSE(Slot(0)->Capturing());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("buffered"));
}

TEST(OpenFailureLine, TheStatusBarSaysWhyThePortDidNotOpen) {
    const QString port = "/dev/kelmor-no-such-port";
    // Without a failing operation the serial backend opens the port; else the fake refuses that operation.
    const std::pair<const char*, QString> cases[] = {
        {nullptr, port + ": no such port"},
        {"ZQ_SetBaudRate", port + ": the port refused its settings"},
        {"ZQ_GetModemStatus", port + ": the modem lines could not be read"},
    };
    TPortsScope ports;
    std::optional<TFakeDeviceLibrary> fake;
    QString mapped = port;
    // The fake's devices while there is one, else this machine's ports with the simulated drives; DEV0
    // maps to the port of the case.
    TMainForm form(TPortFactory(
        [&](std::int32_t index, const QString& name, TOpenFailure& failure) {
            return (fake ? fake->Ports() : ports.Ports())(index, name, failure);
        },
        [&](std::int32_t) { return mapped; }));
    auto* line = form.findChild<QLabel*>("openFailureLabel");
    ASSERT_NE(line, nullptr);
    for (const auto& [failingOp, reason] : cases) {
        fake.reset();
        if (failingOp)
            fake.emplace().Device(0).Statuses[failingOp] = ZQ_IO_ERROR;
        QString shown;
        TModalAnswer answer([&](QDialog* d) { shown = d->findChild<QLabel*>("textLabel")->text(); });
        Trigger(form, "openDev0Action");
        EXPECT_EQ(shown, QStringLiteral("Can't open DEV0")) << reason.toStdString();
        EXPECT_EQ(line->text(), reason);
    }
    fake.reset();
    mapped = "sim";
    Trigger(form, "openDev0Action");
    EXPECT_EQ(line->text(), QString()) << "an open that succeeds clears the line";
}

// The switches show the lines as the slot holds them: a box unticked in the dialog but not applied
// leaves the new device's RTS raised, as every open starts from the defaults.
TEST_F(MainFormTest, SwitchesShowTheSlotsOutputLines) {
    Form.findChild<TPortDialog*>()->findChild<QCheckBox*>("rtsCheck")->setChecked(false);
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    EXPECT_EQ(ShownColour(Window(0)->findChild<QLabel*>("rtsLabel")), LineColour(true));
    Window(0)->Slot()->SetDtr(false);
    EXPECT_EQ(ShownColour(Window(0)->findChild<QLabel*>("dtrLabel")), LineColour(false));
}

TEST_F(MainFormTest, AltKeysInTheTerminalSendNothingAndReachTheMenus) {
    Form.show();
    ASSERT_EQ(OpenWith("openDev0Action"), QString());
    QApplication::setActiveWindow(&Form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
    auto* terminal = Window(0)->findChild<QWidget*>("terminal");
    terminal->setFocus();
    Fake.Device(0).Written.clear();
    QTest::keyClick(terminal, Qt::Key_P, Qt::AltModifier);
    QTest::keyClick(terminal, Qt::Key_X, Qt::MetaModifier);
    EXPECT_TRUE(Fake.Device(0).Written.isEmpty());
    auto* portMenu = Form.findChild<QMenu*>("portMenu");
    EXPECT_TRUE(portMenu->isVisible()) << "Alt+P opens the Port menu";
    portMenu->close();
    QTest::keyClick(terminal, Qt::Key_P);
    EXPECT_EQ(Fake.Device(0).Written, QByteArray("p"));
}
