#pragma once

#include "drive/roundtexts.h"
#include "drive/tuningrunner.h"

class QTableWidget;

// The rounds of a run in the dialog's table (drive/roundtexts.h), the best in bold.
void FillRoundsTable(QTableWidget& table, const TTuningRunner& runner, const TMotorData& motor);
