// A converter unplugged and plugged in again, played by a pseudo-terminal whose peer closes and a
// symbolic link that then points at a new one: the window says the device is lost, and when the
// port opens again it works on with the settings last applied.

#include "tests/support/modal.h"
#include "tests/support/portsscope.h"
#include "tests/support/pty.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/devicewindow/terminalview.h"
#include "ui/mainwindow/mainform.h"

#include <QComboBox>
#include <QFile>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

TEST(Reconnect, ALostPortComesBackWithItsSettings) {
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyKELMOR");
    auto first = std::make_unique<TPty>();
    ASSERT_TRUE(first->Ok());
    ASSERT_TRUE(QFile::link(first->SlavePath(), link));
    TPortsScope ports(link.toLocal8Bit());
    TMainForm form(ports.Ports());
    {
        TModalAnswer failure(nullptr);
        Trigger(form, "openDev0Action");
        ASSERT_FALSE(failure.Answered());
    }
    TDeviceWindow* window = WindowOf(form, 0);
    auto* terminal = window->findChild<TTerminalView*>("terminal");
    {
        TModalAnswer answer(
            [](QDialog* d) { d->findChild<QComboBox*>(QStringLiteral("baudRateBox"))->setCurrentIndex(5); });
        Trigger(form, "configureAction");
        ASSERT_TRUE(answer.Answered());
    }
    first->Send("one\r");
    EXPECT_TRUE(QTest::qWaitFor([&] { return terminal->toPlainText() == "one\n"; }, 2000));

    first->CloseMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() == "DEV0 — connection lost"; }, 2000));
    EXPECT_EQ(form.statusBar()->currentMessage(), "DEV0 — connection lost");
    QTest::keyClicks(terminal, "lost");

    TPty second;
    ASSERT_TRUE(second.Ok());
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(second.SlavePath(), link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->windowTitle() == "DEV0"; }, 3000));
    const termios applied = second.Settings();
    EXPECT_EQ(cfgetospeed(&applied), speed_t(B9600)) << "the settings applied last, not the defaults";
    EXPECT_EQ(second.Drain(100), QByteArray()) << "nothing typed while lost is sent later";
    QTest::keyClicks(terminal, "b");
    EXPECT_EQ(second.Receive(1, 2000), QByteArray("b"));
    second.Send("two\r");
    EXPECT_TRUE(QTest::qWaitFor([&] { return terminal->toPlainText() == "one\ntwo\n"; }, 2000));
}
