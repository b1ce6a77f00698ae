#pragma once

// The tuner: which two gains to test next, from every test so far. Two models of the drive's loop, one
// for each arrangement of the speed loop the tuner does not know (tuner/looplaw.h), are learnt from the
// recorded positions of every test, each with the scales its firmware applies; Gaussian processes over
// the gains' logarithms learn where each misses the tests. They predict the overshoot, the error
// integral and the settling of any gains; each counts by how well it predicted the tests so far,
// starting from the registers' documented meaning (KV the speed's feedback gain) as the likelier; and
// where they disagree, the prediction is unsure. The spread shown is scaled by how far earlier
// predictions missed, so that about two in three tests fall within it.
//
// The next test is where the expected improvement of the integral, times the probability of meeting
// the criterion, is highest, among the points the rules allow: inside the box, within a trust region
// around the best point that grows when a test lands within its predicted band and shrinks when not
// (at most a factor of two from a tested point in each gain), not already tested, and with at most a
// 5 % chance of an overshoot above twice the limit. From a start above the limit it first lowers KP,
// which takes the overshoot down on most loops of this kind, and raises no gain before a prediction has
// proved right, as far as the safety bound allows. When no point passes the bound before anything met
// the criterion, it tries KP an octave lower once, where the models expect less overshoot than now. The
// best point is confirmed by a repeat before it is recommended. Plain arithmetic, no I/O.

#include "tuner/gaussianprocess.h"
#include "tuner/loopmodel.h"

#include <array>
#include <functional>
#include <optional>
#include <vector>

struct TTunerSetup {
    // Each gain within its bounds, all above zero; the start too.
    std::array<double, 2> Lowest{};
    std::array<double, 2> Highest{};
    std::array<double, 2> Start{};
    int MaxTests = 12; // the confirmation included
    double OvershootLimit = 10;
    int Amplitude = 200;
    int SampleCount = 500;
    // Which of the two gains is KP, whose lowering takes the overshoot down; -1 when neither is.
    int Kp = 0;
    // The registers the drive holds when the two gains are written with the rest of the settings.
    std::function<TLoopRegisters(const std::array<double, 2>& gains)> Registers;
};

// What the model expects of a test.
struct TTunerPrediction {
    double Overshoot = 0; // percent
    double OvershootSd = 0;
    double Integral = 0; // error integral over the amplitude, ms
    double IntegralSd = 0;
    double Eligible = 0;       // probability of meeting the criterion
    double OverTwiceLimit = 1; // probability of an overshoot above twice the limit
};

struct TTunerProposal {
    // Fallback: KP an octave lower, when no point passes the safety bound.
    enum TKind { Start, Explore, Confirm, Fallback };
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
        TFigures3 Sd() const; // of the mixture, before the scaling by the misses so far
    };
    struct TTested {
        std::array<double, 2> Gains;
        TLoopRegisters Registers;
        TTunerOutcome Outcome;
        TLoopFigures Figures;        // of the outcome's positions
        std::optional<TGuess> Guess; // what was expected of it
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
    // At most a 5 % chance of an overshoot above twice the limit; a prediction that is not a number
    // never passes.
    static bool Safe(const TTunerPrediction& prediction);

    const TTunerSetup& Setup() const { return FSetup; }
    // How far, in octaves of each gain, the next test may lie from the trust region's centre.
    double TrustRadius() const { return FRadius; }

private:
    // The arrangements' weights before any test: the registers' documented meaning the likelier.
    static std::array<double, 2> PriorWeights();
    // A point as the processes see it: the gains' base-2 logarithms.
    static std::array<double, 2> Octaves(const std::array<double, 2>& gains);
    // The figures a prediction is about, of a test's figures.
    static TFigures3 Targets(const TLoopFigures& figures);
    // The figures a model gives the registers, as the drive would run them.
    TFigures3 Simulated(const TLoopModel& model, const TLoopRegisters& registers) const;
    TGuess Guess(const std::array<double, 2>& z, const TLoopRegisters& registers) const;
    TTunerPrediction Prediction(const TGuess& guess) const;
    // The tests a fit learns from; all of them, or those that tell most of where the next test goes.
    std::vector<TLoopTest> FitTests(bool all) const;
    void Refit();
    void LearnResiduals(std::size_t member);
    void Weigh();
    std::size_t Centre() const;
    // A point of the grid the next test may go to, and how it serves.
    struct TCandidate {
        TTunerProposal Proposal;
        double Value;
        double Reach; // octaves from the centre, in the gain that moves most
        int Tier;     // 0: KP lowered alone, 1: no gain raised, 2: any
    };
    // The log of the integral to beat.
    double Incumbent(const std::optional<TBest>& best) const;
    // The point a step of the grid from the centre (in octaves), if it is safe and not yet tested.
    std::optional<TCandidate> Candidate(const std::array<double, 2>& centre, const std::array<int, 2>& step,
                                        double incumbent, bool anyBest) const;
    // Of the candidates of a tier within the radius, the one that serves best.
    static const TCandidate* Choose(const std::vector<TCandidate>& candidates, int tier, double radius);
    std::optional<TTunerProposal> Explore(const std::optional<TBest>& best, double& bestValue);
    std::optional<TTunerProposal> Fallback();
    TTunerProposal Propose(TTunerProposal::TKind kind, const std::array<double, 2>& gains);

    TTunerSetup FSetup;
    std::vector<TTested> FTested;
    std::optional<TTunerProposal> FPending;
    const char* FEndReason = "";

    // What the tests taught: a model of each arrangement, the processes of its three residuals over
    // the gains' base-2 logarithms and its weight; and how much wider the spread must be than the
    // models and processes say, from how far the predictions so far missed.
    std::array<std::optional<TLoopModel>, 2> FModels;
    std::array<std::array<std::optional<TGaussianProcess>, 3>, 2> FProcesses;
    std::array<double, 2> FWeights;
    TFigures3 FCalibration{1, 1, 1};
    std::size_t FFitted = 0; // tests the models and the processes have learnt from
    double FRadius;
    bool FModelRight = false; // a test has landed within its predicted band
    bool FFallbackTried = false;
};
