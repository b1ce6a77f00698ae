#include "harness/fakeport.h"
#include "link/deviceslots.h"
#include "tests/support/linecolours.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/motordatapage/motordatapage.h"
#include "ui/portdialog/portdialog.h"

#include "ui/devicewindow/terminalview.h"
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QByteArray Repeat(char c, int n) {
    return QByteArray(n, c);
}

// A device window bound to an opened fake device, as the main window leaves it after opening.
class DeviceWindow : public ::testing::Test {
protected:
    TFakeDeviceLibrary Fake;
    TDeviceSlots Slots{Fake.Ports()};
    TDriveModels Models{Slots};

    void TearDown() override {
        for (QPointer<TDeviceWindow>& w : FWindows)
            delete w.data();
    }

    TDeviceWindow* Open(int index) {
        TDeviceSlot* slot = Slots.At(index);
        EXPECT_TRUE(slot->Open());
        auto* window = new TDeviceWindow(*Models.At(index));
        FWindows.emplace_back(window);
        return window;
    }

    static TTerminalView* Memo(TDeviceWindow* w) { return w->findChild<TTerminalView*>("terminal"); }
    static QLabel* Label(TDeviceWindow* w, const char* name) { return w->findChild<QLabel*>(name); }
    static void Tick(TDeviceWindow* w) { w->Slot()->Poll(); }

private:
    std::vector<QPointer<TDeviceWindow>> FWindows;
};

} // namespace

TEST_F(DeviceWindow, StartsBoundToItsSlotWithDefaults) {
    TDeviceWindow* w = Open(1);
    EXPECT_EQ(w->windowTitle(), "DEV1");
    EXPECT_EQ(w->Slot(), Slots.At(1));
    EXPECT_TRUE(Memo(w)->toPlainText().isEmpty());
    QSignalSpy polled(w->Slot(), &TDeviceSlot::Received);
    EXPECT_TRUE(polled.wait(1000)) << "the slot polls";
    EXPECT_EQ(TDeviceSlot::KPollIntervalMs, 50);
    EXPECT_TRUE(Label(w, "recLabel")->isHidden());

    auto* pages = w->findChild<QTabWidget*>("pages");
    ASSERT_NE(pages, nullptr);
    const QStringList names = {"settingsPage", "stepPage",      "diagnosticsPage",
                               "movesPage",    "motorDataPage", "historyPage"};
    const QStringList captions = {"Nastawy Regulatora", "Skok jednostkowy",  "Diagnostyka",
                                  "Ruchy ręczne",       "Dane serwosilnika", "Historia"};
    ASSERT_EQ(pages->count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), names[i]);
        EXPECT_EQ(pages->tabText(i), captions[i]);
    }
    EXPECT_EQ(pages->currentWidget()->objectName(), "diagnosticsPage");

    const QString half = QStringLiteral("0") + QLocale().decimalPoint() + QStringLiteral("5");
    const std::pair<const char*, QString> defaults[] = {
        {"ratedVoltageEdit", "12"}, {"windingResistanceEdit", "6"}, {"ratedSpeedEdit", "4000"},
        {"ratedCurrentEdit", half}, {"supplyVoltageEdit", "12"},    {"encoderPulsesEdit", "500"}};
    for (const auto& [name, text] : defaults)
        EXPECT_EQ(w->findChild<QLineEdit*>(name)->text(), text) << name;
    w->findChild<QLineEdit*>("encoderPulsesEdit")->setText("1000");
    EXPECT_EQ(Open(2)->findChild<QLineEdit*>("encoderPulsesEdit")->text(), "500");
}

TEST_F(DeviceWindow, TerminalShowsLinesAndSelectsByTheRule) {
    const QByteArray digits = QByteArray("0123456789").repeated(8);
    struct Case {
        const char* Name;
        QByteArray Bytes;
        QString Text;
        QString Selected; // empty: caret at the end
        int Position;     // where the selection starts in the widget's text
    };
    const Case cases[] = {
        {"short lines", "AB\rCD\r\n", "AB\nCD\n", "", 6},
        {"one full line", Repeat('a', 80) + "bcdef", Repeat('a', 80) + "\nbcdef", "", 86},
        {"two full lines", Repeat('x', 80) + Repeat('y', 80) + "abcdef",
         Repeat('x', 80) + "\n" + Repeat('y', 80) + "\nabcdef", "", 168},
        {"many full lines", digits.repeated(3000) + "abc", (digits + "\n").repeated(3000) + "abc", "",
         3000 * 81 + 3},
        {"dropped bytes",
         "A\x1b\x80\xff\x7f"
         "B",
         "A\x7f"
         "B",
         "", 3},
    };
    for (const Case& c : cases) {
        TDeviceWindow* w = Open(0);
        Fake.Device(0).Received = c.Bytes;
        Tick(w);
        EXPECT_EQ(Memo(w)->toPlainText(), c.Text) << c.Name;
        EXPECT_EQ(Memo(w)->SelectedText(), c.Selected) << c.Name;
        EXPECT_EQ(Memo(w)->SelectionStart(), c.Position) << c.Name;
        w->close();
    }
}

// The engineer's selection stays on its text while text arrives, and Ctrl+C copies it rather than sending
// the control code; scrolled up, the view stays while text arrives, and End makes it follow again.
TEST_F(DeviceWindow, TerminalSelectionCopiesAndAViewScrolledUpStays) {
    TDeviceWindow* w = Open(0);
    w->show();
    TTerminalView* memo = Memo(w);
    TFakeDevice& dev = Fake.Device(0);
    dev.Received = "AB\rC";
    Tick(w);
    const int row = QFontMetrics(memo->font()).lineSpacing();
    QWidget* area = memo->viewport();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(3, row / 2));
    dev.Received = "D";
    Tick(w);
    QTest::mouseMove(area, QPoint(area->width() - 1, row + row / 2));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(area->width() - 1, row + row / 2));
    dev.Received = "E\rF";
    Tick(w);
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "AB\nCD");
    QTest::mouseClick(area, Qt::LeftButton, Qt::ShiftModifier, QPoint(area->width() - 1, 3 * row));
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "AB\nCDE\nF");

    QScrollBar* bar = memo->verticalScrollBar();
    dev.Received = QByteArray("line\r").repeated(200);
    Tick(w);
    ASSERT_GT(bar->value(), 10);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(10);
    dev.Received = "more\r";
    Tick(w);
    EXPECT_EQ(bar->value(), 10);
    QTest::keyClick(memo, Qt::Key_End);
    dev.Received = "more\r";
    Tick(w);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(3, row / 2));
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(dev.Written, "\x03") << "only the Ctrl+C with nothing selected reaches the device";
}

TEST_F(DeviceWindow, ReadsInBlocksAndDoesNotSpinOnADeviceThatYieldsNothing) {
    TDeviceWindow* w = Open(0);
    TFakeDevice& dev = Fake.Device(0);
    dev.Received = Repeat('z', 600);
    Tick(w);
    EXPECT_EQ(dev.CallTexts("ZQ_Read"), QStringList({"ZQ_Read(256)", "ZQ_Read(256)", "ZQ_Read(88)"}));
    EXPECT_EQ(Memo(w)->toPlainText().count('z'), 600);

    dev.ClearCalls();
    dev.ReportedWaiting = 600;
    dev.Received = "late\r";
    Tick(w);
    EXPECT_EQ(dev.CallTexts("ZQ_Read"), QStringList({"ZQ_Read(256)", "ZQ_Read(256)"}));
    EXPECT_TRUE(Memo(w)->toPlainText().endsWith("late\n"));
}

TEST_F(DeviceWindow, CaptureWritesExactBytesAndBlinksRec) {
    TDeviceWindow* w = Open(0);
    TFakeDevice& dev = Fake.Device(0);
    dev.Received = "before\r";
    Tick(w);
    const QString shown = Memo(w)->toPlainText();

    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bin");
    w->Slot()->StartCapture(TFilePtr(std::fopen(QFile::encodeName(path).constData(), "wb")));
    ASSERT_TRUE(w->Slot()->Capturing());
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    all += "\r\n";
    all += '\0';
    dev.Received = all + all;
    dev.ReadLimit = 100;
    QLabel* rec = Label(w, "recLabel");
    QString blinks;
    for (int i = 0; i < 30; ++i) {
        Tick(w);
        blinks += rec->isHidden() ? '-' : '#';
    }
    EXPECT_EQ(blinks, QString(9, '-') + QString(10, '#') + QString(10, '-') + "#");
    EXPECT_EQ(Memo(w)->toPlainText(), shown);

    ASSERT_FALSE(rec->isHidden());
    QTest::mouseClick(rec, Qt::LeftButton);
    EXPECT_TRUE(rec->isHidden());
    EXPECT_FALSE(w->Slot()->Capturing()) << "a click on REC ends the capture";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), all + all);

    dev.Received = "after\r";
    Tick(w);
    EXPECT_TRUE(rec->isHidden());
    EXPECT_EQ(Memo(w)->toPlainText(), shown + "after\n");
}

TEST_F(DeviceWindow, CaptureThatCannotBeWrittenStopsAndShowsTheBytes) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr)
        GTEST_SKIP() << "no /dev/full";
    TDeviceWindow* w = Open(0);
    w->Slot()->StartCapture(TFilePtr(full));
    QSignalSpy failed(w, &TDeviceWindow::CaptureFailed);
    Fake.Device(0).Received = "kept\r";
    Tick(w);
    EXPECT_FALSE(w->Slot()->Capturing());
    ASSERT_EQ(failed.count(), 1);
    EXPECT_FALSE(failed.at(0).at(0).toString().isEmpty());
    EXPECT_EQ(Memo(w)->toPlainText(), "kept\n");
}

TEST_F(DeviceWindow, ModemLinesShowFromTheStatusWordAndFailingQueriesShowNothing) {
    TDeviceWindow* w = Open(0);
    TFakeDevice& dev = Fake.Device(0);
    const char* lines[] = {"ctsLabel", "dsrLabel", "ringLabel", "dcdLabel"};
    const std::uint32_t bits[] = {0x10, 0x20, 0x40, 0x80};
    for (std::uint32_t word : {0x00u, 0x10u, 0x20u, 0x40u, 0x80u, 0xF0u}) {
        dev.ModemStatus = word;
        Tick(w);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ShownColour(Label(w, lines[i])), LineColour((word & bits[i]) != 0))
                << lines[i] << " " << word;
    }
    dev.Statuses["ZQ_GetStatus"] = ZQ_IO_ERROR;
    dev.Statuses["ZQ_GetModemStatus"] = ZQ_IO_ERROR;
    dev.Received = "unseen";
    dev.ClearCalls();
    Tick(w);
    EXPECT_TRUE(Memo(w)->toPlainText().isEmpty());
    EXPECT_TRUE(dev.CallTexts("ZQ_Read").isEmpty());
    for (const char* name : lines)
        EXPECT_EQ(ShownColour(Label(w, name)), LineColour(false)) << name;
}

TEST_F(DeviceWindow, TypedKeysGoToTheDeviceWithoutEcho) {
    struct Case {
        std::function<void(QWidget*)> Type;
        QByteArray Sent;
    };
    const Case cases[] = {
        {[](QWidget* m) { QTest::keyClicks(m, "P1"), QTest::keyClick(m, Qt::Key_Return); }, "P1\r"},
        {[](QWidget* m) { QTest::keyClick(m, Qt::Key_Backspace), QTest::keyClick(m, Qt::Key_Escape); },
         "\x08\x1b"},
        {[](QWidget* m) {
             QTest::keyClick(m, Qt::Key_A, Qt::ControlModifier),
                 QTest::keyClick(m, Qt::Key_C, Qt::ControlModifier);
             QTest::keyClick(m, Qt::Key_Z, Qt::ControlModifier);
         },
         "\x01\x03\x1a"},
        {[](QWidget* m) {
             // Letters of a Polish keyboard arrive as their text.
             for (QChar ch : QString::fromUtf8("zażółć"))
                 QTest::sendKeyEvent(QTest::Click, m, Qt::Key_unknown, QString(ch), Qt::NoModifier);
         },
         "za\xbf\xf3\xb3\xe6"},
        {[](QWidget* m) { QTest::keyClick(m, Qt::Key_Left), QTest::keyClick(m, Qt::Key_F1); }, ""},
    };
    TDeviceWindow* w = Open(0);
    w->show();
    for (const Case& c : cases) {
        Fake.Device(0).Written.clear();
        c.Type(Memo(w));
        EXPECT_EQ(Fake.Device(0).Written, c.Sent);
        for (const QByteArray& write : Fake.Device(0).Writes())
            EXPECT_EQ(write.size(), 1);
        EXPECT_TRUE(Memo(w)->toPlainText().isEmpty());
    }
}

TEST_F(DeviceWindow, RtsAndDtrClicksToggleLineAndColour) {
    TDeviceWindow* w = Open(0);
    w->show();
    const std::pair<const char*, const char*> switches[] = {{"rtsLabel", "Rts"}, {"dtrLabel", "Dtr"}};
    for (const auto& [name, line] : switches) {
        QLabel* label = Label(w, name);
        EXPECT_EQ(ShownColour(label), LineColour(true)) << name;
        Fake.Device(0).ClearCalls();
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_EQ(ShownColour(label), LineColour(false)) << name;
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_EQ(ShownColour(label), LineColour(true)) << name;
        EXPECT_EQ(Fake.Device(0).CallTexts(), QStringList({QStringLiteral("ZQ_Clr%1()").arg(line),
                                                           QStringLiteral("ZQ_Set%1()").arg(line)}));
    }
}

// Each window shows its own slot's lines as they are, and closing one closes only its device; the
// capture stays with the slot.
TEST_F(DeviceWindow, ClosingOneWindowClosesOnlyItsDevice) {
    TDeviceWindow* w0 = Open(0);
    TDeviceWindow* w1 = Open(1);
    Fake.Device(0).ModemStatus = ZQ_MODEM_STATUS_CTS;
    Tick(w0);
    Tick(w1);
    EXPECT_EQ(ShownColour(Label(w0, "ctsLabel")), LineColour(true));
    EXPECT_EQ(ShownColour(Label(w1, "ctsLabel")), LineColour(false));

    QTemporaryDir dir;
    w0->Slot()->StartCapture(TFilePtr(std::fopen(QFile::encodeName(dir.filePath("c")).constData(), "wb")));
    QPointer<TDeviceWindow> closing(w0);
    EXPECT_TRUE(w0->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
    EXPECT_FALSE(Slots.At(0)->IsOpen());
    EXPECT_FALSE(Fake.Device(0).Open);
    EXPECT_TRUE(Slots.At(0)->Capturing()) << "the capture outlives the window";
    EXPECT_TRUE(Slots.At(1)->IsOpen());
    EXPECT_TRUE(Fake.Device(1).Open);
}

// The line's health follows the slot's count and, past one reply in a hundred garbled, names the cable.
TEST_F(DeviceWindow, ItTellsHowManyRepliesCameGarbled) {
    TDeviceWindow* w = Open(0);
    QLabel* health = Label(w, "replyHealthLabel");
    EXPECT_EQ(health->text(), "Odpowiedzi zniekształcone: 0\u00a0z\u00a00");
    const std::optional<TDriveLease> lease = w->Slot()->Lease(TLeaseUse::Command);
    const std::unique_ptr<TExchange> exchange = w->Slot()->BeginExchange(*lease);
    for (int i = 0; i < 60; ++i)
        i < 2 ? exchange->ReplyFailed() : exchange->ReplyComplete();
    EXPECT_EQ(health->text(), "Odpowiedzi zniekształcone: 2\u00a0z\u00a060 — sprawdź kabel lub konwerter");
}
