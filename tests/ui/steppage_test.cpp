// The step page against the fake device: its entries, figures and note, the plot on its backing
// image, and the context menu's files.

#include "link/deviceslot.h"
#include "tests/support/fakeport.h"
#include "tests/support/localescope.h"
#include "tests/support/modal.h"
#include "ui/errorbox/errorbox.h"
#include "ui/steppage/plotview.h"
#include "ui/steppage/steppage.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QByteArray PositionQuery = "L \r\r";
const QByteArray Step = "J 1200\r";

// The drive's records for the positions, after the echo of "J".
QByteArray Block(const std::vector<std::uint32_t>& positions) {
    QByteArray block = "J 1200\r\n";
    for (const std::uint32_t p : positions)
        block += QByteArray("l") + char(p >> 16) + char(p >> 8) + char(p);
    return block + "\r\n";
}

// From 1000 up to 1225, then down to the target 1200: an overshoot of 12.5 %.
std::vector<std::uint32_t> Overshooting(int count) {
    std::vector<std::uint32_t> positions;
    for (int i = 0; i < count; ++i)
        positions.push_back(i < 10 ? 1000 + 45 * i / 2 : i < 20 ? 1225 : 1200);
    return positions;
}

int CountPixels(const QImage& image, QColor colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == colour ? 1 : 0;
    return n;
}

class StepPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetErrorBoxHook([this](const QString& message) { Errors << message; });
        ASSERT_TRUE(Slot.Open());
        Device.Answers[PositionQuery] = "L \r\n\r\n1000\r\n";
        Device.Answers[Step] = Block(Overshooting(500));
        Tabs.addTab(Page, QStringLiteral("Skok jednostkowy"));
        Tabs.addTab(new QWidget, QStringLiteral("Diagnostyka"));
        Page->Attach(Slot);
        Tabs.resize(782, 400);
        Tabs.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Tabs));
        Plot = Page->findChild<TPlotView*>(QStringLiteral("plotBox"));
        ASSERT_NE(Plot, nullptr);
    }

    void TearDown() override { SetErrorBoxHook({}); }

    template <typename T> T* Find(const char* name) { return Page->findChild<T*>(QString::fromLatin1(name)); }
    QString Text(const char* label) { return Find<QLabel>(label)->text(); }

    void Run(const QString& amplitude, const QString& time) {
        Find<QLineEdit>("amplitudeEdit")->setText(amplitude);
        Find<QLineEdit>("timeEdit")->setText(time);
        Device.ClearCalls();
        QTest::mouseClick(Find<QPushButton>("runButton"), Qt::LeftButton);
    }

    // Runs a context menu action with its save dialog answered with path.
    void Save(const char* action, const QString& path) {
        TModalAnswer answer([&](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(files, nullptr);
            files->selectFile(path);
            if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(path);
        });
        Page->findChild<QAction*>(QString::fromLatin1(action))->trigger();
        EXPECT_TRUE(answer.Answered()) << action;
    }

    TLocaleScope Polish{QLocale(QLocale::Polish, QLocale::Poland)};
    TFakeDeviceLibrary Fake;
    TFakeDevice& Device = Fake.Device(0);
    TDeviceSlot Slot{0};
    QTabWidget Tabs;
    TStepPage* Page = new TStepPage;
    TPlotView* Plot = nullptr;
    QStringList Errors;
};

} // namespace

TEST_F(StepPageTest, EntriesFiguresAndTheReceivedCount) {
    const std::vector<QByteArray> measured = {PositionQuery, "S 500\r", Step};
    const struct {
        const char* Name;
        QString Amplitude;
        QString Time;
        int Records;
        QStringList Errors;
        std::vector<QByteArray> Writes;
        QString TimeAfter;
        QString Overshoot;
        QString Note; // empty: hidden
    } cases[] = {
        {"defaults", "200", "400", 500, {}, measured, "250", "12,50", ""},
        {"fewer records", "200", "250", 140, {}, measured, "250", "12,50", "received 140 of 500 samples"},
        {"no record", "200", "250", 0, {}, measured, "250", "-100,00", "received 0 of 500 samples"},
        {"amplitude 0",
         "0",
         "400",
         500,
         {"The amplitude must be at least 1 pulse."},
         {PositionQuery},
         "400",
         "-100,00",
         "received 0 of 500 samples"},
        {"time not a number",
         "200",
         "4 00",
         500,
         {"'4 00' is not a valid integer value."},
         {PositionQuery},
         "4 00",
         "-100,00",
         "received 0 of 500 samples"},
        {"time below 1",
         "200",
         "-3",
         500,
         {"The measurement time must be at least 1 ms."},
         {PositionQuery},
         "-3",
         "-100,00",
         "received 0 of 500 samples"},
    };
    for (const auto& c : cases) {
        Device.Answers[Step] = Block(Overshooting(c.Records));
        Errors.clear();
        Run(c.Amplitude, c.Time);
        EXPECT_EQ(Errors, c.Errors) << c.Name;
        EXPECT_EQ(Device.Writes(), c.Writes) << c.Name;
        EXPECT_TRUE(Slot.Polling() && !Slot.PollHeld()) << c.Name << ": the poll runs again";
        EXPECT_EQ(Find<QLineEdit>("timeEdit")->text(), c.TimeAfter) << c.Name;
        EXPECT_EQ(Text("overshootLabel"), c.Overshoot) << c.Name;
        EXPECT_EQ(Find<QLabel>("samplesNoteLabel")->isVisible(), !c.Note.isEmpty()) << c.Name;
        if (!c.Note.isEmpty()) {
            EXPECT_EQ(Text("samplesNoteLabel"), c.Note) << c.Name;
        }
    }
}

TEST_F(StepPageTest, PlotSurvivesRepaintsPilesUpAndClears) {
    const QColor red(255, 0, 0);
    Run("200", "250");
    const QImage first = Plot->grab().toImage();
    const int redFirst = CountPixels(first, red);
    ASSERT_GT(redFirst, 0);

    Tabs.setCurrentIndex(1);
    QCoreApplication::processEvents();
    Tabs.setCurrentIndex(0);
    Tabs.hide();
    Tabs.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Plot->grab().toImage(), first) << "after a tab switch and hiding";

    Device.Answers[Step] = Block(std::vector<std::uint32_t>(500, 1100));
    Run("200", "250");
    const int redBoth = CountPixels(Plot->grab().toImage(), red);

    const QString overshoot = Text("overshootLabel");
    Device.ClearCalls();
    QTest::mouseClick(Find<QPushButton>("clearButton"), Qt::LeftButton);
    const QImage cleared = Plot->grab().toImage();
    const QColor face = Plot->palette().color(QPalette::Window);
    const int w = cleared.width();
    const int h = cleared.height();
    EXPECT_EQ(CountPixels(cleared, Qt::black), 2 * (w + h) - 4) << "a one-pixel black frame";
    EXPECT_EQ(CountPixels(cleared, face), (w - 2) * (h - 2)) << "inside, the page's colour";
    EXPECT_EQ(Text("overshootLabel"), overshoot);
    EXPECT_TRUE(Device.Writes().empty());

    Run("200", "250");
    EXPECT_GT(redBoth, CountPixels(Plot->grab().toImage(), red))
        << "the second test was drawn over the first";
}

TEST_F(StepPageTest, ContextMenuSavesThePlotAndTheLastTest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(Page->findChild<QAction*>(QStringLiteral("saveDataAction"))->isEnabled());
    Run("200", "400");
    const QString missing = dir.filePath(QStringLiteral("missing/file"));
    const struct {
        const char* Action;
        QString Path;
        QString Error;
    } cases[] = {
        {"savePlotAction", dir.filePath(QStringLiteral("plot.png")), ""},
        {"saveDataAction", dir.filePath(QStringLiteral("data.csv")), ""},
        {"savePlotAction", missing, "Cannot write the file \"" + missing + ".png\""},
        {"saveDataAction", missing, "Cannot write the file \"" + missing + ".csv\""},
    };
    for (const auto& c : cases) {
        Errors.clear();
        Save(c.Action, c.Path);
        if (!c.Error.isEmpty()) {
            ASSERT_EQ(Errors.size(), 1) << c.Action;
            EXPECT_TRUE(Errors.first().startsWith(c.Error)) << Errors.first().toStdString();
            continue;
        }
        EXPECT_TRUE(Errors.isEmpty()) << c.Action;
        QFile file(c.Path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.Action;
        if (c.Path.endsWith(QLatin1String(".png"))) {
            EXPECT_EQ(QImage::fromData(file.readAll()).convertToFormat(QImage::Format_RGB32),
                      Plot->grab().toImage().convertToFormat(QImage::Format_RGB32));
        } else {
            const QList<QByteArray> lines = file.readAll().split('\n');
            EXPECT_EQ(lines.first(),
                      "time_ms,position,relative,commanded,amplitude=200,start=1000,samples=500");
            EXPECT_EQ(lines.at(11), "5.0,1225,225,1200");
            EXPECT_EQ(lines.size(), 502) << "a line per sample and the header, each ended";
        }
    }
}
