#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TErrorForm;
}

// The modal dialog that reports a device that cannot be opened.
class TErrorForm : public QDialog {
    Q_OBJECT

public:
    explicit TErrorForm(QWidget* parent = nullptr);
    ~TErrorForm() override;

    // Shows the text modally; returns when the user closes the dialog.
    void ShowError(const QString& text);

private:
    std::unique_ptr<Ui::TErrorForm> ui;
};
