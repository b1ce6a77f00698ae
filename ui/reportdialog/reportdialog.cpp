#include "ui/reportdialog/reportdialog.h"

#include "ui/errorbox/errorbox.h"
#include "ui/filedialog/choosefile.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>

TReportDialog::TReportDialog(QWidget* parent, const QString& path, int ticked, int all)
    : QDialog(parent), FPath(new QLineEdit(path, this)), FNote(new QPlainTextEdit(this)),
      FBank(new QComboBox(this)), FTests(new QComboBox(this)) {
    setWindowTitle(QStringLiteral("Raport z uruchomienia"));
    FPath->setObjectName(QStringLiteral("reportPathEdit"));
    FNote->setObjectName(QStringLiteral("reportNoteEdit"));
    FBank->setObjectName(QStringLiteral("reportBankBox"));
    FTests->setObjectName(QStringLiteral("reportTestsBox"));
    FNote->setPlaceholderText(QStringLiteral("np. maszyna, oś, kto uruchamiał"));
    FNote->setTabChangesFocus(true);
    FBank->addItem(QStringLiteral("nie podawaj"));
    for (int bank = 0; bank < 4; ++bank)
        FBank->addItem(QStringLiteral("Bank %1").arg(bank));
    FTests->addItems({QStringLiteral("zaznaczone w historii (%1)").arg(ticked),
                      QStringLiteral("wszystkie z historii (%1)").arg(all), QStringLiteral("żadne")});

    auto* choose = new QPushButton(QStringLiteral("Wybierz…"), this);
    connect(choose, &QPushButton::clicked, this, [this] {
        QPointer<TReportDialog> alive(this);
        const QString chosen = ChooseFile(this, QStringLiteral("Zapisz raport"), QFileDialog::AcceptSave,
                                          QStringLiteral("Raport PDF (*.pdf)"), QStringLiteral("pdf"));
        if (alive && !chosen.isEmpty())
            FPath->setText(chosen);
    });
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(FPath, 1);
    pathRow->addWidget(choose);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Plik:"), pathRow);
    form->addRow(QStringLiteral("Uwagi:"), FNote);
    form->addRow(QStringLiteral("Bank nastaw:"), FBank);
    form->addRow(QStringLiteral("Testy:"), FTests);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Save)->setText(QStringLiteral("Zapisz"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Anuluj"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TReportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TReportDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    resize(520, 300);
}

TReportChoice TReportDialog::Choice() const {
    TReportChoice choice;
    choice.Path = FPath->text().trimmed();
    choice.Note = FNote->toPlainText();
    if (FBank->currentIndex() > 0)
        choice.Bank = FBank->currentIndex() - 1;
    choice.Tests = TReportChoice::TTests(FTests->currentIndex());
    return choice;
}

void TReportDialog::accept() {
    if (FPath->text().trimmed().isEmpty()) {
        ShowErrorBox(QStringLiteral("Name the file the report is to be written to"));
        return;
    }
    if (FNote->toPlainText().size() > KLongestNote) {
        ShowErrorBox(QStringLiteral("The note is %1 characters long; a report takes at most %2")
                         .arg(FNote->toPlainText().size())
                         .arg(KLongestNote));
        return;
    }
    QDialog::accept();
}

std::optional<TReportChoice> AskReport(QWidget* parent, const QString& path, int ticked, int all) {
    QPointer<TReportDialog> dialog = new TReportDialog(parent, path, ticked, all);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    // The parent may have gone while the dialog ran, and the dialog with it.
    if (!dialog)
        return std::nullopt;
    const TReportChoice choice = dialog->Choice();
    delete dialog;
    if (!accepted)
        return std::nullopt;
    return choice;
}
