#include "ui/mainwindow/filechoice.h"

#include <QFile>
#include <QFileDialog>
#include <cstdio>

TFileChoice::TFileChoice(QWidget* parent) : FParent(parent) {}

QFileDialog& TFileChoice::Dialog() {
    // Made at the first choice: its model reads the folder and the file types in it, which the first
    // window need not wait for. Kept after, so that the next choice starts where the last one ended.
    if (!FDialog) {
        FDialog = new QFileDialog(FParent);
        FDialog->setOption(QFileDialog::DontUseNativeDialog);
        FDialog->setFileMode(QFileDialog::AnyFile);
        FDialog->setAcceptMode(QFileDialog::AcceptOpen);
        FDialog->setNameFilter(QStringLiteral("All files (*)"));
    }
    return *FDialog;
}

TFilePtr TFileChoice::ChooseAndOpen(const char* mode, QString* path) {
    if (Dialog().exec() != QDialog::Accepted || FDialog->selectedFiles().isEmpty())
        return nullptr;
    const QString chosen = FDialog->selectedFiles().constFirst();
    if (path)
        *path = chosen;
    return TFilePtr(std::fopen(QFile::encodeName(chosen).constData(), mode));
}
