#pragma once

#include "link/ports.h"

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

private:
    // A character's box and label are enabled while its check box is ticked.
    void EnableEventChar();
    void EnableErrorChar();

    std::unique_ptr<Ui::TPortDialog> ui;
};
