#pragma once

#include "drive/drivemodel.h"
#include "drive/roundsource.h"
#include "drive/runsettings.h"
#include "drive/tuning.h"
#include "tuner/gaintuner.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>
#include <vector>

// Runs the step tests of a plan on a drive model: for each round it writes the nine settings, those
// the plan does not vary as they were in the drive when the run started, with the round's gains, runs a
// step test (which joins the history) and, between rounds, moves the motor back to where the run
// started. The rounds come from a source (roundsource.h): a sweep's plan, or a search's tuner. A
// back-off is verified by one more test. The run holds the drive's lease from its start to its end, so
// nothing else talks to the drive meanwhile; it takes an exchange for each step only and lets the event
// loop run between the steps, so the terminal and the lines go on. However the run ends, the register
// values that were in the drive before it are written back (to a lost device as soon as it is back).
class TTuningRunner : public QObject {
    Q_OBJECT

public:
    // How long the motor may take to come back, and how near it must come: a hundredth of the amplitude.
    static constexpr int ReturnTimeoutMs = 3000;
    static constexpr int ReturnPollMs = 20;

    // Where a run stands. Each step of the event loop does what its state says and chooses the next.
    enum class TState {
        Idle,      // not started
        Choosing,  // the next round is to be chosen
        Testing,   // the last round is chosen and its test is to run
        Returning, // the motor is on its way back to the start
        Ended,
    };

    TTuningRunner(TDriveModel& model, TTuningPlan plan, QObject* parent = nullptr);

    // Checks the plan, reads the drive's registers and checks every value the plan may write; throws
    // EKelmorError, with nothing written, when any of that fails, and when the run cannot start (the
    // device closed, the drive held by something else, the run already going on). The rounds then run
    // from the event loop.
    void Start();
    // Ends the run at its next step, after the test under way.
    void Stop() { FStopAsked = true; }
    TState State() const { return FState; }
    bool Running() const { return FState != TState::Idle && FState != TState::Ended; }

    // The rounds so far; the last one's test may still be to run (its TestNumber is 0 until then).
    const std::vector<TTuningRound>& Rounds() const { return FRounds; }
    // The best round by the criterion; for a search, the one the tuner recommends.
    std::optional<std::size_t> Best() const;
    // The most rounds the plan can have.
    int PlannedRounds() const;
    // What "Zastosuj" writes; none without a best round, or while the run goes on.
    std::optional<TTuningResult> Result() const;
    const TTuningPlan& Plan() const { return FPlan; }
    // The search's tuner; none for a sweep.
    const TGainTuner* Tuner() const { return FSource ? FSource->Tuner() : nullptr; }
    // Where the search started.
    std::array<double, 2> StartGains() const { return FStartGains; }
    // The run as it stands, for the model to keep once it has ended.
    TTuningRecord Record(const QString& why) const;

signals:
    // The next round is chosen and about to run; its prediction, if any, is in the last round.
    void RoundProposed();
    void RoundDone();
    // The run is over; why, when it ended before its plan did ("" when the plan ran out).
    void Finished(const QString& why);

private:
    // What became of the back-off, which is tried once the source has nothing more to test.
    struct TBackOff {
        enum TKind {
            NotYet,
            None,         // nothing to back off, or no back-off in the plan
            Proposed,     // its round is Round
            TestedBefore, // round Round ran the same registers already and verifies them
            Unsafe,       // the models deemed it unsafe to test
        } Kind = NotYet;
        std::size_t Round = 0;
    };

    void Step();
    void Schedule(TState state, int delayMs);
    void ChooseRound();
    void TestRound();
    void SendReturn();
    void CheckReturn();
    std::optional<TTuningRound> BackOffRound();
    void Finish(const QString& why);

    QPointer<TDriveModel> FModel;
    TTuningPlan FPlan;
    TState FState = TState::Idle;
    bool FStopAsked = false;
    QTimer FStepTimer;
    // The drive, lent to the run from its start to its end.
    std::optional<TDriveLease> FLease;
    // What the drive held when the run started: what the rounds leave as it is, and what is restored.
    std::optional<TRunSettings> FSettings;
    std::unique_ptr<TRoundSource> FSource;
    std::array<double, 2> FStartGains{};
    double FStartKi = std::nan("");
    std::vector<TTuningRound> FRounds;
    TBackOff FBackOff;
    std::uint32_t FStartPosition = 0;
    // The first test's records saw the motor at the start, so the return move may go there.
    bool FStartWitnessed = false;
    std::uint32_t FAmplitude = 0;
    QElapsedTimer FReturnClock;
};
