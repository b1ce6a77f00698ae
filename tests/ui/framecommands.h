#pragma once

// The main window used as a user uses it: its commands are its actions, found by object name and
// triggered once the frame has gone idle and brought them up to date; its device windows are the
// sub-windows of its MDI area.

#include "link/deviceslots.h"
#include "tests/support/formparts.h"
#include "tests/support/modal.h"
#include "transfer/filesend.h"
#include "ui/devicewindow/devicewindow.h"
#include "ui/mainwindow/mainform.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QEventLoop>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStringList>
#include <QTimer>

// Runs the event loop until it is about to wait for input, as it is before every click; the frame
// updates its actions then.
inline void RunUntilIdle() {
    QEventLoop loop;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop,
                     &QEventLoop::quit);
    loop.exec();
}

inline QAction* ActionOf(const TMainForm& form, const char* name) {
    return form.findChild<QAction*>(QString::fromLatin1(name));
}

// Runs a command of the main window as a click on its menu item or tool button does; a disabled
// action does nothing.
inline void Trigger(TMainForm& form, const char* action) {
    RunUntilIdle();
    ActionOf(form, action)->trigger();
}

// The device window of a device index, or none while that device is closed.
inline TDeviceWindow* WindowOf(const TMainForm& form, int index) {
    for (QMdiSubWindow* sub : MdiAreaOf(form)->subWindowList())
        if (auto* window = qobject_cast<TDeviceWindow*>(sub->widget());
            window && window->Slot() == SlotsOf(form)->At(index))
            return window;
    return nullptr;
}

// The slot of the frame's current device window, or none.
inline TDeviceSlot* CurrentSlotOf(const TMainForm& form) {
    QMdiSubWindow* sub = MdiAreaOf(form)->currentSubWindow();
    auto* window = sub ? qobject_cast<TDeviceWindow*>(sub->widget()) : nullptr;
    return window ? window->Slot() : nullptr;
}

// A file send of the frame is under way: the send is the frame's own until it has ended.
inline bool Sending(const TMainForm& form) {
    return form.findChild<TFileSend*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
}

// Runs the event loop until the form's file send has ended, a minute at most. Unlike QTest::qWaitFor
// it does not sleep between passes, which would hold a send to one chunk per pass.
inline bool WaitForSendEnd(const TMainForm& form) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!Sending(form))
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    check.start(5);
    if (Sending(form))
        loop.exec();
    return !Sending(form);
}

// Runs a file command of the main window with its file dialog answered: the path is typed into
// the name box and the dialog accepted, or, with accept false, the dialog is cancelled. Only that
// one dialog is answered; one the command opens later (a send's progress) is left alone. Returns
// whether the answered dialog was the main window's file dialog, it closed, and, when accepted,
// it chose the path. A send started is waited for to its end.
inline bool RunWithChosenFile(TMainForm& form, const char* action, const QString& path, bool accept = true) {
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
        Trigger(form, action);
    }
    // A send goes on from the event loop after the command; it ends within its stall limit.
    if (!WaitForSendEnd(form))
        return false;
    if (stuck || answered == nullptr || answered != FileDialogOf(form))
        return false;
    return !accept || FileDialogOf(form)->selectedFiles() == QStringList{path};
}
