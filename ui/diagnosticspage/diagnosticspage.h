#pragma once

#include "drive/drivemodel.h"

#include <QButtonGroup>
#include <QPointer>
#include <QWidget>
#include <memory>

namespace Ui {
class TDiagnosticsPage;
}

// The tab "Diagnostyka": the drive mode, the set-point slider, identification and position. Every
// control writes its command line at once and reads no reply; the answers show in the terminal.
class TDiagnosticsPage : public QWidget {
    Q_OBJECT

public:
    explicit TDiagnosticsPage(QWidget* parent = nullptr);
    ~TDiagnosticsPage() override;

    // Binds the page to the device it commands; the device window calls it once, at its start.
    void Attach(TDriveModel& model);
    // Before the device closes: a set-point left away from 0 goes back to 0, so no motor is left
    // turning with no window to stop it. Why it could not be sent, or empty.
    QString ReturnToZero();

private:
    void ChangeMode(int mode);
    void SendSetPoint(int position);
    // The mode's button shows the mode the drive was last sent; one not known leaves the choice as it is.
    void ShowMode();

    std::unique_ptr<Ui::TDiagnosticsPage> ui;
    QButtonGroup FModes;
    QPointer<TDriveModel> FModel;
    // The click that follows a toggle has sent the mode already.
    bool FToggled = false;
};
