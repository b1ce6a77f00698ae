#pragma once

#include "tests/support/modal.h"
#include "ui/mainwindow/mainform.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>

// Runs a file command of the main window with its file dialog answered: the path is typed into
// the name box and the dialog accepted, or, with accept false, the dialog is cancelled. Only that
// one dialog is answered; one the command opens later (a send's progress) is left alone. Returns
// whether the answered dialog was the main window's file dialog, it closed, and, when accepted,
// it chose the path.
inline bool RunWithChosenFile(TMainForm& form, void (TMainForm::*command)(), const QString& path,
                              bool accept = true) {
    QDialog* answered = nullptr;
    // A dialog that refuses the answer would wait for a user for ever.
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        if (answered != nullptr && answered->isVisible()) {
            stuck = true;
            answered->reject();
        }
    });
    {
        TModalAnswer answer(
            [&](QDialog* dialog) {
                answered = dialog;
                guard.start(3000);
                auto* files = qobject_cast<QFileDialog*>(dialog);
                if (files == nullptr)
                    return;
                // The dialog leaves its name box alone while that has the focus, so type into it.
                files->selectFile(path);
                if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(path);
            },
            accept);
        (form.*command)();
    }
    if (stuck || answered == nullptr || answered != form.OpenDialog())
        return false;
    return !accept || form.OpenDialog()->selectedFiles() == QStringList{path};
}
