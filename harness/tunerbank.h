#pragma once

// The tuner tried on a bank of simulated drives, as the tuning dialog's default search runs it: from
// the default settings (KP 3, KV 4, KI 0,4), or from a hot start, in the dialog's default box around
// the start (an eighth to eight times each gain, KI down to half of it), 200-pulse, 250 ms step tests,
// a 10 % overshoot limit, the tests simulated directly rather than over a serial line. Each drive's
// grid optimum is the best eligible point of a log-spaced grid of gains over the box and five levels
// of KI over its range, register values as the drive holds them, simulated without measurement noise;
// every figure judges the tested registers the same way. The compass search the tuner replaced runs
// the same way, as the baseline. The benchmark prints the figures; the suite checks a few drives
// against thresholds.

#include "sim/plant.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// One method's run on one drive.
struct TDriveRun {
    double Optimum = 0; // the grid's best integral over the amplitude, ms; infinite when none is eligible
    double StartOvershoot = 0; // percent, of the first test
    int Tests = 0;
    int TestsToWithin5 = 0; // until the best tested is within 5 % of the optimum; 0: never
    double FinalRatio = 0;  // the recommendation's integral over the optimum; infinite when none
    int OverTwiceLimit = 0; // tests after the first above twice the limit
    // Tests after the third with a prediction, and of them those whose overshoot and integral fell
    // within one and within two spreads of it.
    int Predicted = 0;
    int Within1 = 0;
    int Within2 = 0;
    std::vector<double> ComputeMs; // the method's own time for each proposal after the first
    bool HotStart = false;         // from a hot start with a strong integral, not the defaults
};

struct TBankFigures {
    std::vector<TDriveRun> Runs;

    // The runs whose first test overshot more than `above` and at most `upTo` times the limit.
    TBankFigures Band(double above, double upTo) const;
    // The runs from hot starts with a strong integral.
    TBankFigures HotStarts() const;
    // Tests a run used, the confirmation included.
    double MedianTests() const;
    double Percentile90Tests() const;

    double MedianTestsToWithin5() const;
    double Percentile90TestsToWithin5() const;
    double ShareWithin5() const;  // of all drives
    double ShareFeasible() const; // of the drives whose box holds a feasible point
    int OverTwiceLimit() const;
    double ShareWithin1Spread() const; // of the figures predicted after the third test
    double ShareWithin2Spreads() const;
    double MostComputeMs() const;
    double MeanTests() const;
};

// Where a run starts: KP, KV and KI; the box is the dialog's default around it (an eighth to eight
// times KP and KV, KI down to half of it). The default is the default settings.
struct TBankStart {
    std::array<double, 3> Gains{3, 4, 0.4};
};

// The overshoot of a drive's first test from the start.
double StartOvershoot(const TPlantParameters& plant, const TBankStart& start = {});

// A start with a strong integral (KI four to thirty-two times the default's) whose first test
// overshoots two to three times the limit, the hot start a bench engineer brings from another drive;
// none when no such start is found for the drive.
std::optional<TBankStart> HotStart(const TPlantParameters& plant);

// The grid optimum of a drive over `grid` × `grid` gains at each of five levels of KI, in the box.
double GridOptimum(const TPlantParameters& plant, int grid, const TBankStart& start = {});

// The tuner (at most 12 tests) and the compass search (20 tests) on a drive.
TDriveRun RunTuner(const TPlantParameters& plant, double optimum, const TBankStart& start = {});
TDriveRun RunCompass(const TPlantParameters& plant, double optimum, const TBankStart& start = {});
