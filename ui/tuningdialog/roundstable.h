#pragma once

#include "drive/tuningrunner.h"

class QTableWidget;

// The columns of the rounds' table.
enum TRoundColumn : int {
    TestColumn,
    FirstGainColumn,
    SecondGainColumn,
    PredictedOvershootColumn,
    OvershootColumn,
    PredictedScoreColumn,
    ScoreColumn,
    VerdictColumn
};

// The rounds of a run, one a row: the test, the varied settings as the registers written show them
// (with the motor data given), what the tuner expected and what was measured, and the verdict; the
// best in bold.
void FillRoundsTable(QTableWidget& table, const TTuningRunner& runner, const TMotorData& motor);
