#pragma once

// What the tuner believes of a drive, from its tests: two models of the drive's loop, one for each
// arrangement of the speed loop the tuner does not know (tuner/looplaw.h), learnt from the recorded
// positions of the tests, each with the scales its firmware applies; Gaussian processes over the
// gains' logarithms learn where each misses the tests' figures. Each model counts by how well it
// predicted the tests so far, starting from the registers' documented meaning (KV the speed's feedback
// gain) as the likelier. The spread is widened by how far earlier predictions missed theirs, never
// narrowed below the models' own. What the tuner does with it is tuner/gaintuner.h's. Plain
// arithmetic, no I/O.

#include "tuner/gaussianprocess.h"
#include "tuner/loopmodel.h"

#include <array>
#include <optional>
#include <span>
#include <vector>

// The three gains a search moves: the two rows it searches and KI, which it may lower.
using TTunerGains = std::array<double, 3>;

// What the beliefs expect of a test.
struct TTunerPrediction {
    double Overshoot = 0; // percent
    double OvershootSd = 0;
    double Integral = 0; // error integral over the amplitude, ms
    double IntegralSd = 0;
    double Eligible = 0; // probability of meeting the criterion
    // The largest chance of an overshoot above twice the limit that a model with a meaningful weight
    // gives: the bound is signed by every plausible model, not by their average.
    double OverTwiceLimit = 1;
};

class TTunerBeliefs {
public:
    // The three figures a prediction is about: overshoot, log of the integral, settling.
    using TFigures3 = std::array<double, 3>;
    // What one model expects at a point, and what both expect with the weights they had then.
    struct TMemberGuess {
        TFigures3 Mean{};
        TFigures3 Sd{};
    };
    struct TGuess {
        std::array<TMemberGuess, 2> Members;
        std::array<double, 2> Weights{};
        TFigures3 Mean() const;
        TFigures3 Sd() const; // of the mixture, before the widening by the misses so far
    };
    // A test as the beliefs learn from it. One that lost samples has no figures to learn: only the
    // positions that arrived go into the models' fit.
    struct TTest {
        TGpPoint Point{}; // where the processes see it
        TLoopRegisters Registers{};
        std::vector<double> Positions; // relative to the start, NaN where a sample did not arrive
        TLoopFigures Figures;
        bool Complete = true;        // every sample arrived
        std::optional<TGuess> Guess; // what was expected of it
    };

    TTunerBeliefs(int amplitude, int sampleCount, double overshootLimit);

    // Learns from the tests, refitting the models to those nearest `centre` (an index into them).
    void Learn(std::span<const TTest> tests, std::size_t centre);
    // Whether anything was learnt yet.
    bool Ready() const { return FModels[0] && FModels[1]; }

    TGuess Guess(const TGpPoint& point, const TLoopRegisters& registers) const;
    TTunerPrediction Prediction(const TGuess& guess) const;
    TTunerPrediction Predict(const TGpPoint& point, const TLoopRegisters& registers) const {
        return Prediction(Guess(point, registers));
    }
    // The fitted model of each arrangement and its weight; once Ready.
    std::array<TLoopModel, 2> Models() const { return {*FModels[0], *FModels[1]}; }
    const std::array<double, 2>& Weights() const { return FWeights; }
    // How far the spread is widened, in each figure, by the misses so far: at least 1.
    const TFigures3& Calibration() const { return FCalibration; }

    // The figures a prediction is about, of a test's figures.
    static TFigures3 Targets(const TLoopFigures& figures);

private:
    TFigures3 Simulated(const TLoopModel& model, const TLoopRegisters& registers) const;
    std::vector<TLoopTest> FitTests(std::span<const TTest> tests, std::size_t centre, bool all) const;
    void LearnResiduals(std::size_t member, std::span<const TTest> tests);
    void Weigh(std::span<const TTest> tests);

    int FAmplitude;
    int FSampleCount;
    double FOvershootLimit;
    // A model of each arrangement, the processes of its three residuals and its weight.
    std::array<std::optional<TLoopModel>, 2> FModels;
    std::array<std::array<std::optional<TGaussianProcess>, 3>, 2> FProcesses;
    std::array<double, 2> FWeights;
    std::array<double, 2> FFitError{}; // root mean square over the amplitude, of all the tests
    TFigures3 FCalibration{1, 1, 1};
};
