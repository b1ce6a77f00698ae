#pragma once

#include "drive/runsettings.h"
#include "drive/tuning.h"
#include "tuner/gaintuner.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

// Where a tuning run's rounds come from: a sweep's plan, or a search's tuner choosing each from every
// test so far. The runner drives the drive and asks the source only what to test next and what it
// has learnt; back-off rounds are the runner's, so a source never sees them.
class TRoundSource {
public:
    virtual ~TRoundSource() = default;

    // The next round to test; none once the source has nothing more to test.
    virtual std::optional<TTuningRound> Next() = 0;
    // A round the source chose has been tested.
    virtual void Learn(const TTuningRound& round, const TTestRecord& test) = 0;
    // The best of the rounds by the source's measure: for a search, the one its tuner recommends.
    virtual std::optional<std::size_t> Best(const std::vector<TTuningRound>& rounds) const = 0;
    // What the source's models predict for a round that is not its own (a back-off of the best), at
    // the round's own gains, so that its spread is that of where it lies.
    virtual std::optional<TTunerPrediction> Predict(std::size_t best, const TTuningRound& round) const = 0;
    // Why the source ended without a best round; empty when it simply ran out.
    virtual QString FailedText() const { return {}; }
    // The best was tested twice and met the criterion both times.
    virtual bool Confirmed() const { return false; }
    // The search's tuner; none for a sweep.
    virtual const TGainTuner* Tuner() const { return nullptr; }
};

// What a source needs of the run: its settings, and its step in drive units.
struct TRunStep {
    int Amplitude = 0;
    int SampleCount = 0;
};

std::unique_ptr<TRoundSource> MakeSweep(const TTuningPlan& plan, const TRunSettings& settings, TRunStep step);
std::unique_ptr<TRoundSource> MakeSearch(const TTuningPlan& plan, const TRunSettings& settings,
                                         TRunStep step);
