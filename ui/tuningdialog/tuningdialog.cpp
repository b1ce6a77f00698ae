#include "ui/tuningdialog/tuningdialog.h"

#include "common/numtext.h"
#include "drive/registertable.h"
#include "report/drawings.h"
#include "ui/errorbox/errorbox.h"
#include "ui/tuningdialog/roundstable.h"
#include "ui_tuningdialog.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QTableWidgetItem>
#include <algorithm>
#include <cmath>

namespace {

// A sweep's box: half to twice the present value; a search's: an eighth to eight times, since a drive
// that is not the one its defaults were made for may need gains several times apart from them.
constexpr double KSweepFactor = 2;
constexpr double KSearchFactor = 8;

void FillRows(QComboBox* box, TSettingRow chosen) {
    for (const TRegisterRow& row : RegisterTable)
        box->addItem(QString::fromUtf8(row.Label));
    box->setCurrentIndex(chosen);
}

double Number(const QLineEdit* edit) {
    return double(StrToFloat(edit->text()));
}

} // namespace

TTuningDialog::TTuningDialog(TDriveModel& model, const QString& amplitudeText, const QString& timeText,
                             QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TTuningDialog>()), FModel(&model),
      FAmplitudeText(amplitudeText), FTimeText(timeText) {
    ui->setupUi(this);
    ui->stepLabel->setText(QStringLiteral("Skok: %1 impulsów, pomiar %2 ms (z zakładki „Skok jednostkowy”)")
                               .arg(amplitudeText, timeText));
    FillRows(ui->sweepRowBox, KP);
    FillRows(ui->firstRowBox, KP);
    FillRows(ui->secondRowBox, KV);
    // The boxes lie around the settings the page shows, and follow them when a read-back, a result
    // applied or a file changes them.
    const auto range = [this](QComboBox* box, QLineEdit* from, QLineEdit* to, double factor) {
        const auto fill = [=, this] { FillRange(box, from, to, factor); };
        fill();
        connect(box, &QComboBox::currentIndexChanged, this, fill);
        connect(&FModel->Parameters(), &TParameters::WantedChanged, this, fill);
    };
    range(ui->sweepRowBox, ui->sweepFromEdit, ui->sweepToEdit, KSweepFactor);
    range(ui->firstRowBox, ui->firstFromEdit, ui->firstToEdit, KSearchFactor);
    range(ui->secondRowBox, ui->secondFromEdit, ui->secondToEdit, KSearchFactor);
    FillKiFloor();
    connect(&FModel->Parameters(), &TParameters::WantedChanged, this, &TTuningDialog::FillKiFloor);
    for (QComboBox* box : {ui->firstRowBox, ui->secondRowBox})
        connect(box, &QComboBox::currentIndexChanged, this, &TTuningDialog::UpdateKiRow);
    connect(ui->kiKeepCheck, &QCheckBox::toggled, this, &TTuningDialog::UpdateKiRow);
    UpdateKiRow();
    ui->limitEdit->setText(GainText(10));
    ui->rounds->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // The verdict takes the room the figures leave.
    ui->rounds->horizontalHeader()->setStretchLastSection(true);
    ui->rounds->verticalHeader()->hide();
    // The table's eight columns take two thirds; the map keeps its square's worth.
    ui->resultSplitter->setStretchFactor(0, 2);
    ui->resultSplitter->setStretchFactor(1, 1);
    // Only the chosen mode's entries show; the map only for a search.
    connect(ui->sweepRadio, &QRadioButton::toggled, this, [this](bool sweep) {
        ui->sweepGroup->setVisible(sweep);
        ui->searchGroup->setVisible(!sweep);
        ui->tuningMap->setVisible(!sweep);
    });
    ui->searchGroup->hide();
    ui->tuningMap->hide();
    // Before a run the map shows the box the entries give, and where the page's settings lie in it.
    for (QComboBox* box : {ui->firstRowBox, ui->secondRowBox})
        connect(box, &QComboBox::currentIndexChanged, this, &TTuningDialog::ShowPlannedMap);
    for (QLineEdit* edit : {ui->firstFromEdit, ui->firstToEdit, ui->secondFromEdit, ui->secondToEdit})
        connect(edit, &QLineEdit::textChanged, this, &TTuningDialog::ShowPlannedMap);
    ShowPlannedMap();
    connect(ui->startButton, &QPushButton::clicked, this, &TTuningDialog::StartRun);
    // A restore left for the device's return changes the end's text once it is written or refused.
    connect(&FModel->Parameters(), &TParameters::RestoreWritten, this, &TTuningDialog::ShowEndText);
    connect(&FModel->Parameters(), &TParameters::RestoreFailed, this, &TTuningDialog::ShowEndText);
    connect(ui->stopButton, &QPushButton::clicked, this, &TTuningDialog::StopRun);
    connect(ui->applyButton, &QPushButton::clicked, this, &TTuningDialog::ApplyResult);
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

void TTuningDialog::FillRange(QComboBox* row, QLineEdit* from, QLineEdit* to, double factor) {
    if (!FModel)
        return;
    double value = 0;
    try {
        value = double(FModel->Parameters().Wanted()[std::size_t(row->currentIndex())].Decimal());
    } catch (const EKelmorError&) {
    }
    from->setText(GainText(value > 0 ? value / factor : 0.1));
    to->setText(GainText(value > 0 ? value * factor : 1));
}

void TTuningDialog::FillKiFloor() {
    if (!FModel)
        return;
    double value = 0;
    try {
        value = double(FModel->Parameters().Wanted()[KI].Decimal());
    } catch (const EKelmorError&) {
    }
    // Half the KI the page shows, following it as the boxes do.
    ui->kiFloorEdit->setText(GainText(std::max(value, 0.0) / 2));
}

bool TTuningDialog::KiRowSearched() const {
    return ui->firstRowBox->currentIndex() == KI || ui->secondRowBox->currentIndex() == KI;
}

void TTuningDialog::UpdateKiRow() {
    const bool searched = KiRowSearched();
    for (QWidget* widget : {static_cast<QWidget*>(ui->kiFloorLabel), static_cast<QWidget*>(ui->kiFromLabel),
                            static_cast<QWidget*>(ui->kiKeepCheck)})
        widget->setEnabled(!searched);
    ui->kiFloorEdit->setEnabled(!searched && !ui->kiKeepCheck->isChecked());
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
        if (!ui->kiKeepCheck->isChecked() && !KiRowSearched())
            plan.KiFloor = Number(ui->kiFloorEdit);
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
    plan.Amplitude = TFigure(FAmplitudeText);
    plan.Time = TFigure(FTimeText);
    return plan;
}

void TTuningDialog::StartRun() {
    if (!FModel || (FRunner && FRunner->Running()))
        return;
    RunGuarded([this] {
        if (FModel->Busy())
            throw EKelmorError(QStringLiteral("A tuning run of this device is already under way"));
        const TTuningPlan plan = Plan();
        if (!SettleUnsent())
            return;
        if (FRunner)
            FRunner->deleteLater();
        // The runner belongs to the model, so that a run stopped by closing the dialog still ends
        // its test and gives the drive its settings back.
        auto* runner = new TTuningRunner(*FModel, plan, FModel);
        FRunner = runner;
        // The tuner learns from a test when it proposes the next, so the prediction changes then.
        connect(runner, &TTuningRunner::RoundProposed, this, [this] {
            PredictMap();
            ShowRounds();
        });
        connect(runner, &TTuningRunner::RoundDone, this, &TTuningDialog::ShowRounds);
        connect(runner, &TTuningRunner::Finished, this, &TTuningDialog::ShowEnd);
        FPredicted.clear();
        FEnd.reset();
        ui->rounds->setRowCount(0);
        ui->rounds->setColumnHidden(SecondGainColumn, !plan.Search);
        ui->rounds->setColumnHidden(KiColumn, !SearchesKi(plan));
        ui->rounds->setColumnHidden(PredictedOvershootColumn, !plan.Search);
        ui->rounds->setColumnHidden(PredictedScoreColumn, !plan.Search);
        for (const int column : {FirstGainColumn, SecondGainColumn})
            ui->rounds->setHorizontalHeaderItem(column,
                                                new QTableWidgetItem(SettingLabel(plan.Rows[column - 1])));
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
        ShowMap();
        UpdateButtons();
    });
}

bool TTuningDialog::SettleUnsent() {
    const std::vector<TSettingRow> rows = FModel->Parameters().Unsent();
    if (rows.empty())
        return true;
    QStringList labels;
    for (const TSettingRow row : rows)
        labels << SettingLabel(row);
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Kelmor"),
        QStringLiteral("Nastawy %1 na stronie „Nastawy Regulatora” nie zostały wpisane do napędu. "
                       "Strojenie zaczyna od nastaw odczytanych z napędu.")
            .arg(labels.join(QStringLiteral(", "))),
        QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("unsentBox"));
    QPushButton* write = box.addButton(QStringLiteral("Najpierw wpisz"), QMessageBox::AcceptRole);
    QPushButton* leave = box.addButton(QStringLiteral("Zostaw"), QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("Anuluj"), QMessageBox::RejectRole);
    box.setDefaultButton(write);
    box.exec();
    if (box.clickedButton() == write) {
        FModel->Parameters().Write();
        return true;
    }
    return box.clickedButton() == leave;
}

void TTuningDialog::StopRun() {
    if (FRunner && FRunner->Running()) {
        FRunner->Stop();
        ui->progressLabel->setText(QStringLiteral("Kończę po bieżącym teście…"));
    }
}

void TTuningDialog::ApplyResult() {
    if (!FModel || !FRunner || FRunner->Running() || FModel->Busy())
        return;
    const std::optional<TTuningResult> result = FRunner->Result();
    if (!result)
        return;
    RunGuarded([&] {
        FModel->Parameters().Apply(result->Registers);
        FModel->RunApplied();
        ui->progressLabel->setText(QStringLiteral("Zastosowano rejestry testu %1.")
                                       .arg(FRunner->Rounds()[result->Round].TestNumber));
    });
}

void TTuningDialog::ShowRounds() {
    if (!FRunner)
        return;
    const std::vector<TTuningRound>& rounds = FRunner->Rounds();
    const std::optional<std::size_t> best = FRunner->Best();
    FillRoundsTable(*ui->rounds, *FRunner, FModel ? FModel->MotorData() : DefaultMotorData());
    ui->rounds->scrollToBottom();
    ui->progressBar->setValue(int(
        std::count_if(rounds.begin(), rounds.end(), [](const TTuningRound& r) { return r.TestNumber > 0; })));
    QString text = QStringLiteral("Runda %1 z %2").arg(rounds.size()).arg(FRunner->PlannedRounds());
    if (best)
        text += QStringLiteral(" · najlepszy: test %1, całka/A %2 ms")
                    .arg(rounds[*best].TestNumber)
                    .arg(FloatToText(float(rounds[*best].Score)));
    ui->progressLabel->setText(text);
    ShowMap();
}

void TTuningDialog::ShowPlannedMap() {
    if (!FModel || (FRunner && FRunner->Running()))
        return;
    TTuningMap map;
    const std::array<QComboBox*, 2> rows = {ui->firstRowBox, ui->secondRowBox};
    const std::array<QLineEdit*, 2> lowest = {ui->firstFromEdit, ui->secondFromEdit};
    const std::array<QLineEdit*, 2> highest = {ui->firstToEdit, ui->secondToEdit};
    try {
        for (std::size_t i = 0; i < 2; ++i) {
            map.Labels[i] = SettingLabel(TSettingRow(rows[i]->currentIndex()));
            map.Lowest[i] = Number(lowest[i]);
            map.Highest[i] = Number(highest[i]);
            map.Start[i] =
                double(FModel->Parameters().Wanted()[std::size_t(rows[i]->currentIndex())].Decimal());
            if (!(map.Lowest[i] > 0 && map.Lowest[i] < map.Highest[i]))
                return;
        }
        map.Limit = Number(ui->limitEdit);
    } catch (const EKelmorError&) {
        // Until the entries are numbers the map keeps the box it had.
        return;
    }
    map.HasStart = map.Start[0] > 0 && map.Start[1] > 0;
    ui->tuningMap->SetMap(std::move(map));
}

void TTuningDialog::ShowMap() {
    if (!FRunner || !FRunner->Plan().Search)
        return;
    TTuningRecord run;
    run.Plan = FRunner->Plan();
    run.StartGains = FRunner->StartGains();
    run.Rounds = FRunner->Rounds();
    run.Best = FRunner->Best();
    run.PredictedOvershoot = FPredicted;
    ui->tuningMap->SetMap(RunMap(run, FModel ? FModel->MotorData() : DefaultMotorData()));
}

void TTuningDialog::PredictMap() {
    const TGainTuner* tuner = FRunner ? FRunner->Tuner() : nullptr;
    FPredicted = tuner ? PredictedOvershoot(*tuner, FRunner->Plan()) : std::vector<double>();
}

void TTuningDialog::ShowEnd(const QString& why) {
    // The model keeps the run with the map the tuner predicts at its end.
    FPredicted = FModel && FModel->LastRun() ? FModel->LastRun()->PredictedOvershoot : std::vector<double>();
    ShowRounds();
    ui->progressBar->setValue(ui->progressBar->maximum());
    FEnd = TEnd{why, FModel && FModel->Parameters().RestorePending()};
    ShowEndText();
    UpdateButtons();
}

void TTuningDialog::ShowEndText() {
    if (!FEnd)
        return;
    QString text =
        (FEnd->Why.isEmpty() ? QStringLiteral("Gotowe.") : FEnd->Why + QLatin1Char('.')) + RestoreText();
    const std::optional<TTuningResult> result = FRunner ? FRunner->Result() : std::nullopt;
    if (!result) {
        text += QStringLiteral("; żaden test nie spełnił kryterium.");
    } else {
        const QString ki = KiChangeText(FRunner->Record({}).StartKi, result->Registers,
                                        FModel ? FModel->MotorData() : DefaultMotorData());
        text += ResultText(*result, FRunner->Rounds()[result->Round].TestNumber, ki);
        if (FRunner->Tuner() && !result->Confirmed)
            text += QStringLiteral(" Nie zdążyłem go powtórzyć: potwierdź go testem.");
    }
    ui->progressLabel->setText(text);
}

QString TTuningDialog::RestoreText() const {
    // What became of the settings from before the run, as the model says now: a restore left for a
    // lost device's return is said again once it is written or refused, never claimed.
    const bool pending = FModel && FModel->Parameters().RestorePending();
    const QString failure = FModel ? FModel->Parameters().RestoreFailure() : QString();
    if (pending)
        return QStringLiteral(" Nastawy sprzed strojenia przywrócę po powrocie urządzenia");
    if (FEnd->RestoreDeferred)
        return failure.isEmpty()
                   ? QStringLiteral(" Nastawy sprzed strojenia przywrócone po powrocie urządzenia")
                   : QStringLiteral(" Nastawy sprzed strojenia NIE przywrócone po powrocie urządzenia (%1)")
                         .arg(failure);
    if (!failure.isEmpty())
        return QStringLiteral(" Nastaw sprzed strojenia NIE przywrócono (%1)").arg(failure);
    return QStringLiteral(" Nastawy sprzed strojenia przywrócone");
}

void TTuningDialog::UpdateButtons() {
    const bool running = FRunner && FRunner->Running();
    ui->startButton->setEnabled(!running);
    ui->stopButton->setEnabled(running);
    ui->applyButton->setEnabled(!running && FRunner && FRunner->Result());
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
