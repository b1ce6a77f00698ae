#include "ui/mainwindow/filechoice.h"

#include <QFile>
#include <QFileDialog>
#include <cstdio>

TFileChoice::TFileChoice(QWidget* parent) : FDialog(new QFileDialog(parent)) {
    FDialog->setOption(QFileDialog::DontUseNativeDialog);
    FDialog->setFileMode(QFileDialog::AnyFile);
    FDialog->setAcceptMode(QFileDialog::AcceptOpen);
    FDialog->setNameFilter(QStringLiteral("All files (*)"));
}

TFilePtr TFileChoice::ChooseAndOpen(const char* mode, QString* path) {
    if (FDialog->exec() != QDialog::Accepted || FDialog->selectedFiles().isEmpty())
        return nullptr;
    const QString chosen = FDialog->selectedFiles().constFirst();
    if (path)
        *path = chosen;
    return TFilePtr(std::fopen(QFile::encodeName(chosen).constData(), mode));
}
