#pragma once

#include "drive/tuningrunner.h"

#include <QDialog>
#include <QPointer>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class TTuningDialog;
}
class QComboBox;
class QLineEdit;

// "Strojenie": a sweep of one setting or a search over two, run as step tests with the step page's
// amplitude and time; the rounds with what the tuner expected of each and what it measured, the
// tuning map, the best by the stated criterion, and the commands to start, stop and apply it. The
// dialog does not block the program: the history, the plot and the terminal stay open to the user
// while commands that would talk to the drive wait for the run's end. However a run ends, the drive
// gets back the settings it had before, until "Zastosuj" writes the result.
class TTuningDialog : public QDialog {
    Q_OBJECT

public:
    TTuningDialog(TDriveModel& model, const QString& amplitudeText, const QString& timeText,
                  QWidget* parent = nullptr);
    ~TTuningDialog() override;

    void StartRun();
    void StopRun();
    void ApplyResult();
    // The run the entries ask for; throws EKelmorError for an entry that is not a number.
    TTuningPlan Plan() const;

protected:
    void reject() override;

private:
    void FillRange(QComboBox* row, QLineEdit* from, QLineEdit* to, double factor);
    void FillKiFloor();
    // KI's floor is asked for only while the search may lower KI.
    void UpdateKiRow();
    bool KiRowSearched() const;
    // Unsent edits on the settings page: the engineer writes them first, leaves them (the run starts
    // from the drive's settings either way), or does not start; false for the last.
    bool SettleUnsent();
    void ShowPlannedMap();
    void ShowRounds();
    void PredictMap();
    void ShowMap();
    void ShowEnd(const QString& why);
    // What the end says of the settings the drive had before the run; a restore that waits for the
    // device is said again once it is done.
    void ShowEndText();
    QString RestoreText() const;
    void UpdateButtons();

    std::unique_ptr<Ui::TTuningDialog> ui;
    QPointer<TDriveModel> FModel;
    QString FAmplitudeText;
    QString FTimeText;
    QPointer<TTuningRunner> FRunner;
    // The overshoot the tuner predicts over the map's cells, row by row; empty before it has learnt.
    std::vector<double> FPredicted;
    // How the last run ended, and whether its restore was left for the device's return.
    struct TEnd {
        QString Why;
        bool RestoreDeferred = false;
    };
    std::optional<TEnd> FEnd;
};
