#include "drive/roundsource.h"

#include <cmath>

namespace {

// The values of the plan, one round each; a back-off is judged by beliefs learnt from its rounds.
class TSweepRounds final : public TRoundSource {
public:
    TSweepRounds(const TTuningPlan& plan, const TRunSettings& settings, TRunStep step)
        : FPlan(plan), FSettings(settings), FStep(step),
          FValues(SweepValues(plan.From, plan.To, plan.Steps, plan.Geometric)) {}

    std::optional<TTuningRound> Next() override {
        if (FTests.size() >= FValues.size())
            return std::nullopt;
        TTuningRound round;
        round.Gains = {FValues[FTests.size()], 0};
        round.Registers = FSettings.Registers(round.Gains);
        return round;
    }

    void Learn(const TTuningRound& round, const TTestRecord& test) override {
        TTunerBeliefs::TTest learnt;
        learnt.Point = Point(round);
        learnt.Registers = round.Registers;
        learnt.Positions = TruePositions(test.Step);
        learnt.Figures = LoopFigures(learnt.Positions, FStep.Amplitude);
        learnt.Complete = round.Verdict != TRoundVerdict::SamplesMissing;
        FTests.push_back(std::move(learnt));
    }

    std::optional<std::size_t> Best(const std::vector<TTuningRound>& rounds) const override {
        return BestRound(rounds);
    }

    std::optional<TTunerPrediction> Predict(std::size_t best, const TTuningRound& round) const override {
        // The sweep's rounds come first, in the order of its tests.
        TTunerBeliefs beliefs(FStep.Amplitude, FStep.SampleCount, FPlan.Criterion.OvershootLimit);
        beliefs.Learn(FTests, best);
        return beliefs.Predict(Point(round), round.Registers);
    }

private:
    static TGpPoint Point(const TTuningRound& round) {
        return {std::log2(std::max(round.Gains[0], 1e-6)), 0, 0};
    }

    const TTuningPlan& FPlan;
    const TRunSettings& FSettings;
    TRunStep FStep;
    std::vector<double> FValues;
    std::vector<TTunerBeliefs::TTest> FTests;
};

// The tuner's choices, from the settings in the drive, within the plan's box.
class TSearchRounds final : public TRoundSource {
public:
    TSearchRounds(const TTuningPlan& plan, const TRunSettings& settings, TRunStep step)
        : FPlan(plan), FTuner(Setup(plan, settings, step)) {}

    std::optional<TTuningRound> Next() override {
        const std::optional<TTunerProposal> proposal = FTuner.Next();
        if (!proposal)
            return std::nullopt;
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

    void Learn(const TTuningRound& round, const TTestRecord& test) override {
        FTuner.Report({TruePositions(test.Step), round.Verdict == TRoundVerdict::Eligible, round.Score});
    }

    std::optional<std::size_t> Best(const std::vector<TTuningRound>& rounds) const override {
        const std::optional<TGainTuner::TBest> best = FTuner.Best();
        if (!best)
            return std::nullopt;
        // The tuner counts the tests it chose; the rounds hold them in the same order.
        std::size_t seen = 0;
        for (std::size_t i = 0; i < rounds.size(); ++i)
            if (rounds[i].Role != TRoundRole::BackOff && seen++ == best->Test)
                return i;
        return std::nullopt;
    }

    std::optional<TTunerPrediction> Predict(std::size_t, const TTuningRound& round) const override {
        const TTunerGains best = FTuner.Tested()[FTuner.Best()->Test].Gains;
        return FTuner.Predict({round.Gains[0], round.Gains[1], std::isnan(round.Ki) ? best[2] : round.Ki},
                              round.Registers);
    }

    QString FailedText() const override {
        return FTuner.Best() ? QString() : QString::fromUtf8(FTuner.EndReason());
    }
    bool Confirmed() const override { return FTuner.Best() && FTuner.Best()->Confirmed; }
    const TGainTuner* Tuner() const override { return &FTuner; }

private:
    static TTunerSetup Setup(const TTuningPlan& plan, const TRunSettings& settings, TRunStep step) {
        const double startKi = settings.DriveFigure(KI);
        TTunerSetup setup;
        setup.Kp = plan.Rows[0] == KP ? 0 : plan.Rows[1] == KP ? 1 : -1;
        setup.Kv = plan.Rows[0] == KV ? 0 : plan.Rows[1] == KV ? 1 : -1;
        setup.Lowest = {plan.Lowest[0], plan.Lowest[1], SearchesKi(plan) ? *plan.KiFloor : startKi};
        setup.Highest = {plan.Highest[0], plan.Highest[1], startKi};
        setup.Start = {settings.DriveFigure(plan.Rows[0]), settings.DriveFigure(plan.Rows[1]), startKi};
        // The back-off's verification is one of the tests.
        setup.MaxTests = plan.MaxTests - (plan.Criterion.BackOffPercent > 0 ? 1 : 0);
        setup.OvershootLimit = plan.Criterion.OvershootLimit;
        setup.Amplitude = step.Amplitude;
        setup.SampleCount = step.SampleCount;
        setup.Registers = [&settings](const TTunerGains& gains) {
            return settings.Registers({gains[0], gains[1]}, std::nullopt, settings.KiWritten(gains[2]));
        };
        return setup;
    }

    const TTuningPlan& FPlan;
    TGainTuner FTuner;
};

} // namespace

std::unique_ptr<TRoundSource> MakeSweep(const TTuningPlan& plan, const TRunSettings& settings,
                                        TRunStep step) {
    return std::make_unique<TSweepRounds>(plan, settings, step);
}

std::unique_ptr<TRoundSource> MakeSearch(const TTuningPlan& plan, const TRunSettings& settings,
                                         TRunStep step) {
    return std::make_unique<TSearchRounds>(plan, settings, step);
}
