// File send and capture end to end: the main window opens DEV0 on a pseudo-terminal through the
// serial backend, and the test plays the device on the other end, on a thread of its own, as a
// converter moves bytes while the program works.

#include "harness/qtprinters.h"
#include "link/capturefile.h"
#include "link/deviceslots.h"
#include "tests/support/formparts.h"
#include "tests/support/modal.h"
#include "tests/support/portsscope.h"
#include "tests/support/pty.h"
#include "tests/support/testbytes.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/mainwindow/mainform.h"

#include "ui/devicewindow/terminalview.h"
#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

constexpr int KMegabyte = 1 << 20;

// Where two byte strings first differ, for a readable failure on a megabyte.
std::string FirstDifference(const QByteArray& got, const QByteArray& expected) {
    qsizetype i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i])
        ++i;
    if (i == got.size() && i == expected.size())
        return "equal";
    return "got " + std::to_string(got.size()) + " of " + std::to_string(expected.size()) +
           " bytes, the first difference at offset " + std::to_string(i);
}

class SerialTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Pty.Ok());
        ASSERT_TRUE(Dir.isValid());
        Form = std::make_unique<TMainForm>(Ports.Ports());
        {
            TModalAnswer failure(nullptr);
            Trigger(*Form, "openDev0Action");
            ASSERT_FALSE(failure.Answered()) << "DEV0 did not open";
        }
        ASSERT_NE(WindowOf(*Form, 0), nullptr);
        // Binary data must pass the line unchanged: no line editing, translation or flow control.
        const termios tio = Pty.Settings();
        ASSERT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        ASSERT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF), 0u);
        ASSERT_EQ(tio.c_oflag & OPOST, 0u);
    }

    void TearDown() override {
        SlotsOf(*Form)->CloseAll();
        Form.reset();
    }

    QString Terminal() const {
        return WindowOf(*Form, 0)->findChild<TTerminalView*>(QStringLiteral("terminal"))->toPlainText();
    }

    TPty Pty;
    QTemporaryDir Dir;
    TPortsScope Ports{Pty.SlavePath().toLocal8Bit()};
    std::unique_ptr<TMainForm> Form;
    QStringList Errors;
    TErrorBoxes ErrorBoxes{Errors};
};

} // namespace

// The peer starts reading late, so the send waits on a full line and outlasts the half second
// after which it shows its progress; the answer to the file dialog must leave that dialog alone.
TEST_F(SerialTransfer, SentFileArrivesCompleteAndInOrder) {
    const QByteArray data = BytePattern(KMegabyte + 77);
    const QString path = Dir.filePath(QStringLiteral("send.bin"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(data), data.size());
    }

    QByteArray received;
    std::jthread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        received = Pty.Receive(data.size(), 15000);
    });

    bool progressShown = false, progressCancelled = false;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
            progressShown = true;
            progressCancelled = progressCancelled || progress->wasCanceled();
        }
    });
    watch.start();
    ASSERT_TRUE(RunWithChosenFile(*Form, "sendFileAction", path));
    watch.stop();
    peer.join();

    EXPECT_EQ(FirstDifference(received, data), "equal");
    EXPECT_EQ(Errors, QStringList());
    EXPECT_TRUE(progressShown);
    EXPECT_FALSE(progressCancelled);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(SerialTransfer, ReceivedBytesAreCapturedExactly) {
    const QByteArray data = BytePattern(KMegabyte);
    const QString path = Dir.filePath(QStringLiteral("capture.bin"));
    ASSERT_TRUE(RunWithChosenFile(*Form, "receiveFileAction", path));
    ASSERT_TRUE(SlotsOf(*Form)->At(0)->Capturing());

    qsizetype sent = 0;
    std::jthread peer([&] { sent = Pty.SendAll(data, 15000); });

    // The window's timer polls as well; polling in between keeps the line from filling up.
    const QDeadlineTimer deadline(15000);
    while (QFileInfo(path).size() < data.size() && !deadline.hasExpired()) {
        SlotsOf(*Form)->At(0)->Poll();
        QTest::qWait(1);
    }
    peer.join();
    Trigger(*Form, "closeFileAction");

    EXPECT_EQ(sent, data.size());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(FirstDifference(file.readAll(), data), "equal");
    EXPECT_EQ(Terminal(), QString());
    EXPECT_EQ(Errors, QStringList());
}
