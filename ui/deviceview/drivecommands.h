#pragma once

#include "drive/drivemodel.h"

#include <QWidget>
#include <initializer_list>
#include <vector>

// The controls that talk to the drive are there only while nothing else has it: a tuning run or a
// file send, holding the drive's lease, keeps them disabled until it ends.
inline void EnableWhileIdle(TDriveModel& model, std::initializer_list<QWidget*> controls) {
    const auto show = [list = std::vector<QWidget*>(controls)](bool busy) {
        for (QWidget* control : list)
            control->setEnabled(!busy);
    };
    show(model.Busy());
    QObject::connect(&model, &TDriveModel::BusyChanged, controls.begin()[0], show);
}
