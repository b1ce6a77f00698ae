#pragma once

// The parts of the main window that tests reach, found among its children as its own.

#include "link/deviceslots.h"
#include "ui/mainwindow/mainform.h"

#include <QFileDialog>
#include <QMdiArea>

inline TDeviceSlots* SlotsOf(const TMainForm& form) {
    return form.findChild<TDeviceSlots*>(QString(), Qt::FindDirectChildrenOnly);
}

inline QMdiArea* MdiAreaOf(const TMainForm& form) {
    return form.findChild<QMdiArea*>(QStringLiteral("mdiArea"));
}

// The one file dialog of the file commands; the pages' own dialogs are their children.
inline QFileDialog* FileDialogOf(const TMainForm& form) {
    return form.findChild<QFileDialog*>(QString(), Qt::FindDirectChildrenOnly);
}
