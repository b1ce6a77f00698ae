#include "drive/roundtexts.h"

#include "common/numtext.h"

#include <cmath>

namespace {

QString VerdictText(const TTuningRound& round) {
    QString text;
    switch (round.Verdict) {
    case TRoundVerdict::Eligible:
        text = QStringLiteral("spełnia");
        break;
    case TRoundVerdict::SamplesMissing:
        text = QStringLiteral("brak próbek");
        break;
    case TRoundVerdict::Overshoot:
        text = QStringLiteral("przeregulowanie");
        break;
    default:
        text = QStringLiteral("nie ustala się");
        break;
    }
    if (round.Role == TRoundRole::Confirmation)
        text += QStringLiteral(" (powtórka)");
    else if (round.Role == TRoundRole::BackOff)
        text += QStringLiteral(" (cofnięcie KP)");
    else if (round.Role == TRoundRole::Fallback)
        text += QStringLiteral(" (KI na dolnej granicy)");
    return text;
}

// A prediction with its spread, "9,50 ± 1,20".
QString Spread(double mean, double sd) {
    return FloatToText(float(mean)) + QStringLiteral(" ± ") + FloatToText(float(sd));
}

} // namespace

std::vector<TRoundTexts> RoundTexts(const TTuningPlan& plan, std::span<const TTuningRound> rounds,
                                    std::optional<std::size_t> best, const TMotorData& motor) {
    std::vector<TRoundTexts> rows;
    const bool ki = SearchesKi(plan);
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        const TTuningRound& round = rounds[i];
        const bool measured = round.TestNumber > 0;
        const std::optional<TTunerPrediction>& p = round.Predicted;
        // What the drive was given, not the gain asked for: "3,89", not "3,89052".
        const TKnownSettings written = TKnownSettings::All(round.Registers);
        rows.push_back({measured ? QString::number(round.TestNumber) : QStringLiteral("…"),
                        SettingText(written, plan.Rows[0], motor),
                        plan.Search ? SettingText(written, plan.Rows[1], motor) : QString(),
                        ki ? SettingText(written, KI, motor) : QString(),
                        p ? Spread(p->Overshoot, p->OvershootSd) : QStringLiteral("-"),
                        measured ? FloatToText(round.Overshoot) : QString(),
                        p ? Spread(p->Integral, p->IntegralSd) : QStringLiteral("-"),
                        measured ? FloatToText(float(round.Score)) : QString(),
                        !measured            ? QStringLiteral("trwa")
                        : best && *best == i ? QStringLiteral("★ najlepszy")
                                             : VerdictText(round)});
    }
    return rows;
}

QString KiChangeText(double startKi, const TRegisterValues& result, const TMotorData& motor) {
    if (std::isnan(startKi))
        return {};
    // The start as a register shows it: it was read as one, to six digits.
    const QString from = FloatToText(startKi);
    const QString to = SettingText(TKnownSettings::All(result), KI, motor);
    return from == to ? QString() : QStringLiteral("KI %1 → %2").arg(from, to);
}
