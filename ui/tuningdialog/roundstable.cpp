#include "ui/tuningdialog/roundstable.h"

#include "common/numtext.h"
#include "ui/settingspage/settingtexts.h"

#include <QTableWidget>
#include <QTableWidgetItem>
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

void FillRoundsTable(QTableWidget& table, const TTuningRunner& runner, const TMotorData& motor) {
    const std::optional<std::size_t> best = runner.Best();
    const std::vector<TRoundTexts> rows = RoundTexts(runner.Plan(), runner.Rounds(), best, motor);
    table.setRowCount(int(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int column = 0; column < RoundColumns; ++column) {
            auto* item = new QTableWidgetItem(rows[i][std::size_t(column)]);
            QFont font = item->font();
            font.setBold(best && *best == i);
            item->setFont(font);
            table.setItem(int(i), column, item);
        }
}

namespace {

TMapVerdict MapVerdict(TRoundVerdict verdict) {
    switch (verdict) {
    case TRoundVerdict::Eligible:
        return TMapVerdict::Eligible;
    case TRoundVerdict::Overshoot:
        return TMapVerdict::Overshoot;
    default:
        return TMapVerdict::Other;
    }
}

} // namespace

QString KiChangeText(double startKi, const TRegisterValues& result, const TMotorData& motor) {
    if (std::isnan(startKi))
        return {};
    // The start as a register shows it: it was read as one, to six digits.
    const QString from = FloatToText(startKi);
    const QString to = SettingText(TKnownSettings::All(result), KI, motor);
    return from == to ? QString() : QStringLiteral("KI %1 → %2").arg(from, to);
}

TTuningMap RunMap(const TTuningRecord& run, const TMotorData& motor) {
    const TTuningPlan& plan = run.Plan;
    TTuningMap map;
    map.Labels = {SettingLabel(plan.Rows[0]), SettingLabel(plan.Rows[1])};
    map.Lowest = plan.Lowest;
    map.Highest = plan.Highest;
    map.Start = run.StartGains;
    map.HasStart = true;
    map.Limit = plan.Criterion.OvershootLimit;
    const bool ki = SearchesKi(plan);
    for (std::size_t i = 0; i < run.Rounds.size(); ++i) {
        const TTuningRound& round = run.Rounds[i];
        if (round.TestNumber == 0)
            continue;
        if (run.Best && *run.Best == i)
            map.Best = int(map.Points.size());
        map.Points.push_back({round.Gains, round.TestNumber, MapVerdict(round.Verdict),
                              ki ? SettingText(TKnownSettings::All(round.Registers), KI, motor) : QString()});
    }
    if (run.PredictedOvershoot.size() == std::size_t(TuningMapCells * TuningMapCells)) {
        map.Columns = map.Rows = TuningMapCells;
        map.Overshoot = run.PredictedOvershoot;
    }
    return map;
}
