// The file commands of the main window against the fake device: the file dialog, the send loop
// with its stall bound and the capture as a state of the device slot.

#include "harness/fakeport.h"
#include "link/capturefile.h"
#include "link/deviceslots.h"
#include "tests/support/formparts.h"
#include "tests/support/modal.h"
#include "tests/support/testbytes.h"
#include "tests/ui/framecommands.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/mainwindow/mainform.h"

#include "ui/devicewindow/terminalview.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <deque>

namespace {

// Whether this process still holds the file open, as the descriptor table shows it.
bool HeldOpen(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            return true;
    return false;
}

class MainFormTransfer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        ASSERT_TRUE(Open("openDev0Action"));
    }

    void TearDown() override { SlotsOf(Form)->CloseAll(); }

    // Opens a device through its menu item; false (and no dialog left waiting) when it fails.
    bool Open(const char* action) {
        TModalAnswer failure(nullptr);
        Trigger(Form, action);
        return !failure.Answered();
    }

    QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

    QString Make(const char* name, const QByteArray& content) const {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return file.fileName();
    }

    static QByteArray Content(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }

    TDeviceSlot* Slot(int index) { return SlotsOf(Form)->At(index); }

    QString Terminal(int index) {
        TDeviceWindow* child = WindowOf(Form, index);
        return child ? child->findChild<TTerminalView*>(QStringLiteral("terminal"))->toPlainText()
                     : QStringLiteral("(closed)");
    }

    void Receive(int index, const QByteArray& bytes) {
        Fake.Device(index).Received += bytes;
        Slot(index)->Poll();
    }

    TFakeDeviceLibrary Fake;
    TMainForm Form{Fake.Ports()};
    QTemporaryDir Dir;
    QStringList Errors;
    TErrorBoxes ErrorBoxes{Errors};
};

} // namespace

TEST_F(MainFormTransfer, SendWritesTheFileInChunks) {
    struct Case {
        const char* Name;
        int Size;
        std::deque<int> WriteLimits; // then every byte offered
        std::vector<int> Offered;
    };
    const Case cases[] = {
        {"empty file", 0, {}, {}},
        {"600 bytes", 600, {}, {256, 256, 88}},
        {"short writes send the rest", 600, {100, -1, 50, 30}, {256, 156, 256, 206, 176, 88}},
    };
    for (const Case& c : cases) {
        TFakeDevice& device = Fake.Device(0);
        device.ClearCalls();
        device.Written.clear();
        device.WriteLimits = c.WriteLimits;
        const QByteArray data = BytePattern(c.Size);
        const QString path = Make("send.bin", data);

        ASSERT_TRUE(RunWithChosenFile(Form, "sendFileAction", path)) << c.Name;
        EXPECT_EQ(WriteSizes(device.Writes()), c.Offered) << c.Name;
        EXPECT_EQ(device.Written, data) << c.Name;
        EXPECT_FALSE(HeldOpen(path)) << c.Name << ": the file is closed at the end of the send";
        EXPECT_EQ(Errors, QStringList()) << c.Name;
    }
}

TEST_F(MainFormTransfer, CancelledOrUnopenableFilesEndTheCommandSilently) {
    struct Case {
        const char* Name;
        const char* Command;
        QString Path;
        bool Accept;
    };
    const QString existing = Make("exists.bin", "data");
    const Case cases[] = {
        {"send cancelled", "sendFileAction", existing, false},
        {"send of a missing file", "sendFileAction", Path("missing.bin"), true},
        {"receive cancelled", "receiveFileAction", Path("new.bin"), false},
        {"receive into a missing folder", "receiveFileAction", Path("none/new.bin"), true},
    };
    for (const Case& c : cases) {
        Fake.Device(0).ClearCalls();
        ASSERT_TRUE(RunWithChosenFile(Form, c.Command, c.Path, c.Accept)) << c.Name;
        EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_Write"), QStringList()) << c.Name;
        EXPECT_FALSE(Slot(0)->Capturing()) << c.Name;
        EXPECT_FALSE(QFileInfo::exists(Path("new.bin"))) << c.Name;
        EXPECT_EQ(Errors, QStringList()) << c.Name;
    }
    EXPECT_EQ(Content(existing), QByteArray("data"));
}

// The device that refuses every byte after the first 356: while the loop waits, the devices' polls
// go on, and it gives up after the bounded stall (the floor of three seconds at the default
// write time-out) with a message that says how far it got.
TEST_F(MainFormTransfer, AStalledDeviceIsPolledAndTheSendStopsWithAMessage) {
    // DEV1's menu item stays disabled; it is enabled for the one open only.
    ActionOf(Form, "openDev1Action")->setEnabled(true);
    ASSERT_TRUE(Open("openDev1Action"));
    ASSERT_EQ(CurrentSlotOf(Form), Slot(1));
    TFakeDevice& stalled = Fake.Device(1);
    stalled.WriteLimits = {256, 100};
    stalled.WriteLimit = 0;
    const QByteArray data = BytePattern(600);
    const QString path = Make("stall.bin", data);
    Fake.Device(0).ClearCalls();
    stalled.ClearCalls();
    // Bytes arriving during the stall are shown, not left waiting.
    Fake.Device(0).Received = "from DEV0\r";

    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(RunWithChosenFile(Form, "sendFileAction", path));
    const qint64 ms = elapsed.elapsed();

    EXPECT_EQ(stalled.Written, data.left(356));
    EXPECT_EQ(Errors, QStringList{"The device accepted no data for 3 s; the send was stopped after 356 of "
                                  "600 bytes."});
    EXPECT_GE(ms, 3000);
    EXPECT_LT(ms, 15000) << "the stall is bounded";
    EXPECT_GT(Fake.Device(0).CallTexts("ZQ_GetStatus").size(), 0);
    EXPECT_GT(stalled.CallTexts("ZQ_GetStatus").size(), 0);
    EXPECT_EQ(Terminal(0), QStringLiteral("from DEV0\n"));
    EXPECT_FALSE(HeldOpen(path));
}

TEST_F(MainFormTransfer, CaptureTakesEveryByteWhileTheTerminalStaysAsItWas) {
    Receive(0, "before\r");
    ASSERT_EQ(Terminal(0), QStringLiteral("before\n"));

    const QString first = Path("first.cap"), second = Path("second.cap");
    Make("first.cap", "old content is truncated");
    ASSERT_TRUE(RunWithChosenFile(Form, "receiveFileAction", first));
    ASSERT_TRUE(Slot(0)->Capturing());
    EXPECT_EQ(Content(first), QByteArray());

    // Two of every byte value, then CR LF and NUL: reads of 256, 256 and 3 in one poll.
    QByteArray bytes = BytePattern(512) + "\r\n";
    bytes += '\0';
    Fake.Device(0).ClearCalls();
    Receive(0, bytes);
    EXPECT_EQ(Content(first), bytes);
    EXPECT_EQ(Terminal(0), QStringLiteral("before\n"));
    EXPECT_EQ(Fake.Device(0).CallTexts("ZQ_Read"),
              (QStringList{"ZQ_Read(256)", "ZQ_Read(256)", "ZQ_Read(3)"}));

    // A second receive makes its file the capture; the first is closed with all it got.
    ASSERT_TRUE(RunWithChosenFile(Form, "receiveFileAction", second));
    EXPECT_FALSE(HeldOpen(first));
    EXPECT_TRUE(HeldOpen(second));
    Receive(0, "into the second");
    EXPECT_EQ(Content(first), bytes);
    EXPECT_EQ(Content(second), QByteArray("into the second"));

    Trigger(Form, "closeFileAction");
    EXPECT_FALSE(Slot(0)->Capturing());
    EXPECT_FALSE(HeldOpen(second));
    Receive(0, "after\r");
    EXPECT_EQ(Terminal(0), QStringLiteral("before\nafter\n"));
    EXPECT_EQ(Content(second), QByteArray("into the second"));
    EXPECT_EQ(Errors, QStringList());
}

TEST_F(MainFormTransfer, CaptureGoesOnAcrossClosingAndReopeningTheDevice) {
    const QString path = Path("across.cap");
    ASSERT_TRUE(RunWithChosenFile(Form, "receiveFileAction", path));
    Receive(0, "one\r\n");

    MdiAreaOf(Form)->subWindowList().at(0)->close();
    QApplication::processEvents();
    ASSERT_EQ(Terminal(0), QStringLiteral("(closed)"));
    EXPECT_FALSE(Fake.Device(0).Open);
    EXPECT_TRUE(Slot(0)->Capturing());
    EXPECT_TRUE(HeldOpen(path));

    ASSERT_TRUE(Open("openDev0Action"));
    // Opening purges what the device held; what arrives after it goes on into the same file.
    Receive(0, "two");
    EXPECT_EQ(Content(path), QByteArray("one\r\ntwo"));
    EXPECT_EQ(Terminal(0), QString());
    EXPECT_EQ(Errors, QStringList());
}
