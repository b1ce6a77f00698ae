#pragma once

// A search over KP and KV as the model keeps it once it has ended: each round less overshoot than the
// one before, the last the best, predictions from the second on.

#include "drive/tuning.h"

inline TTuningRecord SyntheticRun(int rounds, const QDateTime& endedAt) {
    TTuningRecord run;
    run.Plan.Search = true;
    run.Plan.Lowest = {1, 1};
    run.Plan.Highest = {8, 16};
    run.Plan.Amplitude = TFigure(QStringLiteral("200"));
    run.Plan.Time = TFigure(QStringLiteral("250"));
    run.StartGains = {3, 4};
    for (int n = 0; n < rounds; ++n) {
        TTuningRound round;
        round.TestNumber = n + 1;
        round.Gains = {3 + 0.25 * n, 4 - 0.1 * n};
        round.Overshoot = float(12 - n);
        round.Score = 5 - 0.2 * n;
        round.Verdict = round.Overshoot <= 10 ? TRoundVerdict::Eligible : TRoundVerdict::Overshoot;
        round.Registers[std::size_t(RegisterTable[KP].Register)] = 768 + 64 * n;
        if (n > 0)
            round.Predicted = TTunerPrediction{11.0 - n, 1.5, 5 - 0.2 * n, 0.3, 0.6, 0.01};
        run.Rounds.push_back(round);
    }
    run.Best = std::size_t(rounds - 1);
    run.Result =
        TTuningResult{std::size_t(rounds - 1), run.Rounds.back().Registers, TTuningResult::Best, true};
    run.EndedAt = endedAt;
    run.PredictedOvershoot.assign(std::size_t(TuningMapCells * TuningMapCells), 9.0);
    return run;
}
