#include "drive/tuningrunner.h"

#include "common/errors.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/replyreaders.h"
#include "drive/steptest.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

QString LostText() {
    return QStringLiteral("The device was lost");
}

} // namespace

TTuningRunner::TTuningRunner(TDriveModel& model, TTuningPlan plan, QObject* parent)
    : QObject(parent), FModel(&model), FPlan(std::move(plan)) {
    FStepTimer.setSingleShot(true);
    connect(&FStepTimer, &QTimer::timeout, this, &TTuningRunner::Step);
    // A device closed in the middle of a run gets its settings back first.
    connect(&model, &TDriveModel::Closing, this, [this] {
        if (Running())
            Finish(QStringLiteral("The device was closed"));
    });
}

int TTuningRunner::PlannedRounds() const {
    return (FPlan.Search ? FPlan.MaxTests : FPlan.Steps + (FPlan.Criterion.BackOffPercent > 0 ? 1 : 0));
}

void TTuningRunner::Start() {
    // A start that cannot be says why, like every other refusal: the lease names who holds the drive.
    if (!FModel)
        throw EKelmorError(TDeviceSlot::ClosedText());
    if (Running())
        throw EKelmorError(TDriveModel::RunHoldsText());
    // Held for the whole run: nothing else talks to the drive until it is given back.
    TDriveLease lease = FModel->Lease(TLeaseUse::Command, TDriveModel::RunHoldsText());
    FModel->RequireStepMode();
    TRunSettings::CheckPlan(FPlan);
    const auto [amplitude, timeMs] = ParseStepEntries(FPlan.Amplitude, FPlan.Time);
    TRegisterValues original{};
    {
        // What the rounds start from and the run leaves behind, and the one place the motor goes back to.
        const std::unique_ptr<TExchange> exchange = lease.Slot()->BeginExchange(lease);
        original = ConfirmedRegisters(*exchange, FModel->Parameters().Known()->Registers);
        FStartPosition = std::uint32_t(
            ConfirmedPosition(*exchange, PositionTolerance(std::uint32_t(amplitude)), FModel->Witness()));
    }
    TRunSettings(FPlan, FModel->MotorData(), original).CheckValues();
    FSource.reset();
    const TRunSettings& settings = FSettings.emplace(FPlan, FModel->MotorData(), original);
    const TRunStep step{amplitude, std::min(2 * timeMs, MaxStepSamples)};
    if (FPlan.Search) {
        FStartGains = {settings.DriveFigure(FPlan.Rows[0]), settings.DriveFigure(FPlan.Rows[1])};
        FStartKi = settings.DriveFigure(KI);
        FSource = MakeSearch(FPlan, settings, step);
    } else {
        FSource = MakeSweep(FPlan, settings, step);
    }
    FAmplitude = std::uint32_t(amplitude);
    FStartWitnessed = false;
    FLease = std::move(lease);
    FStopAsked = false;
    Schedule(TState::Choosing, 0);
}

void TTuningRunner::Schedule(TState state, int delayMs) {
    FState = state;
    FStepTimer.start(delayMs);
}

void TTuningRunner::Step() {
    if (!Running())
        return;
    if (FStopAsked)
        return Finish(QStringLiteral("Stopped"));
    const TDeviceSlot* slot = FModel ? FModel->Slot() : nullptr;
    if (!slot || slot->IsLost())
        return Finish(LostText());
    switch (FState) {
    case TState::Choosing:
        return ChooseRound();
    case TState::Testing:
        return TestRound();
    case TState::Returning:
        return CheckReturn();
    case TState::Idle:
    case TState::Ended:
        return;
    }
}

void TTuningRunner::ChooseRound() {
    std::optional<TTuningRound> round;
    try {
        round = FSource->Next();
        if (!round)
            round = BackOffRound();
    } catch (const EKelmorError& error) {
        return Finish(error.Message());
    }
    // A search that found nothing to recommend says why; one that expects nothing better is done.
    if (!round)
        return Finish(FSource->FailedText());
    FRounds.push_back(*round);
    // The dialog shows the prediction before the test holds the line.
    Schedule(TState::Testing, 0);
    emit RoundProposed();
}

void TTuningRunner::TestRound() {
    QString ending;
    try {
        FModel->Parameters().WriteRegisters(*FLease, FRounds.back().Registers);
        const std::unique_ptr<TExchange> exchange = FLease->Slot()->BeginExchange(*FLease);
        // A motor sent back to the start must be found there before it steps from it.
        const std::optional<std::int32_t> expected =
            FPlan.ReturnToStart ? std::optional<std::int32_t>(FStartPosition) : std::nullopt;
        const TTestRecord test =
            FModel->Tests().Run(*exchange, FPlan.Amplitude, FPlan.Time, false, expected).Test;
        TTuningRound& round = FRounds.back();
        const TTuningRound made = MakeRound(test, round.Gains, FPlan.Criterion);
        round.TestNumber = made.TestNumber;
        round.Verdict = made.Verdict;
        round.Score = made.Score;
        round.Overshoot = made.Overshoot;
        if (round.Role != TRoundRole::BackOff)
            FSource->Learn(round, test);
        // The start was read, not seen: the motor goes back to it only once the first test's records
        // saw it there (a record that disagrees fails the test itself).
        if (FPlan.ReturnToStart && !FStartWitnessed && !(FStartWitnessed = StartWitnessed(test.Step)))
            ending =
                QStringLiteral("The records of test %1 did not show the motor at the run's start, %2: it "
                               "was not sent back there")
                    .arg(test.Number)
                    .arg(FStartPosition);
        if (test.Figures.Overshoot > UnstableFactor * FPlan.Criterion.OvershootLimit)
            ending = QStringLiteral("The overshoot of test %1, %2 %, is more than three times the limit: "
                                    "the loop is near instability")
                         .arg(test.Number)
                         .arg(StepTexts(test.Figures).Overshoot);
    } catch (const EExitRequested& exit) {
        return Finish(exit.Message());
    } catch (const EKelmorError& error) {
        return Finish(FModel->Slot()->IsLost() ? LostText() : error.Message());
    }
    // Nothing of the history is held past this signal: a listener may change it.
    emit RoundDone();
    if (!Running())
        return;
    if (FModel->Slot()->IsLost())
        return Finish(LostText());
    if (!ending.isEmpty())
        return Finish(ending);
    if (!FPlan.ReturnToStart || FStopAsked)
        return Schedule(TState::Choosing, 0);
    SendReturn();
}

void TTuningRunner::SendReturn() {
    try {
        // Back to the start read when the run began, never to a position read since; the drive says
        // it has taken the move.
        const QByteArray line = RapidMoveLine(QByteArray::number(FStartPosition));
        FModel->ForgetWitness();
        const std::unique_ptr<TExchange> exchange = FLease->Slot()->BeginExchange(*FLease);
        // A confirmation garbled on the line is asked for again: the move goes to the same place.
        ConfirmLine(*exchange, line);
    } catch (const EExitRequested& exit) {
        return Finish(exit.Message());
    } catch (const EKelmorError& error) {
        return Finish(FModel->Slot()->IsLost() ? LostText() : error.Message());
    }
    FReturnClock.start();
    Schedule(TState::Returning, ReturnPollMs);
}

void TTuningRunner::CheckReturn() {
    std::int64_t position = -1;
    try {
        position = QueryPosition(*FLease->Slot()->BeginExchange(*FLease));
    } catch (const EExitRequested& exit) {
        return Finish(exit.Message());
    } catch (const EKelmorError&) {
        // A reply that is not one is asked again; only a position in its exact shape ends the wait.
    }
    if (FModel->Slot()->IsLost())
        return Finish(LostText());
    if (position >= 0 && 100 * std::abs(position - std::int64_t(FStartPosition)) <= std::int64_t(FAmplitude))
        return Schedule(TState::Choosing, 0);
    if (FReturnClock.elapsed() >= ReturnTimeoutMs)
        return Finish(QStringLiteral("The motor did not come back to %1 within %2 s")
                          .arg(FStartPosition)
                          .arg(ReturnTimeoutMs / 1000));
    Schedule(TState::Returning, ReturnPollMs);
}

std::optional<TTuningRound> TTuningRunner::BackOffRound() {
    const std::optional<std::size_t> best = Best();
    if (FBackOff.Kind != TBackOff::NotYet || FPlan.Criterion.BackOffPercent <= 0 || !best)
        return std::nullopt;
    FBackOff.Kind = TBackOff::None;
    // KP, and KI with it where the search may lower KI: what lowers the overshoot in every loop of
    // this kind. Not KV: lowering it would take damping away with it.
    TTuningRound round = FRounds[*best];
    const double kp = FSettings->Figure(KP, round.Gains);
    double backedOff = BackedOff(kp, FPlan.Criterion, 0, kp);
    for (std::size_t i = 0; i < (FPlan.Search ? 2u : 1u); ++i)
        if (FPlan.Rows[i] == KP) {
            const double lowest = FPlan.Search ? FPlan.Lowest[i] : std::min(FPlan.From, FPlan.To);
            backedOff = BackedOff(kp, FPlan.Criterion, lowest, kp);
            round.Gains[i] = backedOff;
        }
    if (!std::isnan(round.Ki))
        round.Ki = BackedOff(round.Ki, FPlan.Criterion, FPlan.KiFloor.value_or(0), round.Ki);
    round.Registers = FSettings->Registers(round.Gains, backedOff, FSettings->KiWritten(round.Ki));
    if (round.Registers == FRounds[*best].Registers)
        return std::nullopt;
    // Settings tested already are not tested again: that test verifies them.
    for (std::size_t i = 0; i < FRounds.size(); ++i)
        if (FRounds[i].Registers == round.Registers && FRounds[i].TestNumber != 0) {
            FBackOff = {TBackOff::TestedBefore, i};
            return std::nullopt;
        }
    round.Role = TRoundRole::BackOff;
    round.TestNumber = 0;
    // Predicted where it lies, with the KP it writes, searched or not.
    round.Predicted = FSource->Predict(*best, round);
    if (!round.Predicted || !TGainTuner::Safe(*round.Predicted)) {
        FBackOff.Kind = TBackOff::Unsafe;
        return std::nullopt;
    }
    FBackOff = {TBackOff::Proposed, FRounds.size()};
    return round;
}

void TTuningRunner::Finish(const QString& why) {
    FState = TState::Ended;
    FStepTimer.stop();
    // A round chosen but not tested was never run.
    if (!FRounds.empty() && FRounds.back().TestNumber == 0)
        FRounds.pop_back();
    if (FModel && FLease)
        FModel->Parameters().Restore(*FLease, FSettings->Original());
    FLease.reset();
    if (FModel) {
        FModel->KeepRun(Record(why));
    }
    emit Finished(why);
}

TTuningRecord TTuningRunner::Record(const QString& why) const {
    TTuningRecord record{FPlan,  FStartGains, FStartKi, FRounds,
                         Best(), Result(),    why,      QDateTime::currentDateTime(),
                         false,  {}};
    // The last round may not have run.
    if (!record.Rounds.empty() && record.Rounds.back().TestNumber == 0)
        record.Rounds.pop_back();
    if (const TGainTuner* tuner = Tuner())
        record.PredictedOvershoot = PredictedOvershoot(*tuner, FPlan);
    return record;
}

std::optional<std::size_t> TTuningRunner::Best() const {
    return FSource ? FSource->Best(FRounds) : std::nullopt;
}

std::optional<TTuningResult> TTuningRunner::Result() const {
    const std::optional<std::size_t> best = Best();
    if (Running() || !best)
        return std::nullopt;
    TTuningResult result{*best, FRounds[*best].Registers, TTuningResult::Best, FSource->Confirmed()};
    std::optional<std::size_t> verified;
    if (FBackOff.Kind == TBackOff::TestedBefore ||
        (FBackOff.Kind == TBackOff::Proposed && FBackOff.Round < FRounds.size()))
        verified = FBackOff.Round;
    if (verified && FRounds[*verified].Verdict == TRoundVerdict::Eligible)
        result = {*verified, FRounds[*verified].Registers, TTuningResult::BackedOff, result.Confirmed};
    else if (verified)
        result.Kind = TTuningResult::BackOffFailed;
    else if (FBackOff.Kind == TBackOff::Unsafe)
        result.Kind = TTuningResult::BackOffUnsafe;
    return result;
}
