#include "ui/tuningdialog/tuningdialog.h"

#include "common/numtext.h"
#include "ui/errorbox/errorbox.h"
#include "ui_tuningdialog.h"

#include <QHeaderView>
#include <QTableWidgetItem>

namespace {

enum TRoundColumn : int {
    TestColumn,
    FirstGainColumn,
    SecondGainColumn,
    OvershootColumn,
    ScoreColumn,
    VerdictColumn
};

QString VerdictText(TRoundVerdict verdict) {
    switch (verdict) {
    case TRoundVerdict::Eligible:
        return QStringLiteral("spełnia");
    case TRoundVerdict::SamplesMissing:
        return QStringLiteral("brak próbek");
    case TRoundVerdict::Overshoot:
        return QStringLiteral("przeregulowanie");
    default:
        return QStringLiteral("nie ustala się");
    }
}

void FillRows(QComboBox* box, TSettingRow chosen) {
    for (const TRegisterRow& row : RegisterTable)
        box->addItem(QString::fromUtf8(row.Label));
    box->setCurrentIndex(chosen);
}

double Number(const QLineEdit* edit) {
    return double(StrToFloat(edit->text()));
}

} // namespace

TTuningDialog::TTuningDialog(TDriveSession& session, const QString& amplitudeText, const QString& timeText,
                             QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TTuningDialog>()), FSession(&session),
      FAmplitudeText(amplitudeText), FTimeText(timeText) {
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    ui->stepLabel->setText(QStringLiteral("Skok: %1 impulsów, pomiar %2 ms (z zakładki „Skok jednostkowy”)")
                               .arg(amplitudeText, timeText));
    FillRows(ui->sweepRowBox, KP);
    FillRows(ui->firstRowBox, KP);
    FillRows(ui->secondRowBox, KV);
    const auto range = [this](QComboBox* box, QLineEdit* from, QLineEdit* to) {
        FillRange(box, from, to);
        connect(box, &QComboBox::currentIndexChanged, this, [=, this] { FillRange(box, from, to); });
    };
    range(ui->sweepRowBox, ui->sweepFromEdit, ui->sweepToEdit);
    range(ui->firstRowBox, ui->firstFromEdit, ui->firstToEdit);
    range(ui->secondRowBox, ui->secondFromEdit, ui->secondToEdit);
    ui->limitEdit->setText(GainText(10));
    ui->rounds->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->rounds->verticalHeader()->hide();
    // Only the chosen mode's entries show.
    connect(ui->sweepRadio, &QRadioButton::toggled, this, [this](bool sweep) {
        ui->sweepGroup->setVisible(sweep);
        ui->searchGroup->setVisible(!sweep);
    });
    ui->searchGroup->hide();
    connect(ui->startButton, &QPushButton::clicked, this, &TTuningDialog::StartRun);
    connect(ui->stopButton, &QPushButton::clicked, this, &TTuningDialog::StopRun);
    connect(ui->applyButton, &QPushButton::clicked, this, &TTuningDialog::ApplyBest);
    connect(ui->closeButton, &QPushButton::clicked, this, &TTuningDialog::reject);
    UpdateButtons();
}

TTuningDialog::~TTuningDialog() {
    if (!FRunner)
        return;
    // A run under way ends after its test, and its runner with it.
    if (FRunner->Running()) {
        FRunner->Stop();
        connect(FRunner, &TTuningRunner::Finished, FRunner, &QObject::deleteLater);
    } else {
        FRunner->deleteLater();
    }
}

void TTuningDialog::FillRange(QComboBox* row, QLineEdit* from, QLineEdit* to) {
    if (!FSession)
        return;
    // Half to twice the present value, as a first guess.
    double value = 0;
    try {
        value = double(StrToFloat(FSession->SettingTexts()[std::size_t(row->currentIndex())]));
    } catch (const EKelmorError&) {
    }
    from->setText(GainText(value > 0 ? value / 2 : 0.1));
    to->setText(GainText(value > 0 ? value * 2 : 1));
}

TTuningPlan TTuningDialog::Plan() const {
    TTuningPlan plan;
    plan.Search = ui->searchRadio->isChecked();
    if (plan.Search) {
        plan.Rows = {TSettingRow(ui->firstRowBox->currentIndex()),
                     TSettingRow(ui->secondRowBox->currentIndex())};
        plan.Lowest = {Number(ui->firstFromEdit), Number(ui->secondFromEdit)};
        plan.Highest = {Number(ui->firstToEdit), Number(ui->secondToEdit)};
        plan.MaxTests = ui->maxTestsSpin->value();
    } else {
        plan.Rows[0] = TSettingRow(ui->sweepRowBox->currentIndex());
        plan.From = Number(ui->sweepFromEdit);
        plan.To = Number(ui->sweepToEdit);
        plan.Steps = ui->stepsSpin->value();
        plan.Geometric = ui->geometricRadio->isChecked();
    }
    plan.Criterion.OvershootLimit = Number(ui->limitEdit);
    plan.Criterion.BackOffPercent = ui->backOffSpin->value();
    plan.ReturnToStart = !ui->noReturnCheck->isChecked();
    plan.AmplitudeText = FAmplitudeText;
    plan.TimeText = FTimeText;
    return plan;
}

void TTuningDialog::StartRun() {
    if (!FSession || (FRunner && FRunner->Running()))
        return;
    RunGuarded([this] {
        const TTuningPlan plan = Plan();
        if (FRunner)
            FRunner->deleteLater();
        // The runner belongs to the session, so that a run stopped by closing the dialog still ends
        // its test and gives the drive its settings back.
        auto* runner = new TTuningRunner(*FSession, plan, FSession);
        FRunner = runner;
        connect(runner, &TTuningRunner::RoundDone, this, &TTuningDialog::ShowRounds);
        connect(runner, &TTuningRunner::Finished, this, &TTuningDialog::ShowEnd);
        ui->rounds->setRowCount(0);
        ui->rounds->setColumnHidden(SecondGainColumn, !plan.Search);
        ui->rounds->setHorizontalHeaderItem(
            FirstGainColumn, new QTableWidgetItem(QString::fromUtf8(RegisterTable[plan.Rows[0]].Label)));
        ui->rounds->setHorizontalHeaderItem(
            SecondGainColumn, new QTableWidgetItem(QString::fromUtf8(RegisterTable[plan.Rows[1]].Label)));
        ui->progressBar->setRange(0, runner->PlannedRounds());
        ui->progressBar->setValue(0);
        ui->progressLabel->setText(QStringLiteral("Odczyt nastaw z napędu…"));
        try {
            runner->Start();
        } catch (...) {
            ui->progressLabel->clear();
            runner->deleteLater();
            throw;
        }
        ui->progressLabel->setText(QStringLiteral("Runda 1 z %1").arg(runner->PlannedRounds()));
        UpdateButtons();
    });
}

void TTuningDialog::StopRun() {
    if (FRunner && FRunner->Running()) {
        FRunner->Stop();
        ui->progressLabel->setText(QStringLiteral("Kończę po bieżącym teście…"));
    }
}

void TTuningDialog::ApplyBest() {
    if (!FSession || !FRunner || FRunner->Running())
        return;
    const std::optional<TSettingTexts> best = FRunner->BestSettings();
    if (!best)
        return;
    RunGuarded([&] {
        FSession->SetSettingTexts(*best);
        FSession->WriteSettings();
        ui->progressLabel->setText(QStringLiteral("Zastosowano nastawy najlepszego testu."));
    });
}

void TTuningDialog::ShowRounds() {
    if (!FRunner)
        return;
    const std::vector<TTuningRound>& rounds = FRunner->Rounds();
    const std::optional<std::size_t> best = FRunner->Best();
    ui->rounds->setRowCount(int(rounds.size()));
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        const TTuningRound& round = rounds[i];
        const bool isBest = best && *best == i;
        const QString texts[] = {QString::number(round.TestNumber),
                                 GainText(round.Gains[0]),
                                 GainText(round.Gains[1]),
                                 FloatToText(round.Overshoot),
                                 FloatToText(round.Score),
                                 isBest ? QStringLiteral("★ najlepszy") : VerdictText(round.Verdict)};
        for (int column = 0; column < int(std::size(texts)); ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            QFont font = item->font();
            font.setBold(isBest);
            item->setFont(font);
            ui->rounds->setItem(int(i), column, item);
        }
    }
    ui->rounds->scrollToBottom();
    ui->progressBar->setValue(int(rounds.size()));
    QString text = QStringLiteral("Runda %1 z %2").arg(rounds.size()).arg(FRunner->PlannedRounds());
    if (best)
        text += QStringLiteral(" · najlepszy: test %1, %2 %3, całka/A %4 ms")
                    .arg(rounds[*best].TestNumber)
                    .arg(QString::fromUtf8(RegisterTable[FRunner->Plan().Rows[0]].Label),
                         GainText(rounds[*best].Gains[0]), FloatToText(rounds[*best].Score));
    ui->progressLabel->setText(text);
}

void TTuningDialog::ShowEnd(const QString& why) {
    ShowRounds();
    ui->progressBar->setValue(ui->progressBar->maximum());
    const bool best = FRunner && FRunner->Best();
    QString text = why.isEmpty() ? QStringLiteral("Gotowe.") : why + QLatin1Char('.');
    text += best ? QStringLiteral(" Nastawy sprzed strojenia przywrócone; „Zastosuj” wpisze najlepsze.")
                 : QStringLiteral(" Nastawy sprzed strojenia przywrócone; żaden test nie spełnił kryterium.");
    ui->progressLabel->setText(text);
    UpdateButtons();
}

void TTuningDialog::UpdateButtons() {
    const bool running = FRunner && FRunner->Running();
    ui->startButton->setEnabled(!running);
    ui->stopButton->setEnabled(running);
    ui->applyButton->setEnabled(!running && FRunner && FRunner->Best());
    ui->modeGroup->setEnabled(!running);
    ui->sweepGroup->setEnabled(!running);
    ui->searchGroup->setEnabled(!running);
    ui->criterionGroup->setEnabled(!running);
}

void TTuningDialog::reject() {
    // The run ends after its test and gives the drive its settings back.
    StopRun();
    QDialog::reject();
}
