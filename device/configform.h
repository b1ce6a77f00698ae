#pragma once

#include "device/portsettings.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TConfigForm;
}

// The port dialog: shows and edits the port settings of a device slot.
class TConfigForm : public QDialog {
    Q_OBJECT

public:
    explicit TConfigForm(QWidget* parent = nullptr);
    ~TConfigForm() override;

    void LoadSettings(const TPortSettings& settings);
    void StoreSettings(TPortSettings& settings) const;

    // The RTS and DTR boxes as they stand; a new device window colours its switches from them.
    bool RtsChecked() const;
    bool DtrChecked() const;

private:
    void EventCharCBClick();
    void ErrorCharCBClick();

    std::unique_ptr<Ui::TConfigForm> ui;
};

// The one port dialog of the program, created at start-up; none in tests that do not make one.
extern TConfigForm* ConfigForm;
