#include "drive/tuning.h"

#include "common/errors.h"
#include "common/numtext.h"

#include <algorithm>
#include <cmath>

TRoundVerdict Verdict(const TTestRecord& test, const TTuningCriterion& criterion) {
    return Verdict(ReceivedCount(test.Step) >= std::size_t(test.Step.SampleCount),
                   test.Figures.SettlingTimeMs.has_value(), test.Figures.Overshoot, criterion);
}

double NormalisedIntegral(const TTestRecord& test) {
    return double(test.Figures.Integral) / double(test.Step.Amplitude);
}

bool SearchesKi(const TTuningPlan& plan) {
    return plan.Search && plan.KiFloor && plan.Rows[0] != KI && plan.Rows[1] != KI;
}

TTuningRound MakeRound(const TTestRecord& test, std::array<double, 2> gains,
                       const TTuningCriterion& criterion) {
    TTuningRound round;
    round.TestNumber = test.Number;
    round.Gains = gains;
    round.Verdict = Verdict(test, criterion);
    round.Score = NormalisedIntegral(test);
    round.Overshoot = test.Figures.Overshoot;
    return round;
}

std::optional<std::size_t> BestRound(std::span<const TTuningRound> rounds) {
    std::optional<std::size_t> best;
    const auto key = [&](std::size_t i) {
        return std::tuple(rounds[i].Score, rounds[i].Gains[0], rounds[i].Gains[1]);
    };
    for (std::size_t i = 0; i < rounds.size(); ++i)
        if (rounds[i].Role == TRoundRole::Planned && rounds[i].Verdict == TRoundVerdict::Eligible &&
            (!best || key(i) < key(*best)))
            best = i;
    return best;
}

std::vector<double> SweepValues(double from, double to, int steps, bool geometric) {
    if (steps < 2 || steps > MaxSweepSteps)
        throw EKelmorError(QStringLiteral("A sweep takes 2 to %1 steps").arg(MaxSweepSteps));
    if (geometric && (from <= 0 || to <= 0))
        throw EKelmorError(QStringLiteral("A geometric sweep needs both ends above zero"));
    std::vector<double> values;
    for (int i = 0; i < steps; ++i) {
        const double t = double(i) / (steps - 1);
        values.push_back(geometric ? from * std::pow(to / from, t) : from + (to - from) * t);
    }
    // The ends exactly as given, whatever the rounding inside.
    values.back() = to;
    return values;
}

QString GainText(double value) {
    QString text = QString::number(value, 'g', 6);
    text.replace(QLatin1Char('.'), DecimalSeparator());
    return text;
}

double WrittenGain(double value) {
    if (value == 0 || !std::isfinite(value))
        return value;
    const int shift = 14 - int(std::floor(std::log10(std::fabs(value))));
    // Scaled to a whole number of the last digit's units, then divided by an exact power of ten: one
    // correctly rounded operation, as reading those digits would give.
    const double scale = std::pow(10.0, std::abs(shift));
    return shift >= 0 ? std::round(value * scale) / scale : std::round(value / scale) * scale;
}

std::vector<double> PredictedOvershoot(const TGainTuner& tuner, const TTuningPlan& plan) {
    std::vector<double> overshoot;
    if (tuner.Tested().empty())
        return overshoot;
    const auto at = [&](std::size_t i, int k) {
        return plan.Lowest[i] * std::pow(plan.Highest[i] / plan.Lowest[i], (k + 0.5) / TuningMapCells);
    };
    const std::optional<TGainTuner::TBest> best = tuner.Best();
    const double ki = tuner.Tested()[best ? best->Test : tuner.Tested().size() - 1].Gains[2];
    for (int row = 0; row < TuningMapCells; ++row)
        for (int column = 0; column < TuningMapCells; ++column) {
            const std::optional<TTunerPrediction> p = tuner.Predict({at(0, column), at(1, row), ki});
            overshoot.push_back(p ? p->Overshoot : std::nan(""));
        }
    return overshoot;
}
