#pragma once

#include "drive/tuningrunner.h"

#include <QDialog>
#include <QPointer>
#include <memory>

namespace Ui {
class TTuningDialog;
}
class QComboBox;
class QLineEdit;

// "Strojenie": a sweep of one setting or a search over two, run as step tests with the step page's
// amplitude and time; the rounds, the best of them by the stated criterion, and the commands to
// start, stop and apply the best. However a run ends, the drive gets back the settings it had before,
// until "Zastosuj" writes the best.
class TTuningDialog : public QDialog {
    Q_OBJECT

public:
    TTuningDialog(TDriveSession& session, const QString& amplitudeText, const QString& timeText,
                  QWidget* parent = nullptr);
    ~TTuningDialog() override;

    void StartRun();
    void StopRun();
    void ApplyBest();

protected:
    void reject() override;

private:
    void FillRange(QComboBox* row, QLineEdit* from, QLineEdit* to);
    TTuningPlan Plan() const;
    void ShowRounds();
    void ShowEnd(const QString& why);
    void UpdateButtons();

    std::unique_ptr<Ui::TTuningDialog> ui;
    QPointer<TDriveSession> FSession;
    QString FAmplitudeText;
    QString FTimeText;
    QPointer<TTuningRunner> FRunner;
};
