#pragma once

#include "tests/support/formparts.h"
#include "tests/support/modal.h"
#include "ui/mainwindow/mainform.h"

#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QStringList>
#include <QTimer>

// Runs the event loop until the form's file send has ended, a minute at most. Unlike QTest::qWaitFor
// it does not sleep between passes, which would hold a send to one chunk per pass.
inline bool WaitForSendEnd(TMainForm& form) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!form.Sending())
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    check.start(5);
    if (form.Sending())
        loop.exec();
    return !form.Sending();
}

// Runs a file command of the main window with its file dialog answered: the path is typed into
// the name box and the dialog accepted, or, with accept false, the dialog is cancelled. Only that
// one dialog is answered; one the command opens later (a send's progress) is left alone. Returns
// whether the answered dialog was the main window's file dialog, it closed, and, when accepted,
// it chose the path. A send started is waited for to its end.
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
    // A send goes on from the event loop after the command; it ends within its stall limit.
    if (!WaitForSendEnd(form))
        return false;
    if (stuck || answered == nullptr || answered != FileDialogOf(form))
        return false;
    return !accept || FileDialogOf(form)->selectedFiles() == QStringList{path};
}
