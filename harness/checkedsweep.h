#pragma once

// A tuning sweep of KP against the simulated drive on the real clock, with what the drive did checked
// against the drive itself: each step's target against where its motor stood (the drive's log of the
// lines it takes up), each test's start against the step it made, the registers Kelmor records as known
// against what the drive holds (after the start, every round and the run), and what the drive holds at
// the end against what it held before. For the benchmarks that run sweeps on late or lossy lines.

#include "simport/simulatedports.h"

#include <QString>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TSweepSetup {
    QString Plant; // the drive's parameters, as after "sim:"
    int Rounds = 12;
    std::int32_t Amplitude = 50;
    int TimeMs = 20;       // each test's measurement
    int ReadTimeoutMs = 0; // the port's read time-out; 0 keeps the slot's default
    int SettleMs = 200;    // after the run, for a drive that answers late to take the lines given back
    int MostSeconds = 600; // a run still going then is stopped
};

// What sweeps did, added up over their runs.
struct TSweepFigures {
    int Runs = 0;
    int Failed = 0;       // did not open, or ended early with a message
    int Tests = 0;        // recorded in the history
    int Steps = 0;        // "J" lines the drive took, recorded or not
    int Misread = 0;      // tests recorded from a start the motor did not stand at
    int WrongTargets = 0; // steps whose target is not where the motor stood plus the amplitude
    int KnownChecked = 0;
    int KnownWrong = 0;      // registers known that the drive did not hold
    int NotAsBefore = 0;     // registers that after a run differ from what the drive held before it
    int RestoresFailed = 0;  // runs whose settings could not be given back, as the run said
    int MostQueries = 0;     // "L" lines the drive took between two "J" lines, at most
    double LongestTestS = 0; // a round's wall time, from its choice to its end
    // Why runs ended early, each reason once with how often, in the order first seen; a reason is
    // what its message says before ": ".
    std::vector<std::pair<std::string, int>> Reasons;

    // The first `most` reasons, as ": 3x "…"; 1x "…"" with how many others.
    std::string ReasonsText(std::size_t most) const;
};

// One sweep on the drive of device 0 of `simulated`, added to `figures`.
void RunCheckedSweep(TSimulatedPorts& simulated, const TSweepSetup& setup, TSweepFigures& figures);
