#include "drive/tuningrunner.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/replyreaders.h"
#include "drive/steptest.h"

#include <QTimer>
#include <cmath>
#include <memory>

TTuningRunner::TTuningRunner(TDriveSession& session, TTuningPlan plan, QObject* parent)
    : QObject(parent), FSession(&session), FPlan(std::move(plan)), FBase(session.SettingTexts()) {
    // A device closed in the middle of a run gets its settings back first.
    connect(&session, &TDriveSession::Closing, this, [this] {
        if (FRunning)
            Finish(QStringLiteral("The device was closed"));
    });
}

TSettingTexts TTuningRunner::Settings(const std::array<double, 2>& gains) const {
    TSettingTexts texts = FBase;
    texts[std::size_t(FPlan.Rows[0])] = GainText(gains[0]);
    if (FPlan.Search)
        texts[std::size_t(FPlan.Rows[1])] = GainText(gains[1]);
    return texts;
}

void TTuningRunner::CheckSettings(const TSettingTexts& texts) const {
    WriteSettings(texts, FSession->MotorData(), [](const QByteArray&) {});
}

void TTuningRunner::Start() {
    if (!FSession || !FSession->Slot() || FRunning)
        return;
    ParseStepEntries(FPlan.AmplitudeText, FPlan.TimeText);
    if (FPlan.Criterion.BackOffPercent < 0 || FPlan.Criterion.BackOffPercent > 30)
        throw EKelmorError(QStringLiteral("The back-off must lie between 0 and 30 %"));
    if (!(FPlan.Criterion.OvershootLimit >= 0))
        throw EKelmorError(QStringLiteral("The overshoot limit must not be below 0 %"));
    // Every value the run may write is checked before anything is: a sweep's values, the corners of a
    // search's box (the conversions grow with the gains).
    if (FPlan.Search) {
        if (FPlan.Rows[0] == FPlan.Rows[1])
            throw EKelmorError(QStringLiteral("The search needs two different settings"));
        if (FPlan.MaxTests < 2 || FPlan.MaxTests > MaxSearchTests)
            throw EKelmorError(QStringLiteral("A search takes 2 to %1 tests").arg(MaxSearchTests));
        for (std::size_t i = 0; i < 2; ++i)
            if (!(FPlan.Lowest[i] > 0 && FPlan.Lowest[i] <= FPlan.Highest[i]))
                throw EKelmorError(
                    QStringLiteral("The search's bounds must lie above zero, the lower first"));
        for (const double a : {FPlan.Lowest[0], FPlan.Highest[0]})
            for (const double b : {FPlan.Lowest[1], FPlan.Highest[1]})
                CheckSettings(Settings({a, b}));
        const TSettingTexts& now = FSession->SettingTexts();
        const auto gain = [&](std::size_t i) { return double(StrToFloat(now[std::size_t(FPlan.Rows[i])])); };
        FSearch.emplace(TGainSearch::TBox{FPlan.Lowest, FPlan.Highest}, std::array{gain(0), gain(1)},
                        FPlan.MaxTests);
    } else {
        FSweep = SweepValues(FPlan.From, FPlan.To, FPlan.Steps, FPlan.Geometric);
        for (const double value : FSweep)
            CheckSettings(Settings({value, 0}));
    }
    {
        // What the run leaves behind as it found it.
        const std::unique_ptr<TExchange> exchange = FSession->Slot()->BeginExchange();
        FOriginal = QueryRegisters(*exchange);
    }
    FRunning = true;
    FStopAsked = false;
    QTimer::singleShot(0, this, &TTuningRunner::RunRound);
}

void TTuningRunner::Stop() {
    FStopAsked = true;
}

std::optional<std::array<double, 2>> TTuningRunner::NextGains() {
    if (FSearch)
        return FSearch->Next();
    if (FRounds.size() < FSweep.size())
        return std::array{FSweep[FRounds.size()], 0.0};
    return std::nullopt;
}

void TTuningRunner::RunRound() {
    if (!FRunning)
        return;
    if (FStopAsked)
        return Finish(QStringLiteral("Stopped"));
    TDeviceSlot* slot = FSession ? FSession->Slot() : nullptr;
    if (!slot || slot->IsLost())
        return Finish(QStringLiteral("The device was lost"));
    const std::optional<std::array<double, 2>> gains = NextGains();
    if (!gains)
        return Finish(QString());
    try {
        FSession->WriteSettings(Settings(*gains));
        const std::unique_ptr<TExchange> exchange = slot->BeginExchange();
        const TTestRecord& test =
            FSession->RunStepTest(*exchange, FPlan.AmplitudeText, FPlan.TimeText, false).Test;
        if (FRounds.empty()) {
            FStartPosition = test.Step.StartPosition;
            FAmplitude = test.Step.Amplitude;
        }
        FRounds.push_back(MakeRound(test, *gains, FPlan.Criterion));
        if (FSearch)
            FSearch->Report(SearchScore(test, FPlan.Criterion));
        emit RoundDone();
        if (slot->IsLost())
            return Finish(QStringLiteral("The device was lost"));
        if (test.Figures.Overshoot > UnstableFactor * FPlan.Criterion.OvershootLimit)
            return Finish(
                QStringLiteral("The overshoot of test %1, %2 %, is more than three times the limit: "
                               "the loop is near instability")
                    .arg(test.Number)
                    .arg(StepTexts(test.Figures).Overshoot));
    } catch (const EKelmorError& error) {
        return Finish(error.Message());
    }
    if (!FPlan.ReturnToStart || FStopAsked) {
        QTimer::singleShot(0, this, &TTuningRunner::RunRound);
        return;
    }
    FSession->RapidMove(QString::number(FStartPosition));
    FReturnClock.start();
    QTimer::singleShot(ReturnPollMs, this, &TTuningRunner::WaitForReturn);
}

void TTuningRunner::WaitForReturn() {
    if (!FRunning || !FSession || !FSession->Slot())
        return;
    if (FStopAsked)
        return Finish(QStringLiteral("Stopped"));
    std::int64_t position = -1;
    try {
        const std::unique_ptr<TExchange> exchange = FSession->Slot()->BeginExchange();
        exchange->SettleAndPurge();
        exchange->WriteLine(PositionQueryLine());
        position = ReadPosition(*exchange);
    } catch (const EExitRequested& exit) {
        return Finish(exit.Message());
    } catch (const EKelmorError&) {
        // A reply cut short by the move's "OK" is asked again.
    }
    if (FSession->Slot()->IsLost())
        return Finish(QStringLiteral("The device was lost"));
    if (position >= 0 &&
        100 * std::abs(position - std::int64_t(FStartPosition)) <= std::int64_t(FAmplitude)) {
        QTimer::singleShot(0, this, &TTuningRunner::RunRound);
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
    emit Finished(why);
}

void TTuningRunner::Restore() {
    if (FSession)
        FSession->WriteRegisters(FOriginal);
}

std::optional<TSettingTexts> TTuningRunner::BestSettings() const {
    const std::optional<std::size_t> best = Best();
    if (!best)
        return std::nullopt;
    const TTuningRound& round = FRounds[*best];
    std::array<double, 2> gains{};
    for (std::size_t i = 0; i < 2; ++i) {
        const double lowest = FPlan.Search ? FPlan.Lowest[i] : std::min(FPlan.From, FPlan.To);
        const double highest = FPlan.Search ? FPlan.Highest[i] : std::max(FPlan.From, FPlan.To);
        gains[i] = BackedOff(round.Gains[i], FPlan.Criterion, lowest, highest);
    }
    return Settings(gains);
}
