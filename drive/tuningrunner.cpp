#include "drive/tuningrunner.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/replyreaders.h"
#include "drive/steptest.h"

#include <QTimer>
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
    // A device closed in the middle of a run gets its settings back first.
    connect(&model, &TDriveModel::Closing, this, [this] {
        if (FRunning)
            Finish(QStringLiteral("The device was closed"));
    });
}

TTypedNumber TTuningRunner::DriveFigure(TSettingRow row) const {
    const TMotorData& motor = FModel->MotorData();
    // Six significant digits, as the gains are written, so that a register converts back to itself.
    const auto shown = [&](TSettingRow r, const TTypedNumber& kv) {
        const TRegisterRow& table = RegisterTable[std::size_t(r)];
        return TTypedNumber(
            GainText(double(table.ToShown(FOriginal[std::size_t(table.Register)], motor, kv))));
    };
    return shown(row, shown(KV, {}));
}

bool TTuningRunner::Varied(TSettingRow row) const {
    return FPlan.Rows[0] == row || (FPlan.Search && FPlan.Rows[1] == row);
}

double TTuningRunner::Figure(TSettingRow row, const std::array<double, 2>& gains) const {
    if (Varied(row))
        return gains[FPlan.Rows[0] == row ? 0 : 1];
    return double(DriveFigure(row).Decimal());
}

TRegisterValues TTuningRunner::Registers(const std::array<double, 2>& gains, std::optional<double> kp,
                                         std::optional<double> ki) const {
    const TMotorData& motor = FModel->MotorData();
    const TTypedNumber kv = Varied(KV) ? TTypedNumber(GainText(Figure(KV, gains))) : DriveFigure(KV);
    TRegisterValues registers = FOriginal;
    const auto convert = [&](TSettingRow row, const TTypedNumber& figure) {
        const TRegisterRow& table = RegisterTable[std::size_t(row)];
        registers[std::size_t(table.Register)] = table.ToRegister(figure, motor, kv);
    };
    for (std::size_t i = 0; i < (FPlan.Search ? 2u : 1u); ++i)
        convert(FPlan.Rows[i], TTypedNumber(GainText(gains[i])));
    if (kp)
        convert(KP, TTypedNumber(GainText(*kp)));
    if (ki)
        convert(KI, TTypedNumber(GainText(*ki)));
    if (Varied(KV) && !Varied(LimitV))
        convert(LimitV, DriveFigure(LimitV));
    return registers;
}

int TTuningRunner::PlannedRounds() const {
    return (FPlan.Search ? FPlan.MaxTests : FPlan.Steps + (FPlan.Criterion.BackOffPercent > 0 ? 1 : 0));
}

void TTuningRunner::CheckPlan() const {
    ParseStepEntries(FPlan.Amplitude, FPlan.Time);
    if (FPlan.Criterion.BackOffPercent < 0 || FPlan.Criterion.BackOffPercent > 30)
        throw EKelmorError(QStringLiteral("The back-off must lie between 0 and 30 %"));
    if (!(FPlan.Criterion.OvershootLimit >= 0))
        throw EKelmorError(QStringLiteral("The overshoot limit must not be below 0 %"));
    if (!FPlan.Search) {
        SweepValues(FPlan.From, FPlan.To, FPlan.Steps, FPlan.Geometric);
        return;
    }
    if (FPlan.Rows[0] == FPlan.Rows[1])
        throw EKelmorError(QStringLiteral("The search needs two different settings"));
    const int least = FPlan.Criterion.BackOffPercent > 0 ? 3 : 2;
    if (FPlan.MaxTests < least || FPlan.MaxTests > MaxSearchTests)
        throw EKelmorError(QStringLiteral("A search takes %1 to %2 tests").arg(least).arg(MaxSearchTests));
    for (std::size_t i = 0; i < 2; ++i)
        if (!(FPlan.Lowest[i] > 0 && FPlan.Lowest[i] <= FPlan.Highest[i]))
            throw EKelmorError(QStringLiteral("The search's bounds must lie above zero, the lower first"));
    if (FPlan.KiFloor && !(*FPlan.KiFloor >= 0))
        throw EKelmorError(QStringLiteral("KI's floor must not lie below 0"));
}

std::optional<double> TTuningRunner::KiWritten(double ki) const {
    return SearchesKi(FPlan) ? std::optional(ki) : std::nullopt;
}

void TTuningRunner::CheckValues() const {
    if (!FPlan.Search) {
        for (const double value : SweepValues(FPlan.From, FPlan.To, FPlan.Steps, FPlan.Geometric))
            Registers({value, 0});
        return;
    }
    // The conversions grow with the gains: the corners of the box bound every value the search writes.
    for (const double a : {FPlan.Lowest[0], FPlan.Highest[0]})
        for (const double b : {FPlan.Lowest[1], FPlan.Highest[1]})
            Registers({a, b}, std::nullopt, KiWritten(FPlan.KiFloor.value_or(0)));
}

void TTuningRunner::CheckStart() const {
    if (SearchesKi(FPlan) && *FPlan.KiFloor > FStartKi)
        throw EKelmorError(
            QStringLiteral("KI's floor, %1, lies above the drive's KI, %2: nothing was written")
                .arg(GainText(*FPlan.KiFloor), GainText(FStartKi)));
    for (std::size_t i = 0; i < 2; ++i)
        if (!(FPlan.Lowest[i] <= FStartGains[i] && FStartGains[i] <= FPlan.Highest[i]))
            throw EKelmorError(
                QStringLiteral("The search would start from %1 %2, outside its bounds %3 … %4: "
                               "nothing was written")
                    .arg(QString::fromLatin1(RegisterTable[std::size_t(FPlan.Rows[i])].Key))
                    .arg(GainText(FStartGains[i]), GainText(FPlan.Lowest[i]), GainText(FPlan.Highest[i])));
}

void TTuningRunner::Start() {
    if (!FModel || !FModel->Slot() || FRunning || FModel->Busy())
        return;
    // Held for the whole run: nothing else talks to the drive until it is given back.
    TDriveLease lease = FModel->Lease(TLeaseUse::Command, TDriveModel::RunHoldsText());
    FModel->RequireStepMode();
    CheckPlan();
    const auto [amplitude, timeMs] = ParseStepEntries(FPlan.Amplitude, FPlan.Time);
    FSampleCount = std::min(2 * timeMs, MaxStepSamples);
    {
        // What the rounds start from and the run leaves behind, and the one place the motor goes back to.
        const std::unique_ptr<TExchange> exchange = lease.Slot()->BeginExchange(lease);
        FOriginal = ConfirmedRegisters(*exchange);
        FStartPosition =
            std::uint32_t(ConfirmedPosition(*exchange, PositionTolerance(std::uint32_t(amplitude))));
    }
    CheckValues();
    if (FPlan.Search) {
        FStartGains = {double(DriveFigure(FPlan.Rows[0]).Decimal()),
                       double(DriveFigure(FPlan.Rows[1]).Decimal())};
        FStartKi = double(DriveFigure(KI).Decimal());
        CheckStart();
        TTunerSetup setup;
        setup.Kp = FPlan.Rows[0] == KP ? 0 : FPlan.Rows[1] == KP ? 1 : -1;
        const double kiFloor = SearchesKi(FPlan) ? *FPlan.KiFloor : FStartKi;
        setup.Lowest = {FPlan.Lowest[0], FPlan.Lowest[1], kiFloor};
        setup.Highest = {FPlan.Highest[0], FPlan.Highest[1], FStartKi};
        setup.Start = {FStartGains[0], FStartGains[1], FStartKi};
        // The back-off's verification is one of the tests.
        setup.MaxTests = FPlan.MaxTests - (FPlan.Criterion.BackOffPercent > 0 ? 1 : 0);
        setup.OvershootLimit = FPlan.Criterion.OvershootLimit;
        setup.Amplitude = amplitude;
        setup.SampleCount = FSampleCount;
        setup.Registers = [this](const TTunerGains& gains) {
            return Registers({gains[0], gains[1]}, std::nullopt, KiWritten(gains[2]));
        };
        FTuner.emplace(std::move(setup));
    } else {
        FSweep = SweepValues(FPlan.From, FPlan.To, FPlan.Steps, FPlan.Geometric);
    }
    FAmplitude = std::uint32_t(amplitude);
    FLease = std::move(lease);
    FRunning = true;
    FStopAsked = false;
    FModel->SetBusy(true);
    QTimer::singleShot(0, this, &TTuningRunner::ProposeRound);
}

void TTuningRunner::Stop() {
    FStopAsked = true;
}

std::optional<TTuningRound> TTuningRunner::BackOffRound() {
    const std::optional<std::size_t> best = Best();
    if (FBackOffRun || FPlan.Criterion.BackOffPercent <= 0 || !best)
        return std::nullopt;
    FBackOffRun = true;
    // The outer loop's gain only: lowering KV too would take damping away with it.
    TTuningRound round = FRounds[*best];
    const double kp = Figure(KP, round.Gains);
    double backedOff = BackedOff(kp, FPlan.Criterion, 0, kp);
    for (std::size_t i = 0; i < (FPlan.Search ? 2u : 1u); ++i)
        if (FPlan.Rows[i] == KP) {
            const double lowest = FPlan.Search ? FPlan.Lowest[i] : std::min(FPlan.From, FPlan.To);
            backedOff = BackedOff(kp, FPlan.Criterion, lowest, kp);
            round.Gains[i] = backedOff;
        }
    round.Registers = Registers(round.Gains, backedOff, KiWritten(round.Ki));
    if (round.Registers == FRounds[*best].Registers)
        return std::nullopt;
    // Settings tested already are not tested again: that test verifies them.
    for (std::size_t i = 0; i < FRounds.size(); ++i)
        if (FRounds[i].Registers == round.Registers && FRounds[i].TestNumber != 0) {
            FBackOffTested = i;
            return std::nullopt;
        }
    round.Role = TRoundRole::BackOff;
    round.TestNumber = 0;
    // Predicted with the KP it writes, searched or not; a sweep's by models learnt from its rounds.
    if (FTuner) {
        const TTunerGains gains = FTuner->Tested()[FTuner->Best()->Test].Gains;
        round.Predicted = FTuner->Predict(gains, round.Registers);
    } else {
        TTunerBeliefs beliefs(int(FAmplitude), FSampleCount, FPlan.Criterion.OvershootLimit);
        beliefs.Learn(FSweepTests, *best);
        round.Predicted = beliefs.Predict(FSweepTests[*best].Point, round.Registers);
    }
    if (!round.Predicted || !TGainTuner::Safe(*round.Predicted)) {
        FBackOffUnsafe = true;
        return std::nullopt;
    }
    return round;
}

std::optional<TTuningRound> TTuningRunner::NextRound() {
    if (FTuner) {
        if (const std::optional<TTunerProposal> proposal = FTuner->Next()) {
            TTuningRound round;
            round.Gains = {proposal->Gains[0], proposal->Gains[1]};
            if (SearchesKi(FPlan))
                round.Ki = proposal->Gains[2];
            round.Registers = proposal->Registers;
            round.Predicted = proposal->Predicted;
            round.Role = proposal->Kind == TTunerProposal::Confirm    ? TRoundRole::Confirmation
                         : proposal->Kind == TTunerProposal::Fallback ? TRoundRole::Fallback
                                                                      : TRoundRole::Planned;
            return round;
        }
    } else if (FRounds.size() < FSweep.size()) {
        TTuningRound round;
        round.Gains = {FSweep[FRounds.size()], 0};
        round.Registers = Registers(round.Gains);
        return round;
    }
    return BackOffRound();
}

void TTuningRunner::ProposeRound() {
    if (!FRunning)
        return;
    if (FStopAsked)
        return Finish(QStringLiteral("Stopped"));
    TDeviceSlot* slot = FModel ? FModel->Slot() : nullptr;
    if (!slot || slot->IsLost())
        return Finish(LostText());
    std::optional<TTuningRound> round;
    try {
        round = NextRound();
    } catch (const EKelmorError& error) {
        return Finish(error.Message());
    }
    if (!round) {
        // A search that found nothing to recommend says why; one that expects nothing better is done.
        const bool failed = FTuner && !FTuner->Best();
        return Finish(failed ? QString::fromUtf8(FTuner->EndReason()) : QString());
    }
    FRounds.push_back(*round);
    emit RoundProposed();
    // The dialog shows the prediction before the test holds the line.
    QTimer::singleShot(0, this, &TTuningRunner::RunRound);
}

void TTuningRunner::RunRound() {
    if (!FRunning)
        return;
    if (FStopAsked) {
        FRounds.pop_back();
        return Finish(QStringLiteral("Stopped"));
    }
    TDeviceSlot* slot = FModel ? FModel->Slot() : nullptr;
    if (!slot || slot->IsLost()) {
        FRounds.pop_back();
        return Finish(LostText());
    }
    TTuningRound& round = FRounds.back();
    try {
        FModel->Parameters().WriteRegisters(*FLease, round.Registers);
        const std::unique_ptr<TExchange> exchange = slot->BeginExchange(*FLease);
        // A motor sent back to the start must be found there before it steps from it.
        const std::optional<std::int32_t> expected =
            FPlan.ReturnToStart ? std::optional<std::int32_t>(FStartPosition) : std::nullopt;
        const TTestRecord& test =
            FModel->Tests().Run(*exchange, FPlan.Amplitude, FPlan.Time, false, expected).Test;
        const TTuningRound made = MakeRound(test, round.Gains, FPlan.Criterion);
        round.TestNumber = made.TestNumber;
        round.Verdict = made.Verdict;
        round.Score = made.Score;
        round.Overshoot = made.Overshoot;
        if (FTuner && round.Role != TRoundRole::BackOff)
            FTuner->Report({TruePositions(test.Step), round.Verdict == TRoundVerdict::Eligible, round.Score});
        if (!FTuner && round.Role != TRoundRole::BackOff)
            FSweepTests.push_back(SweepTest(round, test));
        emit RoundDone();
        if (slot->IsLost())
            return Finish(LostText());
        if (test.Figures.Overshoot > UnstableFactor * FPlan.Criterion.OvershootLimit)
            return Finish(
                QStringLiteral("The overshoot of test %1, %2 %, is more than three times the limit: "
                               "the loop is near instability")
                    .arg(test.Number)
                    .arg(StepTexts(test.Figures).Overshoot));
    } catch (const EExitRequested& exit) {
        if (FRounds.back().TestNumber == 0)
            FRounds.pop_back();
        return Finish(exit.Message());
    } catch (const EKelmorError& error) {
        if (FRounds.back().TestNumber == 0)
            FRounds.pop_back();
        return Finish(slot->IsLost() ? LostText() : error.Message());
    }
    if (!FPlan.ReturnToStart || FStopAsked) {
        QTimer::singleShot(0, this, &TTuningRunner::ProposeRound);
        return;
    }
    try {
        // Back to the start read when the run began, never to a position read since; the drive says
        // it has taken the move.
        const QByteArray line = RapidMoveLine(QByteArray::number(FStartPosition));
        const std::unique_ptr<TExchange> exchange = slot->BeginExchange(*FLease);
        // A confirmation garbled on the line is asked for again: the move goes to the same place.
        for (int attempt = 1;; ++attempt) {
            try {
                if (attempt > 1)
                    exchange->SettleAndPurge();
                exchange->WriteLine(line);
                ReadConfirmation(*exchange, line);
                break;
            } catch (const EConvertError&) {
                if (attempt == MostReadingTries || slot->IsLost())
                    throw;
            }
        }
    } catch (const EExitRequested& exit) {
        return Finish(exit.Message());
    } catch (const EKelmorError& error) {
        return Finish(slot->IsLost() ? LostText() : error.Message());
    }
    FReturnClock.start();
    QTimer::singleShot(ReturnPollMs, this, &TTuningRunner::WaitForReturn);
}

void TTuningRunner::WaitForReturn() {
    if (!FRunning || !FModel || !FModel->Slot())
        return;
    if (FStopAsked)
        return Finish(QStringLiteral("Stopped"));
    std::int64_t position = -1;
    try {
        const std::unique_ptr<TExchange> exchange = FModel->Slot()->BeginExchange(*FLease);
        position = QueryPosition(*exchange);
    } catch (const EExitRequested& exit) {
        return Finish(exit.Message());
    } catch (const EKelmorError&) {
        // A reply that is not one is asked again; only a position in its exact shape ends the wait.
    }
    if (FModel->Slot()->IsLost())
        return Finish(LostText());
    if (position >= 0 &&
        100 * std::abs(position - std::int64_t(FStartPosition)) <= std::int64_t(FAmplitude)) {
        QTimer::singleShot(0, this, &TTuningRunner::ProposeRound);
        return;
    }
    if (FReturnClock.elapsed() >= ReturnTimeoutMs)
        return Finish(QStringLiteral("The motor did not come back to %1 within %2 s")
                          .arg(FStartPosition)
                          .arg(ReturnTimeoutMs / 1000));
    QTimer::singleShot(ReturnPollMs, this, &TTuningRunner::WaitForReturn);
}

void TTuningRunner::Finish(const QString& why) {
    FRunning = false;
    Restore();
    FLease.reset();
    if (FModel) {
        FModel->SetBusy(false);
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
    if (FTuner)
        record.PredictedOvershoot = PredictedOvershoot(*FTuner, FPlan);
    return record;
}

TTunerBeliefs::TTest TTuningRunner::SweepTest(const TTuningRound& round, const TTestRecord& test) const {
    TTunerBeliefs::TTest learnt;
    learnt.Point = {std::log2(std::max(round.Gains[0], 1e-6)), 0, 0};
    learnt.Registers = round.Registers;
    learnt.Positions = TruePositions(test.Step);
    learnt.Figures = LoopFigures(learnt.Positions, int(FAmplitude));
    learnt.Complete = round.Verdict != TRoundVerdict::SamplesMissing;
    return learnt;
}

void TTuningRunner::Restore() {
    if (FModel && FLease)
        FModel->Parameters().Restore(*FLease, FOriginal);
}

std::optional<std::size_t> TTuningRunner::Best() const {
    if (!FTuner)
        return BestRound(FRounds);
    const std::optional<TGainTuner::TBest> best = FTuner->Best();
    if (!best)
        return std::nullopt;
    // The tuner counts the tests it chose; the rounds hold them in the same order.
    std::size_t seen = 0;
    for (std::size_t i = 0; i < FRounds.size(); ++i)
        if (FRounds[i].Role != TRoundRole::BackOff && seen++ == best->Test)
            return i;
    return std::nullopt;
}

std::optional<TTuningResult> TTuningRunner::Result() const {
    const std::optional<std::size_t> best = Best();
    if (FRunning || !best)
        return std::nullopt;
    TTuningResult result{*best, FRounds[*best].Registers, TTuningResult::Best, false};
    if (FTuner)
        result.Confirmed = FTuner->Best()->Confirmed;
    std::optional<std::size_t> verified = FBackOffTested;
    for (std::size_t i = 0; i < FRounds.size(); ++i)
        if (FRounds[i].Role == TRoundRole::BackOff && FRounds[i].TestNumber != 0)
            verified = i;
    if (verified && FRounds[*verified].Verdict == TRoundVerdict::Eligible)
        result = {*verified, FRounds[*verified].Registers, TTuningResult::BackedOff, result.Confirmed};
    else if (verified)
        result.Kind = TTuningResult::BackOffFailed;
    else if (FBackOffUnsafe)
        result.Kind = TTuningResult::BackOffUnsafe;
    return result;
}
