// The tuning dialog from the step page: a sweep run to its end, and its best applied.

#include "common/errors.h"
#include "common/numtext.h"
#include "harness/fakeport.h"
#include "tests/support/modal.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/tuningdialog/tuningdialog.h"

#include "ui/devicewindow/terminalview.h"
#include "ui/tuningdialog/tuningmapview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A device window on a drive whose every register reads 100 and whose every step settles on the
// target at once, with its tuning dialog open; error boxes are collected.
class TuningDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.Echo = true;
        device.HoldsWrites = true;
        device.Answers["S 0\r"] = "OK\r\n";
        for (int n = 0; n < 9; ++n)
            device.Answers[QByteArray("P") + char('0' + n) + '\r'] = "100:";
        device.Answers["L \r\r"] = "1000\r\n\r\n";
        device.Answers["G0 1000\r"] = "OK\r\n";
        // Every round is eligible: the smaller gain wins.
        device.Answers["J 1200\r"] =
            QByteArray("l\0\x03\xE8", 4) + QByteArray("l\0\x04\xB0", 4).repeated(499);
        ASSERT_TRUE(slot.Open());
        model.ModeConfirmed(PositionMode);
        window = std::make_unique<TDeviceWindow>(model);
        window->findChild<QPushButton*>("tuneButton")->click();
        dialog = window->findChild<TTuningDialog*>();
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override { EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString(); }

    QStringList errors;
    TErrorBoxes boxes{errors};
    TFakeDeviceLibrary fake;
    TFakeDevice& device = fake.Device(0);
    TDeviceSlot slot{0, fake.Ports()};
    TDriveModel model{slot};
    std::unique_ptr<TDeviceWindow> window;
    TTuningDialog* dialog = nullptr;
};

} // namespace

TEST_F(TuningDialogTest, RunsASweepAndAppliesTheBest) {
    dialog->findChild<QLineEdit*>("sweepFromEdit")->setText("2");
    dialog->findChild<QLineEdit*>("sweepToEdit")->setText("4");
    dialog->findChild<QSpinBox*>("stepsSpin")->setValue(3);
    dialog->findChild<QPushButton*>("startButton")->click();
    auto* apply = dialog->findChild<QPushButton*>("applyButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return apply->isEnabled(); }, 5000));
    EXPECT_EQ(model.Tests().All().size(), 3u);

    device.ClearCalls();
    apply->click();
    const std::vector<QByteArray> writes = device.Writes();
    ASSERT_EQ(writes.size(), 9u);
    EXPECT_EQ(writes[1], "P2 512\r") << "KP 2 of the best round";
    EXPECT_EQ(model.Parameters().Wanted()[KP].Text(), LocalDecimalText("2,00"))
        << "the settings page shows it";
}

TEST_F(TuningDialogTest, ASearchLeavesTheWindowOpenButNotTheDrive) {
    EXPECT_FALSE(dialog->isModal());
    // The search starts from the drive's settings; read, the search's box lies around them.
    window->findChild<QPushButton*>("readSettingsButton")->click();
    dialog->findChild<QRadioButton*>("searchRadio")->setChecked(true);
    dialog->findChild<QSpinBox*>("maxTestsSpin")->setValue(4);
    dialog->findChild<QPushButton*>("startButton")->click();

    const QStringList talking = {"readSettingsButton", "writeSettingsButton", "bankStoreButton",
                                 "bankLoadButton",     "runButton",           "rapidMoveButton",
                                 "feedMoveButton",     "identifyButton"};
    for (const QString& name : talking)
        EXPECT_FALSE(window->findChild<QWidget*>(name)->isEnabled())
            << name.toStdString() << " during the run";
    device.ClearCalls();
    QTest::keyClick(window->findChild<TTerminalView*>("terminal"), Qt::Key_A);
    EXPECT_TRUE(device.Writes().empty()) << "a key typed during the run goes nowhere";

    auto* apply = dialog->findChild<QPushButton*>("applyButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return apply->isEnabled(); }, 10000));
    for (const QString& name : talking)
        EXPECT_TRUE(window->findChild<QWidget*>(name)->isEnabled()) << name.toStdString() << " after the run";
    const TTuningMap& map = dialog->findChild<TTuningMapView*>()->Map();
    EXPECT_EQ(int(map.Points.size()), int(model.Tests().All().size()));
    EXPECT_GE(map.Best, 0);
    EXPECT_EQ(map.Overshoot.size(), std::size_t(map.Columns * map.Rows));
}

// Edits the page holds that the drive does not: the dialog names them, and the engineer writes them
// first, leaves them, or does not start.
TEST_F(TuningDialogTest, AsksAboutUnsentEdits) {
    const struct {
        const char* Answer;
        bool Written, Started;
    } cases[] = {{"Anuluj", false, false}, {"Najpierw wpisz", true, true}, {"Zostaw", false, true}};
    for (const auto& c : cases) {
        // The drive back at its registers of 100, as the case before may have left it otherwise.
        for (int n = 0; n < 9; ++n)
            device.Answers[QByteArray("P") + char('0' + n) + '\r'] = "100:";
        model.Parameters().ForgetKnown();
        model.Parameters().Want(KD, TFigure(QStringLiteral("2")));
        device.ClearCalls();
        QString asked;
        const auto watch = WatchModals([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->icon() == QMessageBox::Question) {
                asked = box->text();
                for (QAbstractButton* button : box->buttons())
                    if (button->text() == c.Answer)
                        button->click();
            }
        });
        dialog->findChild<QPushButton*>("startButton")->click();
        EXPECT_TRUE(asked.startsWith("Nastawy KD na stronie")) << c.Answer << ": " << asked.toStdString();
        auto* apply = dialog->findChild<QPushButton*>("applyButton");
        if (c.Started) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return apply->isEnabled(); }, 5000)) << c.Answer;
        }
        EXPECT_EQ(!device.Writes().empty(), c.Started) << c.Answer;
        const std::vector<QByteArray> writes = device.Writes();
        // Written before the run reads its start, whose rounds then write what the drive holds.
        const auto start = std::find(writes.begin(), writes.end(), "P0\r");
        EXPECT_EQ(std::count(writes.begin(), start, "P3 512\r"), c.Written ? 1 : 0) << c.Answer;
        EXPECT_EQ(model.Parameters().Unsent().empty(), c.Written) << c.Answer;
    }
}

// KI's floor: half the page's KI, following it; none while KI is kept or searched as a row.
TEST_F(TuningDialogTest, PlansTheFloorOfKi) {
    dialog->findChild<QRadioButton*>("searchRadio")->setChecked(true);
    auto* edit = dialog->findChild<QLineEdit*>("kiFloorEdit");
    auto* keep = dialog->findChild<QCheckBox*>("kiKeepCheck");
    auto* second = dialog->findChild<QComboBox*>("secondRowBox");
    TSettingNumbers page = model.Parameters().Wanted();
    page[KI] = TFigure(LocalDecimalText("0,8"));
    model.Parameters().WantAll(page);
    const std::tuple<bool, TSettingRow, std::optional<double>> cases[] = {
        {false, KV, 0.4}, {true, KV, std::nullopt}, {false, KI, std::nullopt}};
    for (const auto& [kept, row, floor] : cases) {
        keep->setChecked(kept);
        second->setCurrentIndex(row);
        EXPECT_EQ(dialog->Plan().KiFloor, floor) << kept << row;
        EXPECT_EQ(edit->isEnabled(), floor.has_value()) << kept << row;
    }
    second->setCurrentIndex(KV);
    keep->setChecked(false);
    edit->setText("pół");
    EXPECT_THROW(dialog->Plan(), EKelmorError);
}
