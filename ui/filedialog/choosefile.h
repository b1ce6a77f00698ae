#pragma once

#include <QFileDialog>
#include <QString>

// Asks for a file in the program's own file dialog, the same on every desktop. The dialog is the
// parent's child and watched: should the parent go while it runs, the dialog goes with it and
// nothing is chosen. Returns the chosen path, or an empty one when cancelled. A save asks for any
// name and adds the suffix when none is typed; an open asks for an existing file. With a folder
// given, the dialog opens there and the folder follows the choice.
QString ChooseFile(QWidget* parent, const QString& caption, QFileDialog::AcceptMode mode,
                   const QString& filter, const QString& suffix, QString* folder = nullptr);
