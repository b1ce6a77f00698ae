#pragma once

// The way down from a test above the limit, judged by what every loop of the kind the tuner knows
// agrees on rather than by one fit: each arrangement's fitted model, and fits of the tests with one
// thing held where a few tests cannot pin a model down (the plant's gain halved and doubled, a period
// more or less of delay, the integral's scale a quarter and four times, or none, the speed over three
// periods, the D term on the position), each counted while it reproduces the recorded positions about
// as well as the fitted models. A move is certified while every one that counts sees the overshoot
// fall along it; its worst case is the measured overshoot plus the largest change any of them sees.
// Plain arithmetic, no I/O.

#include "tuner/loopmodel.h"

#include <array>
#include <optional>
#include <span>
#include <vector>

class TRecoveryEnsemble {
public:
    // From the fitted models of both arrangements and their weights, the tests they were fitted to,
    // and the test the moves start from: its registers and its measured overshoot.
    TRecoveryEnsemble(const std::array<TLoopModel, 2>& fitted, const std::array<double, 2>& weights,
                      std::span<const TLoopTest> tests, const TLoopRegisters& from, double measured,
                      int amplitude, int samples);

    // Each member's overshoot at the registers; NaN where a member's loop ran away, and for a member
    // the tests rule out.
    std::vector<double> Overshoots(const TLoopRegisters& registers) const;

    struct TJudgement {
        bool Falls = false; // every member sees less overshoot than at the point before
        double Worst = 0;   // percent: the measured overshoot plus the largest change a member sees
        double Nominal = 0; // percent: the same by the fitted models, weighed
    };
    // A point along a path, after the point whose members' overshoots were `before`.
    TJudgement Judge(const std::vector<double>& at, const std::vector<double>& before) const;
    const std::vector<double>& AtStart() const { return FAtStart; }
    // How far each member misses the tests, as a root mean square over the amplitude.
    const std::vector<double>& FitErrors() const { return FFitErrors; }

private:
    std::vector<TLoopModel> FMembers; // the fitted ones first
    std::array<double, 2> FWeights;
    double FMeasured;
    int FAmplitude;
    int FSamples;
    std::vector<double> FAtStart;
    std::vector<double> FFitErrors;
    std::vector<bool> FPlausible;
};
