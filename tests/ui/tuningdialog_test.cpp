// The tuning dialog from the step page: a sweep run to its end, and its best applied.

#include "common/numtext.h"
#include "tests/support/fakeport.h"
#include "tests/support/modal.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/tuningdialog/tuningdialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

TEST(TuningDialog, RunsASweepAndAppliesTheBest) {
    QStringList errors;
    TErrorBoxes boxes(errors);
    TFakeDeviceLibrary fake;
    TFakeDevice& device = fake.Device(0);
    for (int n = 0; n < 9; ++n)
        device.Answers[QByteArray("P") + char('0' + n) + '\r'] = QByteArray("P") + char('0' + n) + "\r\n100:";
    device.Answers["\r"] = "\r\n";
    device.Answers["L \r\r"] = "L \r\n\r\n1000\r\n";
    // A response that settles on the target at once: every round is eligible, the smaller gain wins.
    device.Answers["J 1200\r"] = QByteArray("l\0\x04\xB0", 4).repeated(500);
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDeviceWindow window(slot);
    window.findChild<QPushButton*>("tuneButton")->click();
    auto* dialog = window.findChild<TTuningDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit*>("sweepFromEdit")->setText("2");
    dialog->findChild<QLineEdit*>("sweepToEdit")->setText("4");
    dialog->findChild<QSpinBox*>("stepsSpin")->setValue(3);
    dialog->findChild<QPushButton*>("startButton")->click();
    auto* apply = dialog->findChild<QPushButton*>("applyButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return apply->isEnabled(); }, 5000));
    EXPECT_EQ(window.Session().Tests().size(), 3u);

    device.ClearCalls();
    apply->click();
    const std::vector<QByteArray> writes = device.Writes();
    ASSERT_EQ(writes.size(), 9u);
    EXPECT_EQ(writes[1], "P2 512\r") << "KP 2 of the best round";
    EXPECT_EQ(window.Session().SettingTexts()[KP], LocalDecimalText("2,00")) << "the settings page shows it";
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
}
