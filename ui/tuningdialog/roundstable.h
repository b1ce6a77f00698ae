#pragma once

#include "drive/roundtexts.h"
#include "drive/tuningrunner.h"

class QTableWidget;

// The rounds of a run in the dialog's table (drive/roundtexts.h), the best in bold.
void FillRoundsTable(QTableWidget& table, const TTuningRunner& runner, const TMotorData& motor);

// What "Zastosuj" will write, as the dialog says it at a run's end: the result's kind, its test, and
// KI's change (KiChangeText) where there is one.
QString ResultText(const TTuningResult& result, int test, const QString& ki);
