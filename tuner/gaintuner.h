#pragma once

// The tuner's rules: which gains to test next, from what it believes of the drive
// (tuner/tunerbeliefs.h). The next test is where the expected improvement of the integral, times the
// probability of meeting the criterion, is highest, among the points the rules allow: inside the box,
// within a trust region around the best point that grows when a test lands within its predicted band
// and shrinks when not (at most an octave from a tested point in each gain), not already tested, and
// with at most a 5 % chance of an overshoot above twice the limit as every model still in the running
// sees it. KI is the third gain: the search may lower it to its floor, a way out from a start above
// the limit that the models weigh like any other move. When no point of the grid passes the bound
// before anything met the criterion, KI at its floor is tried, through the same bound; when not even
// that passes, the run ends and says why. The best point is confirmed by a repeat, and the run ends
// once its best is confirmed and the models expect little more anywhere the rules allow. Plain
// arithmetic, no I/O.

#include "tuner/tunerbeliefs.h"

#include <array>
#include <functional>
#include <optional>
#include <vector>

struct TTunerSetup {
    // Each gain within its bounds; the start too. The first two are the searched rows, above zero;
    // the third is KI, searched between its bounds (which may be equal, and the lower 0).
    TTunerGains Lowest{};
    TTunerGains Highest{};
    TTunerGains Start{};
    int MaxTests = 12; // the confirmation included
    double OvershootLimit = 10;
    int Amplitude = 200;
    int SampleCount = 500;
    // Which of the two rows is KP; -1 when neither is.
    int Kp = 0;
    // The registers the drive holds when the gains are written with the rest of the settings.
    std::function<TLoopRegisters(const TTunerGains& gains)> Registers;
};

struct TTunerProposal {
    // Fallback: KI at its floor, when no point of the grid passes the safety bound.
    enum TKind { Start, Explore, Confirm, Fallback };
    TKind Kind = Start;
    TTunerGains Gains{};
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
    using TGuess = TTunerBeliefs::TGuess;

    explicit TGainTuner(TTunerSetup setup);

    // The next test, or none when the tuner has ended.
    std::optional<TTunerProposal> Next();
    // The outcome of the test Next proposed last.
    void Report(const TTunerOutcome& outcome);

    // Why the tuner ended before its tests ran out: nothing better expected, or no safe test left
    // before anything met the criterion; empty otherwise.
    const char* EndReason() const { return FEndReason; }

    struct TTested {
        TTunerGains Gains;
        TLoopRegisters Registers;
        TTunerOutcome Outcome;
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

    // What the beliefs expect at the gains, from the tests reported so far; none before the first. The
    // registers, when given, are those written at these gains (a back-off's KP that is not searched).
    std::optional<TTunerPrediction> Predict(const TTunerGains& gains) const;
    std::optional<TTunerPrediction> Predict(const TTunerGains& gains, const TLoopRegisters& registers) const;
    // At most a 5 % chance of an overshoot above twice the limit; a prediction that is not a number
    // never passes.
    static bool Safe(const TTunerPrediction& prediction);

    const TTunerSetup& Setup() const { return FSetup; }
    // How far, in octaves of each gain, the next test may lie from the trust region's centre.
    double TrustRadius() const { return FRadius; }
    // Where the beliefs see the gains: the rows' base-2 logarithms, and KI's on a scale that reaches 0.
    TGpPoint Point(const TTunerGains& gains) const;

private:
    std::size_t Centre() const;
    // A point of the grid the next test may go to, and how it serves.
    struct TCandidate {
        TTunerProposal Proposal;
        double Value;
        double Reach; // octaves from the centre, in the gain that moves most
    };
    // The log of the integral to beat.
    double Incumbent(const std::optional<TBest>& best) const;
    bool WasTested(const TLoopRegisters& registers) const;
    // The point a step of the grid from the centre, if it is safe and not yet tested.
    std::optional<TCandidate> Candidate(const TGpPoint& centre, const std::array<int, 3>& step,
                                        double incumbent, bool anyBest) const;
    // Of the candidates within the radius, the one that serves best.
    static const TCandidate* Choose(const std::vector<TCandidate>& candidates, double radius);
    std::optional<TTunerProposal> Explore(const std::optional<TBest>& best, double& bestValue);
    std::optional<TTunerProposal> Fallback();
    TTunerProposal Propose(TTunerProposal::TKind kind, const TTunerGains& gains);
    // KI's point on its scale, and back.
    double KiPoint(double ki) const;
    double KiOf(double point) const;

    TTunerSetup FSetup;
    TTunerBeliefs FBeliefs;
    std::vector<TTested> FTested;
    std::vector<TTunerBeliefs::TTest> FTests; // the same tests as the beliefs learn from them
    std::optional<TTunerProposal> FPending;
    const char* FEndReason = "";
    std::size_t FLearnt = 0; // tests the beliefs have learnt from
    double FRadius;
    bool FFallbackTried = false;
};
