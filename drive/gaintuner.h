#pragma once

// The tuner: which two gains to test next, from every test so far. A model of the drive's loop,
// learnt from the recorded positions of every test (drive/loopmodel.h), predicts the overshoot, the
// error integral and the settling of any gains; Gaussian processes over the gains' logarithms learn
// where the tests disagree with it and how sure the prediction is. The next test is where the
// expected improvement of the integral, times the probability of meeting the criterion, is highest,
// among the points the rules allow: inside the box, at most a factor of two from a tested point in
// each gain, not already tested, and with at most a 5 % chance of an overshoot above twice the limit.
// The best point is confirmed by a repeat before it is recommended. Plain arithmetic, no I/O.

#include "drive/gaussianprocess.h"
#include "drive/loopmodel.h"

#include <array>
#include <functional>
#include <optional>
#include <vector>

struct TTunerSetup {
    // Each gain within its bounds, all above zero.
    std::array<double, 2> Lowest{};
    std::array<double, 2> Highest{};
    std::array<double, 2> Start{};
    int MaxTests = 12; // the confirmation included
    double OvershootLimit = 10;
    int Amplitude = 200;
    int SampleCount = 500;
    // The registers the drive holds when the two gains are written with the rest of the settings.
    std::function<TLoopRegisters(const std::array<double, 2>& gains)> Registers;
};

// What the model expects of a test.
struct TTunerPrediction {
    double Overshoot = 0; // percent
    double OvershootSd = 0;
    double Integral = 0; // error integral over the amplitude, ms
    double IntegralSd = 0;
    double Eligible = 0; // probability of meeting the criterion
};

struct TTunerProposal {
    enum TKind { Start, Explore, Confirm };
    TKind Kind = Start;
    std::array<double, 2> Gains{};
    TLoopRegisters Registers{};
    // None for the first test: nothing is known of the drive yet.
    std::optional<TTunerPrediction> Predicted;
};

// What a test gave: the positions recorded relative to the start (NaN where a sample did not
// arrive), and the criterion's verdict and score as the run judges them.
struct TTunerOutcome {
    std::vector<double> Positions;
    bool Eligible = false;
    double Score = 0; // error integral over the amplitude, ms
};

class TGainTuner {
public:
    explicit TGainTuner(TTunerSetup setup);

    // The next test, or none when the tuner has ended.
    std::optional<TTunerProposal> Next();
    // The outcome of the test Next proposed last.
    void Report(const TTunerOutcome& outcome);

    // Why the tuner ended before its tests ran out: nothing better expected, or no safe test left
    // before anything met the criterion; empty otherwise.
    const char* EndReason() const { return FEndReason; }

    struct TTested {
        std::array<double, 2> Gains;
        TLoopRegisters Registers;
        TTunerOutcome Outcome;
        TLoopFigures Figures; // of the outcome's positions
    };
    const std::vector<TTested>& Tested() const { return FTested; }

    // The recommendation: of the tested points whose every test met the criterion, the one with the
    // smallest mean integral; none while there is no such point.
    struct TBest {
        std::size_t Test; // index of its first test
        double Score;
        bool Confirmed; // tested twice or more
    };
    std::optional<TBest> Best() const;

    // What the model expects at the gains, from the tests reported so far; none before the first.
    std::optional<TTunerPrediction> Predict(const std::array<double, 2>& gains) const;

    const TTunerSetup& Setup() const { return FSetup; }

private:
    struct TModelPoint;
    TModelPoint ModelAt(const TLoopRegisters& registers) const;
    std::array<TGpPrediction, 3> Learnt(const std::array<double, 2>& z, const TModelPoint& model) const;
    TTunerPrediction Combine(const std::array<TGpPrediction, 3>& p) const;
    void Refit();
    std::optional<TTunerProposal> Explore(bool feasibleKnown, double incumbent, double& bestValue);

    TTunerSetup FSetup;
    std::vector<TTested> FTested;
    std::optional<TTunerProposal> FPending;
    const char* FEndReason = "";

    // What the tests taught: the plant, and the processes of the three residuals (overshoot, log of
    // the integral, settling) over the gains' base-2 logarithms.
    std::optional<TLoopPlant> FPlant;
    std::size_t FFitted = 0; // tests the plant and the processes have learnt from
    std::vector<std::optional<TGaussianProcess>> FProcesses;
};
