#include "ui/tuningdialog/roundstable.h"

#include "common/numtext.h"

#include <QTableWidget>
#include <QTableWidgetItem>

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
        text += QStringLiteral(" (KP o oktawę niżej)");
    return text;
}

// A prediction with its spread, "9,50 ± 1,20".
QString Spread(double mean, double sd) {
    return FloatToText(float(mean)) + QStringLiteral(" ± ") + FloatToText(float(sd));
}

} // namespace

void FillRoundsTable(QTableWidget& table, const TTuningRunner& runner, const TMotorData& motor) {
    const std::vector<TTuningRound>& rounds = runner.Rounds();
    const std::optional<std::size_t> best = runner.Best();
    const TTuningPlan& plan = runner.Plan();
    table.setRowCount(int(rounds.size()));
    for (std::size_t i = 0; i < rounds.size(); ++i) {
        const TTuningRound& round = rounds[i];
        const bool measured = round.TestNumber > 0;
        const bool isBest = best && *best == i;
        const std::optional<TTunerPrediction>& p = round.Predicted;
        // What the drive was given, not the gain asked for: "3,89", not "3,89052".
        const TKnownSettings written = TKnownSettings::All(round.Registers);
        const QString texts[] = {measured ? QString::number(round.TestNumber) : QStringLiteral("…"),
                                 SettingText(written, plan.Rows[0], motor),
                                 plan.Search ? SettingText(written, plan.Rows[1], motor) : QString(),
                                 p ? Spread(p->Overshoot, p->OvershootSd) : QStringLiteral("-"),
                                 measured ? FloatToText(round.Overshoot) : QString(),
                                 p ? Spread(p->Integral, p->IntegralSd) : QStringLiteral("-"),
                                 measured ? FloatToText(float(round.Score)) : QString(),
                                 !measured ? QStringLiteral("trwa")
                                 : isBest  ? QStringLiteral("★ najlepszy")
                                           : VerdictText(round)};
        for (int column = 0; column < int(std::size(texts)); ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            QFont font = item->font();
            font.setBold(isBest);
            item->setFont(font);
            table.setItem(int(i), column, item);
        }
    }
}
