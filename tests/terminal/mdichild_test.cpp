#include "app/deviceslot.h"
#include "device/configform.h"
#include "terminal/mdichild.h"
#include "terminal/motordatapage.h"
#include "tests/support/fakeport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
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

    void TearDown() override {
        for (QPointer<TMDIChild>& w : FWindows)
            delete w.data();
        for (TDeviceSlot& slot : DeviceSlots) {
            slot.Child = nullptr;
            slot.CaptureFile.reset();
            slot.RecBlinkCount = 0;
            slot.Settings = TPortSettings();
        }
        CurrentSlot = nullptr;
    }

    TMDIChild* Open(int index) {
        TDeviceSlot& slot = DeviceSlots[size_t(index)];
        EXPECT_EQ(ZQ_Open(index, &slot.Handle), ZQ_OK);
        auto* window = new TMDIChild(QStringLiteral("DEV%1").arg(index));
        slot.Child = window;
        CurrentSlot = &slot;
        FWindows.emplace_back(window);
        return window;
    }

    static QPlainTextEdit* Memo(TMDIChild* w) { return w->findChild<QPlainTextEdit*>("Memo1"); }
    static QLabel* Label(TMDIChild* w, const char* name) { return w->findChild<QLabel*>(name); }
    static void Tick(TMDIChild* w) { QMetaObject::invokeMethod(w->ReadTimer(), "timeout"); }

private:
    std::vector<QPointer<TMDIChild>> FWindows;
};

} // namespace

TEST_F(DeviceWindow, StartsBoundToItsSlotWithDefaults) {
    TMDIChild* w = Open(1);
    EXPECT_EQ(w->windowTitle(), "DEV1");
    EXPECT_EQ(w->Slot(), &DeviceSlots[1]);
    EXPECT_TRUE(Memo(w)->toPlainText().isEmpty());
    EXPECT_TRUE(w->ReadTimer()->isActive());
    EXPECT_EQ(w->ReadTimer()->interval(), 50);
    EXPECT_TRUE(Label(w, "RecLabel")->isHidden());

    auto* pages = w->findChild<QTabWidget*>("PageControl1");
    ASSERT_NE(pages, nullptr);
    const QStringList names = {"TabSheet2", "TabSheet3", "TabSheet4", "Ruchy", "TabSheet5"};
    const QStringList captions = {"Nastawy Regulatora", "Skok jednostkowy", "Diagnostyka", "Ruchy ręczne",
                                  "Dane serwosilnika"};
    ASSERT_EQ(pages->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), names[i]);
        EXPECT_EQ(pages->tabText(i), captions[i]);
    }
    EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet4");

    const QString half = QStringLiteral("0") + QLocale().decimalPoint() + QStringLiteral("5");
    const std::pair<const char*, QString> defaults[] = {{"MaskEdit10", "12"},   {"MaskEdit11", "6"},
                                                        {"MaskEdit12", "4000"}, {"MaskEdit13", half},
                                                        {"MaskEdit14", "12"},   {"MaskEdit15", "500"}};
    for (const auto& [name, text] : defaults)
        EXPECT_EQ(w->MotorData()->findChild<QLineEdit*>(name)->text(), text) << name;
    w->MotorData()->findChild<QLineEdit*>("MaskEdit15")->setText("1000");
    EXPECT_EQ(Open(2)->MotorData()->findChild<QLineEdit*>("MaskEdit15")->text(), "500");
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
        {"one full line", Repeat('a', 80) + "bcdef", Repeat('a', 80) + "\nbcdef", "f", 85},
        {"two full lines", Repeat('x', 80) + Repeat('y', 80) + "abcdef",
         Repeat('x', 80) + "\n" + Repeat('y', 80) + "\nabcdef", "d", 165},
        {"many full lines", digits.repeated(100) + "abc", (digits + "\n").repeated(100) + "abc", "0",
         97 * 81 + 50},
        {"dropped bytes",
         "A\x1b\x80\xff\x7f"
         "B",
         "A\x7f"
         "B",
         "", 3},
    };
    for (const Case& c : cases) {
        TMDIChild* w = Open(0);
        Fake.Device(0).Received = c.Bytes;
        Tick(w);
        const QTextCursor cursor = Memo(w)->textCursor();
        EXPECT_EQ(Memo(w)->toPlainText(), c.Text) << c.Name;
        EXPECT_EQ(cursor.selectedText(), c.Selected) << c.Name;
        EXPECT_EQ(cursor.selectionStart(), c.Position) << c.Name;
        w->close();
    }
}

TEST_F(DeviceWindow, ReadsInBlocksAndDoesNotSpinOnADeviceThatYieldsNothing) {
    TMDIChild* w = Open(0);
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
    TMDIChild* w = Open(0);
    TFakeDevice& dev = Fake.Device(0);
    dev.Received = "before\r";
    Tick(w);
    const QString shown = Memo(w)->toPlainText();

    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bin");
    DeviceSlots[0].CaptureFile.reset(std::fopen(QFile::encodeName(path).constData(), "wb"));
    ASSERT_TRUE(DeviceSlots[0].CaptureFile);
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    all += "\r\n";
    all += '\0';
    dev.Received = all + all;
    dev.ReadLimit = 100;
    QLabel* rec = Label(w, "RecLabel");
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
    EXPECT_FALSE(DeviceSlots[0].CaptureFile) << "a click on REC ends the capture";
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
    TMDIChild* w = Open(0);
    DeviceSlots[0].CaptureFile.reset(full);
    QSignalSpy failed(w, &TMDIChild::CaptureFailed);
    Fake.Device(0).Received = "kept\r";
    Tick(w);
    EXPECT_FALSE(DeviceSlots[0].CaptureFile);
    ASSERT_EQ(failed.count(), 1);
    EXPECT_FALSE(failed.at(0).at(0).toString().isEmpty());
    EXPECT_EQ(Memo(w)->toPlainText(), "kept\n");
}

TEST_F(DeviceWindow, ModemLinesShowFromTheStatusWordAndFailingQueriesShowNothing) {
    TMDIChild* w = Open(0);
    TFakeDevice& dev = Fake.Device(0);
    const char* lines[] = {"CtsLabel", "DsrLabel", "RingLabel", "DcdLabel"};
    const std::uint32_t bits[] = {0x10, 0x20, 0x40, 0x80};
    for (std::uint32_t word : {0x00u, 0x10u, 0x20u, 0x40u, 0x80u, 0xF0u}) {
        dev.ModemStatus = word;
        Tick(w);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(LineColourIsActive(Label(w, lines[i])), (word & bits[i]) != 0)
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
        EXPECT_FALSE(LineColourIsActive(Label(w, name))) << name;
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
    TMDIChild* w = Open(0);
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
    TMDIChild* w = Open(0);
    w->show();
    const std::pair<const char*, const char*> switches[] = {{"RtsLabel", "Rts"}, {"DtrLabel", "Dtr"}};
    for (const auto& [name, line] : switches) {
        QLabel* label = Label(w, name);
        EXPECT_TRUE(LineColourIsActive(label)) << name;
        Fake.Device(0).ClearCalls();
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_FALSE(LineColourIsActive(label)) << name;
        QTest::mouseClick(label, Qt::LeftButton);
        EXPECT_TRUE(LineColourIsActive(label)) << name;
        EXPECT_EQ(Fake.Device(0).CallTexts(), QStringList({QStringLiteral("ZQ_Clr%1()").arg(line),
                                                           QStringLiteral("ZQ_Set%1()").arg(line)}));
    }
}

TEST_F(DeviceWindow, ActivationAndClosingMoveTheCurrentSlot) {
    TMDIChild* w0 = Open(0);
    TMDIChild* w1 = Open(1);
    DeviceSlots[0].Settings.Cts = 1;
    w0->FormActivate();
    EXPECT_EQ(CurrentSlot, &DeviceSlots[0]);
    EXPECT_TRUE(LineColourIsActive(Label(w0, "CtsLabel")));
    w1->FormActivate();
    EXPECT_EQ(CurrentSlot, &DeviceSlots[1]);

    TMDIChild unbound(QStringLiteral("DEV9"));
    unbound.FormActivate();
    EXPECT_EQ(CurrentSlot, nullptr);

    w0->FormActivate();
    QTemporaryDir dir;
    DeviceSlots[0].CaptureFile.reset(std::fopen(QFile::encodeName(dir.filePath("c")).constData(), "wb"));
    QPointer<TMDIChild> closing(w0);
    EXPECT_TRUE(w0->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
    EXPECT_EQ(CurrentSlot, nullptr);
    EXPECT_EQ(DeviceSlots[0].Child, nullptr);
    EXPECT_FALSE(Fake.Device(0).Open);
    EXPECT_TRUE(DeviceSlots[0].CaptureFile) << "the capture outlives the window";
    EXPECT_EQ(DeviceSlots[1].Child, w1);
    EXPECT_TRUE(Fake.Device(1).Open);
}

TEST_F(DeviceWindow, SwitchesStartFromThePortDialog) {
    TConfigForm dialog;
    ConfigForm = &dialog;
    dialog.findChild<QCheckBox*>("RtsCB")->setChecked(false);
    TMDIChild* w = Open(0);
    w->show();
    ConfigForm = nullptr;
    EXPECT_FALSE(LineColourIsActive(Label(w, "RtsLabel")));
    EXPECT_TRUE(LineColourIsActive(Label(w, "DtrLabel")));
}
