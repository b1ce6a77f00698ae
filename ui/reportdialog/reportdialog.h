#pragma once

#include "report/report.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// The dialog that asks for it, the PDF's name chosen in the program's file dialog or typed. "Zapisz"
// is refused with a message, the dialog staying open, while the name is empty or the note too long.
class TReportDialog : public QDialog {
    Q_OBJECT

public:
    // ticked and all count the history's tests, for the choice of tests.
    TReportDialog(QWidget* parent, const QString& path, int ticked, int all);

    TReportChoice Choice() const;
    void accept() override;

    // A note longer than this is refused: the head of a report is no place for a document.
    static constexpr int KLongestNote = 2000;

private:
    QLineEdit* FPath;
    QPlainTextEdit* FNote;
    QComboBox* FBank;
    QComboBox* FTests;
};

// Asks; none when cancelled.
std::optional<TReportChoice> AskReport(QWidget* parent, const QString& path, int ticked, int all);
