#include "harness/fakeport.h"
#include "link/deviceslots.h"
#include "tests/support/localescope.h"
#include "tests/support/modal.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/diagnosticspage/diagnosticspage.h"
#include "ui/motordatapage/motordatapage.h"
#include "ui/movespage/movespage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

QScrollBar* Slider(QWidget* w) {
    return w->findChild<QScrollBar*>("setPointSlider");
}

// A drive that confirms every mode and set-point line the page can send.
void ConfirmModeLines(TFakeDevice& device) {
    device.Echo = true;
    for (int mode = 0; mode < ModeCount; ++mode)
        device.Answers[QByteArray("M") + char('0' + mode) + '\r'] = "OK\r\n";
    for (int s = -500; s <= 500; ++s)
        device.Answers["S " + QByteArray::number(s) + '\r'] = "OK\r\n";
}

} // namespace

TEST(DiagnosticsPage, EveryControlWritesItsLine) {
    const auto click = [](const char* name) -> std::function<void(QWidget*)> {
        return [name](QWidget* page) { page->findChild<QAbstractButton*>(name)->click(); };
    };
    const auto key = [](Qt::Key k) { return [k](QWidget* page) { QTest::keyClick(Slider(page), k); }; };
    const struct {
        const char* Name;
        int StartPosition;
        std::function<void(QWidget*)> Act;
        std::vector<QByteArray> Writes;
        QString Shown; // the position label afterwards
    } cases[] = {
        {"mode with the slider away from 0", 40, click("torqueModeButton"), {"S 0\r", "M1\r"}, "0"},
        {"mode with the slider at 0", 0, click("speedModeButton"), {"S 0\r", "M2\r"}, "0"},
        {"the mode shown, never sent", 30, click("positionModeButton"), {"S 0\r", "M3\r"}, "0"},
        {"the mode already sent",
         0,
         [&](QWidget* page) {
             click("positionModeButton")(page);
             click("positionModeButton")(page);
         },
         {"S 0\r", "M3\r"},
         "0"},
        {"top end", 0, key(Qt::Key_Home), {"S -500\r"}, "-100"},
        {"bottom end", 0, key(Qt::Key_End), {"S 500\r"}, "100"},
        {"one step down", -7, key(Qt::Key_Down), {"S -30\r"}, "-6"},
        {"page up", 0, key(Qt::Key_PageUp), {"S -5\r"}, "-1"},
        {"identification", 0, click("identifyButton"), {"\x69\x0D"}, "0"},
        {"position", 0, click("positionButton"), {"\x6C\x0D"}, "0"},
    };
    for (const auto& c : cases) {
        TFakeDeviceLibrary fake;
        ConfirmModeLines(fake.Device(0));
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        TDiagnosticsPage page;
        page.Attach(model);
        Slider(&page)->setValue(c.StartPosition);
        fake.Device(0).ClearCalls();
        c.Act(&page);
        EXPECT_EQ(fake.Device(0).Writes(), c.Writes) << c.Name;
        EXPECT_EQ(page.findChild<QLabel*>("setPointLabel")->text(), c.Shown) << c.Name;
    }
}

// No motor is left turning: the set-point goes back to 0 before the device closes whenever the drive
// may hold another, and nothing else is sent.
TEST(DiagnosticsPage, ClosingTheWindowBringsTheSetPointBackToZero) {
    const struct {
        const char* Name;
        int Slider;
        std::function<void(TDriveModel&)> Before;
        std::vector<QByteArray> Writes;
    } cases[] = {
        {"the slider away from 0", 60, [](TDriveModel& m) { m.ModeConfirmed(PositionMode); }, {"S 0\r"}},
        {"a set-point not known", 0, [](TDriveModel&) {}, {"S 0\r"}},
        {"a step's sample count",
         0,
         [](TDriveModel& m) {
             m.ModeConfirmed(PositionMode);
             m.SamplesStored();
         },
         {"S 0\r"}},
        {"0 confirmed", 0, [](TDriveModel& m) { m.ModeConfirmed(PositionMode); }, {}},
    };
    for (const auto& c : cases) {
        TFakeDeviceLibrary fake;
        ConfirmModeLines(fake.Device(0));
        TDeviceSlots table(fake.Ports());
        ASSERT_TRUE(table.At(0)->Open());
        TDriveModel model(*table.At(0));
        auto* window = new TDeviceWindow(model);
        c.Before(model);
        {
            const QSignalBlocker quiet(Slider(window));
            Slider(window)->setValue(c.Slider);
        }
        fake.Device(0).ClearCalls();
        window->close();
        EXPECT_EQ(fake.Device(0).Writes(), c.Writes) << c.Name;
        EXPECT_TRUE(fake.Device(0).CallTexts().endsWith("ZQ_Close()")) << c.Name;
        delete window;
    }
}

// The feed speed's conversion has its own tests; here its wiring to the motor data tab.
TEST(MovesPage, SendsTargetsAsTypedAndTheFeedInDriveUnits) {
    TLocaleScope scope(QLocale(QLocale::Polish, QLocale::Poland));
    const QString lineBreak = "A line break in the target would send a second command.";
    const QString notTyped =
        "'%1' is not a target the drive reads as typed: a whole number of pulses, digits "
        "only, a minus sign in front for one below zero.";
    const struct {
        const char* Button;
        QString Target, Speed;
        std::vector<QByteArray> Writes;
        QString Error;
    } cases[] = {
        {"feedMoveButton", "1000", "3000", {"G1 1000 12820\r"}, ""},
        {"feedMoveButton", "0", "3000.5", {}, "'3000.5' is not a valid floating point value."},
        {"feedMoveButton", "5\n", "3000", {}, lineBreak},
        {"rapidMoveButton", "-250", "", {"G0 -250\r"}, ""},
        {"rapidMoveButton", " 1,5 x", "", {}, notTyped.arg(" 1,5 x")},
        {"rapidMoveButton", "12ó00", "", {}, notTyped.arg("12ó00")},
        {"feedMoveButton", "2147483648", "3000", {}, notTyped.arg("2147483648")},
        {"rapidMoveButton", "100\rG0 0", "", {}, lineBreak},
        {"rapidMoveButton", "1😀", "", {}, "'😀' is not in the drive's code page (Windows-1250)."},
    };
    for (const auto& c : cases) {
        TFakeDeviceLibrary fake;
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        TMovesPage page;
        page.Attach(model);
        page.findChild<QLineEdit*>("rapidTargetEdit")->setText(c.Target);
        page.findChild<QLineEdit*>("feedTargetEdit")->setText(c.Target);
        page.findChild<QLineEdit*>("feedSpeedEdit")->setText(c.Speed);
        QStringList errors;
        {
            TErrorBoxes boxes(errors);
            fake.Device(0).ClearCalls();
            page.findChild<QPushButton*>(c.Button)->click();
        }
        const QString error = errors.join(QString());
        EXPECT_EQ(fake.Device(0).Writes(), c.Writes)
            << ::testing::PrintToString(c.Target) << c.Speed.toStdString();
        EXPECT_EQ(error, c.Error) << ::testing::PrintToString(c.Target);
    }
}
