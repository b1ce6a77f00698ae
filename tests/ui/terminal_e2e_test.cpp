// The terminal of the main window's device window against the simulated drive, on the steady
// clock, direct and behind a converter: keys typed into the terminal reach the drive, and its echo
// and answers come back through the window's own poll timer; so do the diagnostics and the moves, and
// a file sent while the drive's output is captured.

#include "harness/qtprinters.h"
#include "link/deviceslots.h"
#include "tests/support/modal.h"
#include "tests/support/portsscope.h"
#include "tests/support/simulatedlines.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/mainwindow/mainform.h"

#include "ui/devicewindow/terminalview.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class TerminalWithSimulatedDrive : public ::testing::TestWithParam<TSimulatedLine> {
protected:
    void SetUp() override {
        Form = std::make_unique<TMainForm>(Simulated.Ports());
        {
            TModalAnswer failure(nullptr);
            Trigger(*Form, "openDev0Action");
            ASSERT_FALSE(failure.Answered()) << "DEV0 did not open";
        }
        ASSERT_NE(WindowOf(*Form, 0), nullptr);
        Memo = WindowOf(*Form, 0)->findChild<TTerminalView*>(QStringLiteral("terminal"));
        ASSERT_NE(Memo, nullptr);
    }

    void TearDown() override { Form.reset(); }

    TPortsScope Simulated{GetParam().Ports()};
    std::unique_ptr<TMainForm> Form;
    TTerminalView* Memo = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Lines, TerminalWithSimulatedDrive, ::testing::ValuesIn(SimulatedLines), LineName);

} // namespace

TEST_P(TerminalWithSimulatedDrive, TypedLinesReachTheDriveAndItsAnswersAreShown) {
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
    EXPECT_EQ(Simulated.Drive(0).Register(1), 1500);
}

TEST_P(TerminalWithSimulatedDrive, RapidMoveThenPositionShowsTheDriveAtTheTarget) {
    const TDriveSim& drive = Simulated.Drive(0);
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

TEST_P(TerminalWithSimulatedDrive, DiagnosticsAnswerInTheTerminal) {
    TDeviceWindow* window = WindowOf(*Form, 0);
    window->findChild<QPushButton*>("identifyButton")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Memo->toPlainText().contains("KELMOR-SIM servo drive"); }, 5000))
        << ::testing::PrintToString(Memo->toPlainText());
    window->findChild<QRadioButton*>("torqueModeButton")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Simulated.Drive(0).Mode() == TControlMode::Torque; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Memo->toPlainText().endsWith("M1\nOK\n"); }, 5000));
}

// The capture holds every byte of the drive's answers to the file's lines, late and in bursts or not.
TEST_P(TerminalWithSimulatedDrive, AFileSentIsAnsweredIntoTheCapture) {
    QTemporaryDir dir;
    const QString lines = dir.filePath("lines.txt");
    const QString capture = dir.filePath("capture.bin");
    {
        QFile file(lines);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("P2 1000\rW1\rP2\r\r");
    }
    ASSERT_TRUE(RunWithChosenFile(*Form, "receiveFileAction", capture));
    ASSERT_TRUE(RunWithChosenFile(*Form, "sendFileAction", lines));
    const QByteArray answered = "P2 1000\r\nW1\r\nOK\r\nP2\r\n1000:\r\n";
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(capture).size() >= answered.size(); }, 5000));
    Trigger(*Form, "closeFileAction");
    QFile file(capture);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), answered);
    EXPECT_EQ(Memo->toPlainText(), QString()) << "nothing of it in the terminal";
    EXPECT_EQ(Simulated.Drive(0).BankRegister(1, 2), 1000);
}
