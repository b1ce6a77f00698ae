// The report through the device window on the simulated drive: tests, the identification typed in
// the terminal, a search, then "Raport…" on the history page.

#include "common/numtext.h"
#include "drive/tuningrunner.h"
#include "tests/support/modal.h"
#include "tests/support/pdftext.h"
#include "tests/support/portsscope.h"
#include "tests/support/simulatedlines.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/reportdialog/reportdialog.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

class ReportOnALine : public ::testing::TestWithParam<TSimulatedLine> {};
INSTANTIATE_TEST_SUITE_P(Lines, ReportOnALine, ::testing::ValuesIn(SimulatedLines), LineName);

TEST_P(ReportOnALine, HoldsTheTestsTheRunAndWhatIsNotKnown) {
    TPortsScope simulated(GetParam().Ports());
    QStringList errors;
    TErrorBoxes boxes(errors);
    TDeviceSlot slot(0, simulated.Ports());
    ASSERT_TRUE(slot.Open());
    TDriveModel model(slot);
    model.Motion().SetMode(PositionMode);
    TDeviceWindow window(model);
    // Before anything was read the settings of these tests are not known.
    for (int i = 0; i < 2; ++i)
        model.Tests().Run(TFigure("200"), TFigure("250"), false);
    for (const char key : QByteArray("i\r"))
        model.SendTyped(std::uint8_t(key));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.Identification().isEmpty(); }, 3000));

    TTuningPlan plan;
    plan.Search = true;
    plan.Lowest = {1.5, 2};
    plan.Highest = {6, 8};
    plan.MaxTests = 3;
    plan.Criterion.OvershootLimit = 40;
    plan.Amplitude = TFigure("200");
    plan.Time = TFigure("250");
    TTuningRunner search(model, plan);
    search.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.LastRun().has_value(); }, 20000));
    ASSERT_TRUE(model.LastRun()->Best) << "the criterion is wide enough for the drive's defaults";

    QTemporaryDir dir;
    const QString path = dir.filePath("raport.pdf");
    TModalAnswer answer([&](QDialog* dialog) {
        dialog->findChild<QLineEdit*>("reportPathEdit")->setText(path);
        dialog->findChild<QPlainTextEdit*>("reportNoteEdit")->setPlainText("Oś Y, stół");
        dialog->findChild<QComboBox*>("reportTestsBox")->setCurrentIndex(TReportChoice::All);
    });
    window.findChild<QPushButton*>("reportButton")->click();
    ASSERT_TRUE(answer.Answered());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = PdfText(file.readAll());
    for (const QString& said :
         {model.Identification(), QStringLiteral("Oś Y, stół"), QStringLiteral("DEV0"),
          // The registers the run found and restored.
          QStringLiteral("P2 = 768"), QStringLiteral("P1 = 1024"), QStringLiteral("nieznana"),
          QStringLiteral("Poszukiwanie: KP w granicach"), QStringLiteral("Zalecenie"),
          // The best round's figure as its table shows it.
          FloatToText(model.LastRun()->Rounds[*model.LastRun()->Best].Overshoot)})
        EXPECT_TRUE(text.contains(said)) << said.toStdString();
    // Every test of the history has its row of figures: the two and the run's three.
    for (const TTestRecord& test : model.Tests().All())
        EXPECT_TRUE(
            text.contains(QStringLiteral("%1/%2").arg(test.Figures.Received).arg(test.Step.SampleCount)));
    EXPECT_EQ(model.Tests().All().size(), 5u);
    EXPECT_TRUE(errors.isEmpty()) << errors.join(' ').toStdString();
}
