// The terminal of the main window's device window against the simulated drive, on the steady
// clock: keys typed into the terminal reach the drive, and its echo and answers come back through
// the window's own poll timer.

#include "device/simport.h"
#include "link/deviceslots.h"
#include "tests/support/modal.h"
#include "tests/support/qtprinters.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/mainwindow/mainform.h"

#include "ui/devicewindow/terminalview.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class TerminalWithSimulatedDrive : public ::testing::Test {
protected:
    void SetUp() override {
        FPortsWasSet = qEnvironmentVariableIsSet("ZQLINK_PORTS");
        FSavedPorts = qgetenv("ZQLINK_PORTS");
        qputenv("ZQLINK_PORTS", "sim");
        ResetSimClock();
        ResetSimulatedDrives();
        Form = std::make_unique<TMainForm>();
        {
            TModalAnswer failure(nullptr);
            Trigger(*Form, "openDev0Action");
            ASSERT_FALSE(failure.Answered()) << "DEV0 did not open";
        }
        ASSERT_NE(WindowOf(*Form, 0), nullptr);
        Memo = WindowOf(*Form, 0)->findChild<TTerminalView*>(QStringLiteral("terminal"));
        ASSERT_NE(Memo, nullptr);
    }

    void TearDown() override {
        Form.reset();
        ResetSimulatedDrives();
        if (FPortsWasSet)
            qputenv("ZQLINK_PORTS", FSavedPorts);
        else
            qunsetenv("ZQLINK_PORTS");
    }

    std::unique_ptr<TMainForm> Form;
    TTerminalView* Memo = nullptr;

private:
    bool FPortsWasSet = false;
    QByteArray FSavedPorts;
};

} // namespace

TEST_F(TerminalWithSimulatedDrive, TypedLinesReachTheDriveAndItsAnswersAreShown) {
    struct Step {
        const char* Name;
        std::function<void(QWidget*)> Type;
        QString Shown; // the whole terminal text afterwards
    };
    const auto line = [](const char* text) {
        return [text](QWidget* memo) {
            QTest::keyClicks(memo, QString::fromLatin1(text));
            QTest::keyClick(memo, Qt::Key_Return);
        };
    };
    const Step steps[] = {
        {"read a register", line("P1"), "P1\n1024:"},
        {"answer its prompt with a new value", line("1500"), "P1\n1024:1500\n"},
        {"read it back", line("P1"), "P1\n1024:1500\nP1\n1500:"},
        {"keep it with an empty answer", line(""), "P1\n1024:1500\nP1\n1500:\n"},
        {"an unknown command", line("X"), "P1\n1024:1500\nP1\n1500:\nX\n?\n"},
        {"a backspace is sent, its echo not shown",
         [](QWidget* memo) {
             QTest::keyClicks(memo, QStringLiteral("P2"));
             QTest::keyClick(memo, Qt::Key_Backspace);
             QTest::keyClicks(memo, QStringLiteral("8"));
             QTest::keyClick(memo, Qt::Key_Return);
         },
         "P1\n1024:1500\nP1\n1500:\nX\n?\nP2 8\n64:"},
    };
    for (const Step& s : steps) {
        s.Type(Memo);
        const bool shown = QTest::qWaitFor([&] { return Memo->toPlainText() == s.Shown; }, 5000);
        ASSERT_TRUE(shown) << s.Name << ": the terminal shows "
                           << ::testing::PrintToString(Memo->toPlainText());
    }
    EXPECT_EQ(SimulatedDrive(0).Register(1), 1500);
}

TEST_F(TerminalWithSimulatedDrive, RapidMoveThenPositionShowsTheDriveAtTheTarget) {
    const TDriveSim& drive = SimulatedDrive(0);
    const std::int32_t target = TDriveSim::KStartPosition + 2000;
    TDeviceWindow* window = WindowOf(*Form, 0);
    window->findChild<QLineEdit*>("rapidTargetEdit")->setText(QString::number(target));
    window->findChild<QPushButton*>("rapidMoveButton")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !drive.Model().Moving() && drive.Position() == target; }, 10000))
        << "the drive stands at " << drive.Position();
    window->findChild<QPushButton*>("positionButton")->click();
    const QString shown = "X=" + QString::number(target) + "\n";
    EXPECT_TRUE(QTest::qWaitFor([&] { return Memo->toPlainText().endsWith(shown); }, 5000))
        << ::testing::PrintToString(Memo->toPlainText());
}
