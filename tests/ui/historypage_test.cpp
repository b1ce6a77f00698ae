// The history tab's commands on the tests of a device window, the drive answering through the fake.

#include "harness/fakeport.h"
#include "link/deviceslot.h"
#include "tests/support/modal.h"
#include "ui/devicewindow/devicewindow.h"

#include <QColor>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

TEST(HistoryPage, ShowsRemovesSavesAndLoadsTests) {
    TFakeDeviceLibrary fake;
    TFakeDevice& device = fake.Device(0);
    device.Echo = true;
    device.Answers["L \r\r"] = "1000\r\n\r\n";
    device.Answers["J 1200\r"] = QByteArray("l\0\x03\xE8", 4) + QByteArray("l\0\x04\xB0", 4).repeated(499);
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.ModeConfirmed(PositionMode);
    auto window = std::make_unique<TDeviceWindow>(model);
    for (int i = 0; i < 3; ++i) {
        // This drive's motor never moves: each test starts without the witness of the one before.
        model.ForgetWitness();
        model.Tests().Run(TFigure("200"), TFigure("250"), false);
    }
    auto* table = window->findChild<QTableView*>("table");
    const auto click = [&](const char* button) { window->findChild<QPushButton*>(button)->click(); };
    // The numbers of the ticked rows.
    const auto shown = [&] {
        std::vector<int> numbers;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            if (table->model()->index(row, 0).data(Qt::CheckStateRole) == Qt::Checked)
                numbers.push_back(table->model()->index(row, 0).data().toInt());
        return numbers;
    };
    ASSERT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(shown(), (std::vector{1, 2, 3}));

    table->selectRow(0);
    click("showButton");
    EXPECT_EQ(shown(), (std::vector{1}));
    table->model()->setData(table->model()->index(2, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(shown(), (std::vector{1, 3})) << "the tick";
    // The swatches show the plot's colours of two tests, the older teal and the newer red.
    const auto swatch = [&](int row) { return table->model()->index(row, 0).data(Qt::DecorationRole); };
    EXPECT_EQ(swatch(0), QColor(0, 145, 161));
    EXPECT_FALSE(swatch(1).isValid()) << "not shown";
    EXPECT_EQ(swatch(2), QColor(255, 0, 0));

    QTemporaryDir dir;
    const QString path = dir.filePath("tuning.kses");
    {
        const TModalAnswer answer = FileAnswer(path);
        click("saveSessionButton");
    }
    table->selectAll();
    click("removeButton");
    EXPECT_EQ(table->model()->rowCount(), 0);
    {
        const TModalAnswer answer = FileAnswer(path);
        click("loadSessionButton");
    }
    EXPECT_EQ(table->model()->rowCount(), 3);
    EXPECT_EQ(shown(), (std::vector{1, 3})) << "loaded tests keep their numbers and ticks";

    // The history lives with the device's model, not its window.
    window.reset();
    ASSERT_TRUE(slot.Open());
    window = std::make_unique<TDeviceWindow>(model);
    table = window->findChild<QTableView*>("table");
    EXPECT_EQ(table->model()->rowCount(), 3) << "a new window of the device shows the same history";
}
