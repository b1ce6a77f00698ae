#pragma once

#include "drive/drivesession.h"

#include <QWidget>
#include <initializer_list>

// The controls that talk to the drive are there only while nothing else has it: a tuning run keeps
// them disabled until it ends.
inline void EnableWhileIdle(TDriveSession& session, std::initializer_list<QWidget*> controls) {
    const auto show = [list = std::vector<QWidget*>(controls)](bool busy) {
        for (QWidget* control : list)
            control->setEnabled(!busy);
    };
    show(session.Busy());
    QObject::connect(&session, &TDriveSession::BusyChanged, controls.begin()[0], show);
}
