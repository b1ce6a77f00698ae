#include "ui/steppage/steppage.h"

#include "drive/stepfiles.h"
#include "plot/imagefile.h"
#include "plot/paintercanvas.h"
#include "plot/stepplot.h"
#include "report/drawings.h"
#include "ui/deviceview/drivecommands.h"
#include "ui/errorbox/errorbox.h"
#include "ui/filedialog/choosefile.h"
#include "ui/tuningdialog/tuningdialog.h"
#include "ui_steppage.h"

#include <QFontMetrics>
#include <QResizeEvent>
#include <algorithm>

namespace {

constexpr int PanelWidth = 201;
constexpr int PlotWidth = 560;

// Fonts differ from system to system: a caption wider than the room up to the panel's edge is
// condensed until it fits.
void FitInPanel(QLabel* caption, const QWidget* panel) {
    const int room = panel->contentsRect().right() + 1 - caption->x();
    QFont font = caption->font();
    for (int stretch = QFont::Unstretched;
         QFontMetrics(font).horizontalAdvance(caption->text()) > room && stretch > QFont::ExtraCondensed;) {
        stretch -= 5;
        font.setStretch(stretch);
    }
    caption->setFont(font);
    caption->resize(room, caption->height());
}

} // namespace

TStepPage::TStepPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TStepPage>()) {
    ui->setupUi(this);
    ui->samplesNoteLabel->hide();
    for (QLabel* caption : {ui->amplitudeCaption, ui->timeCaption, ui->riseTimeCaption,
                            ui->settlingTimeCaption, ui->overshootCaption, ui->integralCaption})
        FitInPanel(caption, ui->sidePanel);
    ui->plotBox->addActions({ui->tuneAction, ui->savePlotAction, ui->saveDataAction, ui->reportAction});
    connect(ui->runButton, &QPushButton::clicked, this, &TStepPage::RunStepTest);
    connect(ui->clearButton, &QPushButton::clicked, this, &TStepPage::ClearPlot);
    connect(ui->tuneButton, &QPushButton::clicked, this, &TStepPage::OpenTuning);
    connect(ui->tuneAction, &QAction::triggered, this, &TStepPage::OpenTuning);
    connect(ui->savePlotAction, &QAction::triggered, this, &TStepPage::SavePlot);
    connect(ui->saveDataAction, &QAction::triggered, this, &TStepPage::SaveData);
    connect(ui->reportAction, &QAction::triggered, this, &TStepPage::ReportAsked);
}

TStepPage::~TStepPage() = default;

void TStepPage::Attach(TDriveModel& model, TShownTests& shown) {
    FModel = &model;
    FShown = &shown;
    connect(&model.Tests(), &TStepTests::Changed, this, [this] {
        // A test added elsewhere, by a tuning run or from a file, shows its figures as one run here.
        const std::vector<TTestRecord>& tests = FModel->Tests().All();
        if (!tests.empty() && tests.back().Number > FLastTest.value_or(0))
            ShowFigures(tests.back());
        // The last test's data can be saved only while it is in the history.
        ui->saveDataAction->setEnabled(FLastTest && FModel->Tests().Find(*FLastTest));
    });
    // The view follows the history too, so one redraw serves both.
    connect(&shown, &TShownTests::Changed, this, &TStepPage::Redraw);
    EnableWhileIdle(model, {ui->runButton});
    Redraw();
}

void TStepPage::resizeEvent(QResizeEvent* event) {
    // The panel keeps to the left and the plot takes the rest, both the page's height, the plot at
    // least PlotWidth wide: where the page is too narrow for both, the panel covers its left edge.
    const int width = event->size().width();
    const int height = event->size().height();
    const int plotLeft = std::min(PanelWidth, width - PlotWidth);
    ui->sidePanel->setGeometry(0, 0, PanelWidth, height);
    ui->plotBox->setGeometry(plotLeft, 0, width - plotLeft, height);
    QWidget::resizeEvent(event);
    Redraw();
}

void TStepPage::RunStepTest() {
    RunGuarded([&] {
        if (!FModel)
            return;
        // The figures show as the test joins the history.
        const TStepTests::TOutcome outcome =
            FModel->Tests().Run(TFigure(ui->amplitudeEdit->text()), TFigure(ui->timeEdit->text()),
                                ui->readSettingsCheck->isChecked());
        if (outcome.TimeCapped)
            ui->timeEdit->setText(QStringLiteral("250"));
    });
}

void TStepPage::ShowFigures(const TTestRecord& test) {
    const TStepTexts texts = StepTexts(test.Figures);
    ui->overshootLabel->setText(texts.Overshoot);
    ui->integralLabel->setText(texts.Integral);
    ui->riseTimeLabel->setText(texts.RiseTime);
    ui->settlingTimeLabel->setText(texts.SettlingTime);
    const auto received = qsizetype(ReceivedCount(test.Step));
    ui->samplesNoteLabel->setText(
        QStringLiteral("received %1 of %2 samples").arg(received).arg(test.Step.SampleCount));
    ui->samplesNoteLabel->setVisible(received < test.Step.SampleCount);
    FLastTest = test.Number;
    ui->saveDataAction->setEnabled(true);
}

void TStepPage::Redraw() {
    TPlotView& view = *ui->plotBox;
    if (!FShown || view.Image().isNull())
        return;
    const std::vector<TPlottedTest> plotted = PlottedTests(FShown->Tests());

    const TColor face = view.Background();
    view.Image().fill(QColor(RedOf(face), GreenOf(face), BlueOf(face)));
    TPainterCanvas canvas(view.Image(), face, view.font());
    if (FFramed)
        WipeStepPlot(canvas, view.width(), view.height(), face);
    if (!plotted.empty())
        DrawStepTests(canvas, view.width(), view.height(), plotted);
    view.update();
}

void TStepPage::OpenTuning() {
    if (!FModel)
        return;
    // One dialog a device: while it is open, the button brings it back to the front.
    if (FTuning) {
        FTuning->raise();
        FTuning->activateWindow();
        return;
    }
    // The dialog closes with the page; its run ends then too.
    FTuning = new TTuningDialog(*FModel, ui->amplitudeEdit->text(), ui->timeEdit->text(), this);
    FTuning->setAttribute(Qt::WA_DeleteOnClose);
    FTuning->show();
}

void TStepPage::ClearPlot() {
    FFramed = true;
    if (FShown)
        FShown->HideAll();
    Redraw();
}

void TStepPage::SavePlot() {
    RunGuarded([&] {
        const QString fileName = ChooseFile(this, QStringLiteral("Zapisz wykres"), QFileDialog::AcceptSave,
                                            QStringLiteral("PNG (*.png)"), QStringLiteral("png"));
        if (!fileName.isEmpty())
            SavePng(fileName, ui->plotBox->Image());
    });
}

void TStepPage::SaveData() {
    RunGuarded([&] {
        const QString fileName = ChooseFile(this, QStringLiteral("Zapisz dane"), QFileDialog::AcceptSave,
                                            QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"));
        const TTestRecord* test = FModel && FLastTest ? FModel->Tests().Find(*FLastTest) : nullptr;
        if (!fileName.isEmpty() && test)
            WriteStepCsv(fileName, test->Step);
    });
}
