#pragma once

// The tuner's rules: which gains to test next, from what it believes of the drive
// (tuner/tunerbeliefs.h). From a first test above twice the limit it first comes down, until a test
// comes under twice the limit, by moves an ensemble of fits certifies (tuner/recovery.h): along seven
// directions that lower KP, KI or KV and raise neither KP nor KI, the first step the fitted models
// expect at the limit, else the certified step with the least worst case, else the far end of a
// direction every member sees lower; a step reaches an octave and a half, half as far after a miss.
// Then, and from any other start, the next test is where the expected improvement of the integral,
// times the probability of meeting the criterion, is highest, among the points the rules allow:
// inside the box, within a trust region around the best point that grows when a test lands within its
// predicted band and shrinks when not (at most an octave from a tested point in each gain), not
// already tested, and with at most a 5 % chance of an overshoot above twice the limit as every model
// still in the running sees it. When no point of the grid passes the bound before anything met the
// criterion, KI at its floor is tried if the ensemble certifies it; when not even that passes, the run
// ends and says why. The best point is confirmed by a repeat, and the run ends once its best is
// confirmed and the models expect little more anywhere the rules allow. Plain arithmetic, no I/O.

#include "tuner/recovery.h"
#include "tuner/tunerbeliefs.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
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
    // Which of the two rows is KP, and which KV; -1 when neither is.
    int Kp = 0;
    int Kv = 1;
    // The registers the drive holds when the gains are written with the rest of the settings.
    std::function<TLoopRegisters(const TTunerGains& gains)> Registers;
};

struct TTunerProposal {
    // Recover: a move down from above the limit; Fallback: KI at its floor, when no point of the grid
    // passes the safety bound.
    enum TKind { Start, Recover, Explore, Confirm, Fallback };
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
        double Score;     // the mean of its tests' scores, as the run judged them
        double Integral;  // the mean of its integrals as the tuner learns them
        bool Confirmed;   // tested twice or more
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
    // A move changes each gain by at most this many octaves from a tested point; the grid the next
    // test is chosen on, in octaves.
    static constexpr double MaxMove = 1.0;
    static constexpr double GridStep = 1.0 / 8;
    // How far, in octaves of each gain, the next test may lie from the trust region's centre.
    double TrustRadius() const { return FRadius; }
    // How far, in octaves, a move down from above twice the limit may reach now.
    double RecoveryReach() const { return FRecoveryReach; }
    // Where the beliefs see the gains: the rows' base-2 logarithms, and KI's on a scale that reaches 0.
    TGpPoint Point(const TTunerGains& gains) const;

private:
    // The ensembles one proposal has made, by the test they start from; none outlives the proposal,
    // so none judges with models older than the tests. (A deque: one made keeps its place.)
    using TEnsembles = std::deque<std::pair<std::size_t, TRecoveryEnsemble>>;

    std::size_t Centre() const;
    // The registers written at the gains, converted once.
    const TLoopRegisters& RegistersOf(const TTunerGains& gains) const;
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
    std::optional<TTunerProposal> Fallback(TEnsembles& ensembles);
    // Whether the first test overshot more than twice the limit; and whether none has come under it
    // since.
    bool StartedHot() const;
    bool Recovering() const;
    // Whether the ensemble may lead where the search's bound finds nothing safe: from a hot start
    // always, since it is the only guide down; from a start under twice the limit until one of its
    // moves came out above twice the limit, since then every member was wrong about this drive, and
    // each further move on their word risks another.
    bool EnsembleTrusted() const;
    std::optional<TTunerProposal> Recover(TEnsembles& ensembles);
    // The gains a number of octaves along a direction (KP, KV and KI's scale), the last step short
    // of it on the box's edge; none beyond, where holding one row at its bound while the others
    // go on would turn the move into another direction.
    std::optional<TTunerGains> Along(const TTunerGains& from, const std::array<double, 3>& direction,
                                     double octaves) const;
    std::vector<std::array<double, 3>> Directions() const;
    // The ensemble that judges a move down from a measured test, made once in a proposal: the way
    // down and the fallback judge with the same when they start from the same test.
    const TRecoveryEnsemble& Ensemble(std::size_t from, TEnsembles& ensembles) const;
    // The measured test that overshot least: where a move down starts.
    std::size_t LeastOvershoot() const;
    // A move down the ensemble certifies, with its worst case, and the integral the models expect.
    struct TRecoveryStep {
        TTunerGains Gains;
        TLoopRegisters Registers;
        double Worst;
        double Integral;
    };
    // The gains as a move down, if the ensemble certifies them from its start on its own (the far
    // end of a direction, KI at its floor), whatever it sees on the way.
    std::optional<TRecoveryStep> Certified(const TRecoveryEnsemble& ensemble, const TTunerGains& gains) const;
    // Along a direction while certified: the first step the fitted models expect at the limit, if it
    // serves better than `reaches`, and the step with the least worst case, if less than `deepest`'s.
    void Walk(const TRecoveryEnsemble& ensemble, std::size_t from, const std::array<double, 3>& direction,
              std::optional<TRecoveryStep>& reaches, std::optional<TRecoveryStep>& deepest) const;
    TTunerProposal Propose(TTunerProposal::TKind kind, const TTunerGains& gains);
    // KI's point on its scale, and back.
    double KiPoint(double ki) const;
    double KiOf(double point) const;

    TTunerSetup FSetup;
    mutable std::map<TTunerGains, TLoopRegisters> FRegistersOf;
    TTunerBeliefs FBeliefs;
    std::vector<TTested> FTested;
    std::vector<TTunerBeliefs::TTest> FTests; // the same tests as the beliefs learn from them
    std::optional<TTunerProposal> FPending;
    const char* FEndReason = "";
    std::size_t FLearnt = 0; // tests the beliefs have learnt from
    double FRadius;
    bool FFallbackTried = false;
    // How far a move down may go, in octaves; what its worst case was, and what it came down from.
    double FRecoveryReach;
    double FRecoveryWorst = 0;
    double FRecoveryFrom = 0;
    // A move of the ensemble, down or to KI's floor, came out above twice the limit.
    bool FEnsembleMissedAbove = false;
};
