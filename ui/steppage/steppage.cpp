#include "ui/steppage/steppage.h"

#include "common/savefile.h"
#include "drive/steptest.h"
#include "plot/paintercanvas.h"
#include "plot/stepplot.h"
#include "ui/errorbox/errorbox.h"
#include "ui/filedialog/choosefile.h"
#include "ui_steppage.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QResizeEvent>

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

void SaveImage(const QString& fileName, const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    QString reason = QStringLiteral("the image could not be encoded");
    if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"))
        reason = SaveWholeFile(fileName, png);
    if (!reason.isEmpty())
        throw EKelmorError(QStringLiteral("Cannot write the file \"%1\": %2").arg(fileName, reason));
}

} // namespace

TStepPage::TStepPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TStepPage>()) {
    ui->setupUi(this);
    ui->samplesNoteLabel->hide();
    for (QLabel* caption : {ui->amplitudeCaption, ui->timeCaption, ui->riseTimeCaption,
                            ui->settlingTimeCaption, ui->overshootCaption, ui->integralCaption})
        FitInPanel(caption, ui->sidePanel);
    ui->plotBox->addActions({ui->savePlotAction, ui->saveDataAction});
    connect(ui->runButton, &QPushButton::clicked, this, &TStepPage::RunStepTest);
    connect(ui->clearButton, &QPushButton::clicked, this, &TStepPage::ClearPlot);
    connect(ui->savePlotAction, &QAction::triggered, this, &TStepPage::SavePlot);
    connect(ui->saveDataAction, &QAction::triggered, this, &TStepPage::SaveData);
}

TStepPage::~TStepPage() = default;

void TStepPage::Attach(TDeviceSlot& slot) {
    FSlot = &slot;
}

void TStepPage::resizeEvent(QResizeEvent* event) {
    // The panel keeps to the left and the plot to the right, both the page's height; where the page
    // is too narrow for both, the panel covers the plot's left edge.
    const int height = event->size().height();
    ui->sidePanel->setGeometry(0, 0, PanelWidth, height);
    ui->plotBox->setGeometry(event->size().width() - PlotWidth, 0, PlotWidth, height);
    QWidget::resizeEvent(event);
}

void TStepPage::RunStepTest() {
    RunGuarded([&] {
        if (!FSlot)
            return;
        TStepMeasurement measurement;
        {
            // Holds the poll off for the whole test; it runs again however the test ends.
            const std::unique_ptr<TExchange> exchange = FSlot->BeginExchange();
            measurement = MeasureStep(*exchange, ui->amplitudeEdit->text(), ui->timeEdit->text());
        }
        if (measurement.TimeCapped)
            ui->timeEdit->setText(QStringLiteral("250"));
        ShowTest(measurement.Record);
    });
}

void TStepPage::ShowTest(const TStepRecord& record) {
    const TStepTexts texts = StepTexts(StepFigures(record));
    ui->overshootLabel->setText(texts.Overshoot);
    ui->integralLabel->setText(texts.Integral);
    ui->riseTimeLabel->setText(texts.RiseTime);
    ui->settlingTimeLabel->setText(texts.SettlingTime);
    const auto received = qsizetype(ReceivedCount(record));
    ui->samplesNoteLabel->setText(
        QStringLiteral("received %1 of %2 samples").arg(received).arg(record.SampleCount));
    ui->samplesNoteLabel->setVisible(received < record.SampleCount);

    FLastTest = record;
    ui->saveDataAction->setEnabled(true);
    TPlotView& view = *ui->plotBox;
    if (view.Image().isNull())
        return;
    TPainterCanvas canvas(view.Image(), view.Background(), view.font());
    DrawStepTest(canvas, view.width(), view.height(), record.Amplitude, record.SampleCount,
                 RelativeSamples(record));
    view.update();
}

void TStepPage::ClearPlot() {
    TPlotView& view = *ui->plotBox;
    if (view.Image().isNull())
        return;
    TPainterCanvas canvas(view.Image(), view.Background(), view.font());
    WipeStepPlot(canvas, view.width(), view.height(), view.Background());
    view.update();
}

void TStepPage::SavePlot() {
    RunGuarded([&] {
        const QString fileName = ChooseFile(this, QStringLiteral("Zapisz wykres"), QFileDialog::AcceptSave,
                                            QStringLiteral("PNG (*.png)"), QStringLiteral("png"));
        if (!fileName.isEmpty())
            SaveImage(fileName, ui->plotBox->Image());
    });
}

void TStepPage::SaveData() {
    RunGuarded([&] {
        const QString fileName = ChooseFile(this, QStringLiteral("Zapisz dane"), QFileDialog::AcceptSave,
                                            QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"));
        if (!fileName.isEmpty() && FLastTest)
            WriteStepCsv(fileName, *FLastTest);
    });
}
