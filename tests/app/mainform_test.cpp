#include "app/deviceslot.h"
#include "app/errorbox.h"
#include "app/errorform.h"
#include "app/mainform.h"
#include "device/configform.h"
#include "terminal/mdichild.h"
#include "tests/support/fakeport.h"
#include "tests/support/modal.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <gtest/gtest.h>

namespace {

class MainFormTest : public ::testing::Test {
protected:
    QAction* Action(const char* name) { return Form.findChild<QAction*>(QString::fromLatin1(name)); }

    // Runs an open command and returns the error dialog's text, empty when none was shown.
    QString OpenWith(void (TMainForm::*command)()) {
        QString shown;
        TModalAnswer answer([&](QDialog* d) {
            if (auto* text = d->findChild<QLabel*>(QStringLiteral("Text")))
                shown = text->text();
        });
        (Form.*command)();
        return shown;
    }

    QStringList Enabled() {
        Form.UpdateActions();
        QStringList on;
        for (const char* name : {"Dev0OpenAction", "DEV1Item", "ConfigureAction", "SendFileAction",
                                 "ReceiveFileAction", "CloseFileAction", "WindowClose1", "FileExit1"})
            if (Action(name)->isEnabled())
                on << QString::fromLatin1(name);
        return on;
    }

    TFakeDeviceLibrary Fake;
    TMainForm Form;
};

} // namespace

TEST_F(MainFormTest, OpeningDev0AppliesTheDefaultsAndCreatesItsWindow) {
    Fake.Device(0).ModemStatus = ZQ_MODEM_STATUS_CTS | ZQ_MODEM_STATUS_DSR;
    EXPECT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
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

    TDeviceSlot& slot = DeviceSlots[0];
    ASSERT_NE(slot.Child, nullptr);
    EXPECT_EQ(CurrentSlot, &slot);
    EXPECT_EQ(slot.Child->windowTitle(), QStringLiteral("DEV0"));
    EXPECT_EQ(slot.Settings.Cts, 1);
    EXPECT_EQ(slot.Settings.Dsr, 1);
    ASSERT_EQ(Form.MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(Form.MdiArea()->subWindowList().first()->widget(), slot.Child);
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
        EXPECT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QStringLiteral("Can't open DEV0")) << c.FailingOp;
        EXPECT_EQ(DeviceSlots[0].Child, nullptr) << c.FailingOp;
        EXPECT_EQ(CurrentSlot, nullptr) << c.FailingOp;
        EXPECT_TRUE(Form.MdiArea()->subWindowList().isEmpty()) << c.FailingOp;
        EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_Close").size(), c.ClosedAgain ? 1 : 0) << c.FailingOp;
        EXPECT_FALSE(Fake.Device(0).Open) << c.FailingOp;
    }
}

TEST_F(MainFormTest, OpeningAnOpenDeviceAgainFailsAndTouchesNothing) {
    ASSERT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
    TMDIChild* child = DeviceSlots[0].Child;
    const int calls = int(Fake.Device(0).Calls.size());
    EXPECT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QStringLiteral("Can't open DEV0"));
    EXPECT_EQ(DeviceSlots[0].Child, child);
    EXPECT_EQ(int(Fake.Device(0).Calls.size()), calls);
    EXPECT_TRUE(Fake.Device(0).Open);
    EXPECT_EQ(Form.MdiArea()->subWindowList().size(), 1);
}

TEST_F(MainFormTest, ActionsFollowTheDeviceWindows) {
    const QStringList always = {"Dev0OpenAction", "FileExit1"};
    const QStringList withCurrent = {"Dev0OpenAction",    "ConfigureAction", "SendFileAction",
                                     "ReceiveFileAction", "WindowClose1",    "FileExit1"};
    EXPECT_EQ(Enabled(), always) << "no window";

    ASSERT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
    EXPECT_EQ(Enabled(), withCurrent) << "one window";

    ASSERT_EQ(OpenWith(&TMainForm::DEV1ItemClick), QString());
    EXPECT_EQ(CurrentSlot, &DeviceSlots[1]);
    EXPECT_EQ(Enabled(), withCurrent) << "two windows";

    DeviceSlots[1].CaptureFile.reset(std::tmpfile());
    EXPECT_TRUE(Enabled().contains("CloseFileAction")) << "a capture on the current slot";

    QMdiSubWindow* first = Form.MdiArea()->subWindowList().at(0);
    Form.MdiArea()->setActiveSubWindow(first);
    EXPECT_EQ(CurrentSlot, &DeviceSlots[0]) << "activation makes the slot current";
    EXPECT_FALSE(Enabled().contains("CloseFileAction"));

    first->close();
    QApplication::processEvents();
    EXPECT_EQ(DeviceSlots[0].Child, nullptr);
    EXPECT_FALSE(Fake.Device(0).Open);
    EXPECT_EQ(Form.MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(CurrentSlot, &DeviceSlots[1]) << "the frame activates the remaining window";
    EXPECT_EQ(Enabled(), (QStringList{"Dev0OpenAction", "ConfigureAction", "SendFileAction",
                                      "ReceiveFileAction", "CloseFileAction", "WindowClose1", "FileExit1"}))
        << "one window left, capturing";

    Form.MdiArea()->subWindowList().at(0)->close();
    QApplication::processEvents();
    EXPECT_EQ(CurrentSlot, nullptr);
    EXPECT_EQ(Enabled(), always) << "all closed";
    EXPECT_NE(DeviceSlots[1].CaptureFile, nullptr) << "a capture outlives its window";
}

TEST_F(MainFormTest, ReopeningStartsFromTheDefaults) {
    ASSERT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
    Fake.Device(0).ClearCalls();
    {
        TModalAnswer answer([](QDialog* d) {
            d->findChild<QComboBox*>(QStringLiteral("BaudRateCB"))->setCurrentIndex(5);
            d->findChild<QComboBox*>(QStringLiteral("StopBitsCB"))->setCurrentIndex(1);
        });
        Form.ConfigureItemClick();
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_SetBaudRate"), QStringList{"ZQ_SetBaudRate(9600)"});
    EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_SetDataCharacteristics"),
              QStringList{"ZQ_SetDataCharacteristics(8,2,0)"});
    EXPECT_EQ(DeviceSlots[0].Settings.BaudIndex, 5);

    Form.MdiArea()->subWindowList().at(0)->close();
    QApplication::processEvents();
    Fake.Device(0).ClearCalls();
    ASSERT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
    EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_SetBaudRate"), QStringList{"ZQ_SetBaudRate(115200)"});
    EXPECT_EQ(DeviceSlots[0].Settings, TPortSettings{});
}

TEST_F(MainFormTest, RefusedSettingsFromTheDialogAreReported) {
    ASSERT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
    Fake.Device(0).Statuses["ZQ_SetFlowControl"] = ZQ_NOT_SUPPORTED;
    Fake.Device(0).ClearCalls();
    QStringList shown;
    SetErrorBoxHook([&](const QString& text) { shown << text; });
    {
        TModalAnswer answer([](QDialog* d) {
            d->findChild<QComboBox*>(QStringLiteral("FlowControlCB"))->setCurrentIndex(2);
        });
        Form.ConfigureItemClick();
    }
    SetErrorBoxHook({});
    EXPECT_EQ(DeviceSlots[0].Settings.FlowControl, 2) << "the slot keeps the new values";
    EXPECT_TRUE(Fake.Device(0).CallTexts("ZQ_SetTimeouts").isEmpty());
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("The device did not accept the port settings"));
}

TEST_F(MainFormTest, CancelledConfigurationChangesNothing) {
    ASSERT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
    Fake.Device(0).ClearCalls();
    TModalAnswer answer(
        [](QDialog* d) { d->findChild<QComboBox*>(QStringLiteral("BaudRateCB"))->setCurrentIndex(0); },
        false);
    Form.ConfigureItemClick();
    EXPECT_TRUE(answer.Answered());
    EXPECT_TRUE(Fake.Device(0).CallTexts().isEmpty());
    EXPECT_EQ(DeviceSlots[0].Settings.BaudIndex, 10);
}

TEST_F(MainFormTest, ExitClosesDevicesAndCaptureFiles) {
    ASSERT_EQ(OpenWith(&TMainForm::DEV0ItemExecute), QString());
    const QString path = QDir::temp().filePath(QStringLiteral("kelmor-exit-capture.bin"));
    DeviceSlots[0].CaptureFile.reset(std::fopen(path.toLocal8Bit().constData(), "wb"));
    std::fputs("buffered", DeviceSlots[0].CaptureFile.get());
    Form.PortExit1Execute();
    QApplication::processEvents();
    EXPECT_FALSE(Fake.Device(0).Open);
    EXPECT_EQ(DeviceSlots[0].CaptureFile, nullptr);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("buffered"));
    file.remove();
}

TEST(DeviceNames, IndexFromTheFourthCharacterOn) {
    const std::pair<const char*, int> cases[] = {{"DEV0", 0},  {"DEV1", 1},   {"DEV3", 3},   {"DEV", 0},
                                                 {"DEV 2", 2}, {"DEV-1", -1}, {"DEV+2x", 2}, {"DEVx", 0}};
    for (const auto& [name, index] : cases)
        EXPECT_EQ(DeviceIndexFromName(QString::fromLatin1(name)), index) << name;
    EXPECT_EQ(SlotForName(QStringLiteral("DEV2")), &DeviceSlots[2]);
    EXPECT_EQ(SlotForName(QStringLiteral("DEV7")), nullptr);
    EXPECT_EQ(SlotForName(QStringLiteral("DEV-1")), nullptr);
}
