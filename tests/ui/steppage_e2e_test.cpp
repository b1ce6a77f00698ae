// The step test of the main window's device window against the simulated drive, on the steady
// clock: the default gains overshoot moderately, doubled KP more.

#include "common/numtext.h"
#include "device/port.h"
#include "device/simport.h"
#include "drive/commandlines.h"
#include "drive/registertable.h"
#include "tests/support/modal.h"
#include "tests/support/qtprinters.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/errorbox/errorbox.h"
#include "ui/mainwindow/mainform.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class StepPageWithSimulatedDrive : public ::testing::Test {
protected:
    void SetUp() override {
        FPortsWereSet = qEnvironmentVariableIsSet("ZQLINK_PORTS");
        FSavedPorts = qgetenv("ZQLINK_PORTS");
        qputenv("ZQLINK_PORTS", "sim");
        ResetSimClock();
        ResetSimulatedDrives();
        SetErrorBoxHook([this](const QString& message) { Errors << message; });
        Form = std::make_unique<TMainForm>();
        TModalAnswer failure(nullptr);
        Form->OpenDevice0();
        ASSERT_FALSE(failure.Answered()) << "DEV0 did not open";
        Window = Form->WindowOf(0);
        ASSERT_NE(Window, nullptr);
    }

    void TearDown() override {
        Form.reset();
        SetErrorBoxHook({});
        CloseAllPorts();
        ResetSimulatedDrives();
        if (FPortsWereSet)
            qputenv("ZQLINK_PORTS", FSavedPorts);
        else
            qunsetenv("ZQLINK_PORTS");
    }

    // Runs one test and returns its overshoot in percent.
    double Overshoot() {
        QTest::mouseClick(Window->findChild<QPushButton*>(QStringLiteral("runButton")), Qt::LeftButton);
        EXPECT_TRUE(Errors.isEmpty()) << Errors.join(' ').toStdString();
        EXPECT_TRUE(Window->findChild<QLabel*>(QStringLiteral("samplesNoteLabel"))->isHidden())
            << "all 500 samples came";
        return double(StrToFloat(Window->findChild<QLabel*>(QStringLiteral("overshootLabel"))->text()));
    }

    std::unique_ptr<TMainForm> Form;
    TDeviceWindow* Window = nullptr;
    QStringList Errors;

private:
    bool FPortsWereSet = false;
    QByteArray FSavedPorts;
};

} // namespace

TEST_F(StepPageWithSimulatedDrive, DoubledKpOvershootsMore) {
    const double byDefault = Overshoot();
    EXPECT_GT(byDefault, 1);
    EXPECT_LT(byDefault, 30);

    const int kp = RegisterTable[KP].Register;
    const std::int32_t doubled = 2 * SimulatedDrive(0).Register(kp);
    Window->Slot()->WriteLine(RegisterWriteLine(kp, doubled));
    // The echo is taken by the poll before the next test purges.
    ASSERT_TRUE(QTest::qWaitFor([&] { return SimulatedDrive(0).Register(kp) == doubled; }, 5000));
    QTest::qWait(2 * TDeviceSlot::KPollIntervalMs);
    EXPECT_GT(Overshoot(), byDefault);
}
