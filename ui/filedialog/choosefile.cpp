#include "ui/filedialog/choosefile.h"

#include <QFileInfo>
#include <QPointer>

QString ChooseFile(QWidget* parent, const QString& caption, QFileDialog::AcceptMode mode,
                   const QString& filter, const QString& suffix, QString* folder) {
    QPointer<QFileDialog> dialog = new QFileDialog(parent, caption);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    if (folder && !folder->isEmpty())
        dialog->setDirectory(*folder);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return {};
    const QStringList chosen = dialog->selectedFiles();
    delete dialog;
    if (!accepted || chosen.isEmpty())
        return {};
    if (folder)
        *folder = QFileInfo(chosen.constFirst()).absolutePath();
    return chosen.constFirst();
}
