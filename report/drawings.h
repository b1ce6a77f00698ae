#pragma once

#include "drive/tuning.h"
#include "plot/stepplot.h"
#include "plot/tuningmap.h"

#include <vector>

// What the step plot and the tuning map draw of the drive's records, the same on a page as in the
// report.

// The tests as the plot draws them, oldest first, each in its colour among them.
std::vector<TPlottedTest> PlottedTests(const std::vector<const TTestRecord*>& tests);

// The tuning map of a run: its box, start, tests with their verdicts (and KI, where the search lowers
// it), best and predicted overshoot.
TTuningMap RunMap(const TTuningRecord& run, const TMotorData& motor);
