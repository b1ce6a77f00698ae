#pragma once

#include "drive/tuning.h"

#include <QJsonObject>

// A tuning run as a session file keeps it: its plan, start, rounds with what was predicted and
// measured, best, result, end and the predicted map, so that a report can be made from the file.
QJsonObject TuningObject(const TTuningRecord& run);
// Throws EBadField (drive/jsonfields.h) for a run that is not whole or not consistent.
TTuningRecord ReadTuning(const QJsonObject& object);
