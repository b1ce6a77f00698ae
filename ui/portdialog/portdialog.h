#pragma once

#include "device/portsettings.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TPortDialog;
}

// The port dialog: shows and edits the port settings of a device slot.
class TPortDialog : public QDialog {
    Q_OBJECT

public:
    explicit TPortDialog(QWidget* parent = nullptr);
    ~TPortDialog() override;

    void LoadSettings(const TPortSettings& settings);
    void StoreSettings(TPortSettings& settings) const;

    // The RTS and DTR boxes as they stand; a new device window colours its switches from them.
    bool RtsChecked() const;
    bool DtrChecked() const;

private:
    void EventCharCheckClick();
    void ErrorCharCheckClick();

    std::unique_ptr<Ui::TPortDialog> ui;
};
