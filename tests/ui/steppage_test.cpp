// The step page against the fake device (entries, figures and note, the plot on its backing image,
// the context menu's files) and against the simulated drive.

#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/readingvote.h"
#include "drive/registertable.h"
#include "harness/fakeport.h"
#include "link/deviceslot.h"
#include "tests/support/localescope.h"
#include "tests/support/modal.h"
#include "tests/support/portsscope.h"
#include "tests/support/simulatedlines.h"
#include "ui/steppage/plotview.h"
#include "ui/steppage/steppage.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QByteArray PositionQuery = "L \r\r";
const QByteArray Step = "J 1200\r";

// Count records behind the echo of "J": from the start 1000 up to 1225, then the target 1200 (12.5 %
// overshoot); or from the start to a level.
QByteArray Block(int count, std::uint32_t level = 0) {
    QByteArray block;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t p = i == 0   ? 1000
                                : level  ? level
                                : i < 10 ? 1000 + 45 * i / 2
                                : i < 20 ? 1225
                                         : 1200;
        block += QByteArray("l") + char(p >> 16) + char(p >> 8) + char(p);
    }
    return block + "\r\n";
}

int CountPixels(const QImage& image, QColor colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == colour ? 1 : 0;
    return n;
}

template <typename T> T* Find(QWidget* page, const char* name) {
    return page->findChild<T*>(QString::fromLatin1(name));
}

void RunTest(QWidget* page, const QString& amplitude, const QString& time) {
    Find<QLineEdit>(page, "amplitudeEdit")->setText(amplitude);
    Find<QLineEdit>(page, "timeEdit")->setText(time);
    QTest::mouseClick(Find<QPushButton>(page, "runButton"), Qt::LeftButton);
}

class StepPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Slot.Open());
        Device.Echo = true;
        Model.ModeConfirmed(PositionMode);
        Device.ClearCalls();
        Device.Answers[PositionQuery] = "1000\r\n\r\n";
        Device.Answers[Step] = Block(500);
        Device.Answers["S 0\r"] = "OK\r\n";
        Tabs.addTab(Page, QStringLiteral("Skok jednostkowy"));
        Tabs.addTab(new QWidget, QStringLiteral("Diagnostyka"));
        Page->Attach(Model, Shown);
        Tabs.resize(782, 400);
        Tabs.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Tabs));
        Plot = Find<TPlotView>(Page, "plotBox");
    }

    QString Text(const char* label) { return Find<QLabel>(Page, label)->text(); }
    QImage Grab() { return Plot->grab().toImage(); }

    TLocaleScope Polish{QLocale(QLocale::Polish, QLocale::Poland)};
    TFakeDeviceLibrary Fake;
    TFakeDevice& Device = Fake.Device(0);
    TDeviceSlot Slot{0, Fake.Ports()};
    TDriveModel Model{Slot};
    TShownTests Shown{Model.Tests()};
    QTabWidget Tabs;
    TStepPage* Page = new TStepPage;
    TPlotView* Plot = nullptr;
    QStringList Errors;
    TErrorBoxes ErrorBoxes{Errors};
};

} // namespace

TEST_F(StepPageTest, EntriesFiguresAndTheReceivedCount) {
    // The position is read six times, the queries at once, before the step; the set-point goes back to 0
    // after it.
    std::vector<QByteArray> measured(AgreeingReadings, PositionQuery);
    measured.insert(measured.end(), {"S 500\r", Step, "S 0\r"});
    const QString note = "received 140 of 500 samples";
    const struct {
        QString Amplitude, Time;
        int Records;
        QString Error;
        std::vector<QByteArray> Writes;
        QString TimeAfter, Note; // no note: hidden
    } cases[] = {
        {"200", "400", 500, "", measured, "250", ""},
        {"200", "250", 140, "", measured, "250", note},
        // The figures and the note of the test before stay.
        // Nothing is asked of the drive for an entry that is no step.
        {"0", "400", 500, "The amplitude must be at least 1 pulse.", {}, "400", note},
    };
    for (const auto& c : cases) {
        Device.Answers[Step] = Block(c.Records);
        // This drive's motor never moves: each test starts without the witness of the one before.
        Model.ForgetWitness();
        Errors.clear();
        Device.ClearCalls();
        RunTest(Page, c.Amplitude, c.Time);
        EXPECT_EQ(Errors.join(""), c.Error) << c.Records;
        EXPECT_EQ(Device.Writes(), c.Writes) << c.Records;
        QSignalSpy polled(&Slot, &TDeviceSlot::Received);
        EXPECT_TRUE(polled.wait(1000)) << "the poll runs again";
        EXPECT_EQ(Find<QLineEdit>(Page, "timeEdit")->text(), c.TimeAfter);
        EXPECT_EQ(Text("overshootLabel"), "12,50");
        EXPECT_EQ(Find<QLabel>(Page, "samplesNoteLabel")->isVisible(), !c.Note.isEmpty());
        if (!c.Note.isEmpty()) {
            EXPECT_EQ(Text("samplesNoteLabel"), c.Note);
        }
    }
}

TEST_F(StepPageTest, PlotSurvivesRepaintsPilesUpAndClears) {
    const QColor red(255, 0, 0);
    RunTest(Page, "200", "250");
    const QImage first = Grab();
    ASSERT_GT(CountPixels(first, red), 0);
    Tabs.setCurrentIndex(1);
    QCoreApplication::processEvents();
    Tabs.setCurrentIndex(0);
    Tabs.hide();
    Tabs.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Grab(), first) << "after a tab switch and hiding";

    Device.Answers[Step] = Block(500, 1100);
    // This drive's motor never moves: the test starts without the witness of the one before.
    Model.ForgetWitness();
    RunTest(Page, "200", "250");
    const QColor earlier(0, 145, 161);
    EXPECT_GT(CountPixels(Grab(), earlier), 0) << "the first test stays, in a colour of its own";

    Device.ClearCalls();
    QTest::mouseClick(Find<QPushButton>(Page, "clearButton"), Qt::LeftButton);
    const QImage cleared = Grab();
    const int w = cleared.width();
    const int h = cleared.height();
    EXPECT_EQ(CountPixels(cleared, Qt::black), 2 * (w + h) - 4) << "a one-pixel black frame";
    EXPECT_EQ(CountPixels(cleared, Plot->palette().color(QPalette::Window)), (w - 2) * (h - 2));
    EXPECT_EQ(Text("overshootLabel"), "-50,00") << "CLS leaves the figures";
    EXPECT_TRUE(Device.Writes().empty());

    Model.ForgetWitness();
    RunTest(Page, "200", "250");
    EXPECT_EQ(CountPixels(Grab(), earlier), 0) << "CLS took the earlier tests off the plot";
    EXPECT_GT(CountPixels(Grab(), red), 0);
}

TEST_F(StepPageTest, ContextMenuSavesThePlotAndTheLastTest) {
    QTemporaryDir dir;
    EXPECT_FALSE(Find<QAction>(Page, "saveDataAction")->isEnabled()) << "no test yet";
    RunTest(Page, "200", "400");
    const auto save = [&](const char* action, const QString& path) {
        const TModalAnswer answer = FileAnswer(path);
        Find<QAction>(Page, action)->trigger();
        EXPECT_TRUE(answer.Answered()) << action;
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    EXPECT_EQ(QImage::fromData(save("savePlotAction", dir.filePath("plot.png")))
                  .convertToFormat(QImage::Format_RGB32),
              Grab().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(save("saveDataAction", dir.filePath("data.csv")).count('\n'), 501) << "a header, 500 samples";
    EXPECT_EQ(Errors, QStringList());

    const QString missing = dir.filePath("missing/plot.png");
    save("savePlotAction", missing);
    ASSERT_EQ(Errors.size(), 1);
    EXPECT_TRUE(Errors.first().startsWith("Can't write \"" + missing + "\"")) << Errors.first().toStdString();
}

// With the default gains the simulated drive overshoots moderately; doubled KP overshoots more.
class StepPageWithSimulatedDrive : public ::testing::TestWithParam<TSimulatedLine> {};
INSTANTIATE_TEST_SUITE_P(Lines, StepPageWithSimulatedDrive, ::testing::ValuesIn(SimulatedLines), LineName);

TEST_P(StepPageWithSimulatedDrive, DoubledKpOvershootsMore) {
    TPortsScope simulated(GetParam().Ports());
    QStringList errors;
    {
        TErrorBoxes boxes(errors);
        TDeviceSlot slot(0, simulated.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        model.Motion().SetMode(PositionMode);
        TShownTests shown(model.Tests());
        TStepPage page;
        page.Attach(model, shown);
        page.resize(782, 372);
        const auto overshoot = [&] {
            RunTest(&page, "200", "250");
            EXPECT_TRUE(Find<QLabel>(&page, "samplesNoteLabel")->isHidden()) << "all 500 samples came";
            return double(StrToFloat(Find<QLabel>(&page, "overshootLabel")->text()));
        };
        const double byDefault = overshoot();
        EXPECT_GT(byDefault, 1);
        EXPECT_LT(byDefault, 30);
        const int kp = RegisterTable[KP].Register;
        const std::int32_t doubled = 2 * simulated.Drive(0).Register(kp);
        slot.WriteLine(slot.Lease(TLeaseUse::Command).value(), RegisterWriteLine(kp, doubled));
        // The echo is taken by the poll before the next test purges.
        EXPECT_TRUE(QTest::qWaitFor([&] { return simulated.Drive(0).Register(kp) == doubled; }, 5000));
        QTest::qWait(2 * TDeviceSlot::KPollIntervalMs);
        EXPECT_GT(overshoot(), byDefault);
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
}
