#pragma once

#include "drive/drivemodel.h"
#include "drive/tuning.h"
#include "tuner/gaintuner.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <optional>
#include <vector>

// Runs the step tests of a plan on a drive model: for each round it writes the nine settings, those
// the plan does not vary as they were in the drive when the run started, with the round's gains, runs a step
// test (which joins the history) and, between rounds, moves the motor back to where the run started. A
// sweep's rounds are its plan; a search's are chosen one by one by the tuner from every test so far. A
// back-off is verified by one more test. The runner takes an exchange for each test only, and lets the event
// loop run between the steps, so the terminal and the lines go on, while the model is busy for anything else
// that would talk to the drive. However the run ends, the register values that were in the drive before it
// are written back (to a lost device as soon as it is back).
class TTuningRunner : public QObject {
    Q_OBJECT

public:
    // How long the motor may take to come back, and how near it must come: a hundredth of the amplitude.
    static constexpr int ReturnTimeoutMs = 3000;
    static constexpr int ReturnPollMs = 20;

    TTuningRunner(TDriveModel& model, TTuningPlan plan, QObject* parent = nullptr);

    // Checks the plan, reads the drive's registers and checks every value the plan may write; throws
    // EKelmorError, with nothing written, when any of that fails. The rounds then run from the event
    // loop.
    void Start();
    // Ends the run after the test under way.
    void Stop();
    bool Running() const { return FRunning; }

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
    const TGainTuner* Tuner() const { return FTuner ? &*FTuner : nullptr; }
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
    bool Varied(TSettingRow row) const;
    // A row's figure as the drive held it.
    TTypedNumber DriveFigure(TSettingRow row) const;
    // The figure of a row in a round: its gain when the plan varies it, else what the drive held.
    double Figure(TSettingRow row, const std::array<double, 2>& gains) const;
    // The drive's registers as read at the start, with the varied rows converted from the round's
    // gains and KP, when given, from its own figure. A Limit V goes with the KV it was set for, so a
    // varied KV converts it again, from its figure.
    TRegisterValues Registers(const std::array<double, 2>& gains, std::optional<double> kp = std::nullopt,
                              std::optional<double> ki = std::nullopt) const;
    // What a round writes for KI: nothing when the search may not lower it.
    std::optional<double> KiWritten(double ki) const;
    // A sweep's test as the beliefs that judge its back-off learn from it.
    TTunerBeliefs::TTest SweepTest(const TTuningRound& round, const TTestRecord& test) const;
    void CheckPlan() const;
    void CheckValues() const;
    void CheckStart() const;
    std::optional<TTuningRound> NextRound();
    std::optional<TTuningRound> BackOffRound();
    void ProposeRound();
    void RunRound();
    void WaitForReturn();
    void Finish(const QString& why);
    void Restore();

    QPointer<TDriveModel> FModel;
    TTuningPlan FPlan;
    // The drive, lent to the run from its start to its end.
    std::optional<TDriveLease> FLease;
    std::vector<double> FSweep;
    std::optional<TGainTuner> FTuner;
    std::array<double, 2> FStartGains{};
    double FStartKi = std::nan("");
    int FSampleCount = 0;
    // A sweep's tests, from which its back-off is judged.
    std::vector<TTunerBeliefs::TTest> FSweepTests;
    // What the drive held when the run started: what the rounds leave as it is, and what is restored.
    TRegisterValues FOriginal{};
    std::vector<TTuningRound> FRounds;
    bool FRunning = false;
    bool FStopAsked = false;
    bool FBackOffRun = false;
    // The back-off's settings were tested already, by this round; or deemed unsafe to test.
    std::optional<std::size_t> FBackOffTested;
    bool FBackOffUnsafe = false;
    std::uint32_t FStartPosition = 0;
    std::uint32_t FAmplitude = 0;
    QElapsedTimer FReturnClock;
};
