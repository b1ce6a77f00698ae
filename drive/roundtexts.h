#pragma once

#include "drive/tuning.h"

#include <QString>
#include <array>
#include <optional>
#include <span>
#include <vector>

// The texts of a tuning run's rounds, as the tuning dialog's table and the report show them.

// The columns of the rounds' table.
enum TRoundColumn : int {
    TestColumn,
    FirstGainColumn,
    SecondGainColumn,
    KiColumn,
    PredictedOvershootColumn,
    OvershootColumn,
    PredictedScoreColumn,
    ScoreColumn,
    VerdictColumn
};

enum { RoundColumns = VerdictColumn + 1 };
using TRoundTexts = std::array<QString, RoundColumns>;

// The rounds of a run, one a row: the test, the varied settings as the registers written show them
// (with the motor data given), KI too where the search lowers it, what the tuner expected and what was
// measured, and the verdict.
std::vector<TRoundTexts> RoundTexts(const TTuningPlan& plan, std::span<const TTuningRound> rounds,
                                    std::optional<std::size_t> best, const TMotorData& motor);

// "KI 0,40 → 0,20": how the registers of a result change KI from where a search started it, as the
// registers show it; empty where KI stays (or the search left it alone: a NaN start).
QString KiChangeText(double startKi, const TRegisterValues& result, const TMotorData& motor);
