#include "common/numtext.h"
#include "drive/roundtexts.h"
#include "drive/registertable.h"
#include "plot/tuningmap.h"
#include "report/drawings.h"
#include "report/reportflow.h"
#include "report/reportsections.h"

#include <cmath>

namespace {

constexpr double KMapHeight = 300;

QString PlanText(const TTuningRecord& run) {
    const TTuningPlan& plan = run.Plan;
    if (!plan.Search)
        return QStringLiteral("Przegląd: %1 od %2 do %3, %4 wartości rozmieszczonych %5.")
            .arg(SettingLabel(plan.Rows[0]), GainText(plan.From), GainText(plan.To))
            .arg(plan.Steps)
            .arg(plan.Geometric ? QStringLiteral("geometrycznie") : QStringLiteral("równomiernie"));
    QString text =
        QStringLiteral("Poszukiwanie: %1 w granicach %2 … %3 i %4 w granicach %5 … %6, najwyżej %7 testów, "
                       "od %1 %8 i %4 %9 odczytanych z napędu.")
            .arg(SettingLabel(plan.Rows[0]), GainText(plan.Lowest[0]), GainText(plan.Highest[0]),
                 SettingLabel(plan.Rows[1]), GainText(plan.Lowest[1]), GainText(plan.Highest[1]))
            .arg(plan.MaxTests)
            .arg(GainText(run.StartGains[0]), GainText(run.StartGains[1]));
    if (SearchesKi(plan))
        text += std::isnan(run.StartKi)
                    ? QStringLiteral(" KI obniżane najwyżej do %1.").arg(GainText(*plan.KiFloor))
                    : QStringLiteral(" KI obniżane od %1 najwyżej do %2.")
                          .arg(GainText(run.StartKi), GainText(*plan.KiFloor));
    return text;
}

QString CriterionText(const TTuningPlan& plan) {
    QString text =
        QStringLiteral("Skok: %1 impulsów, pomiar %2 ms. Kryterium: przeregulowanie najwyżej %3 %, "
                       "odpowiedź w paśmie ±5 % do końca pomiaru, a z takich testów najmniejsza "
                       "całka uchybu podzielona przez amplitudę.")
            .arg(plan.Amplitude.Text(), plan.Time.Text(), FloatToText(float(plan.Criterion.OvershootLimit)));
    if (plan.Criterion.BackOffPercent > 0)
        text += QStringLiteral(" Zalecane KP cofnięte o %1 %.")
                    .arg(FloatToText(float(plan.Criterion.BackOffPercent)));
    return text;
}

QString RecommendationText(const TTuningRecord& run, const TMotorData& motor) {
    if (!run.Result)
        return QStringLiteral("Żaden test nie spełnił kryterium: strojenie nie daje zalecenia.");
    const TTuningResult& result = *run.Result;
    const TKnownSettings settings = TKnownSettings::All(result.Registers);
    QStringList gains;
    for (std::size_t i = 0; i < (run.Plan.Search ? 2u : 1u); ++i)
        gains << SettingLabel(run.Plan.Rows[i]) + QLatin1Char(' ') +
                     SettingText(settings, run.Plan.Rows[i], motor);
    if (const QString ki = KiChangeText(run.StartKi, result.Registers, motor); !ki.isEmpty())
        gains << ki;
    QString text = QStringLiteral("Zalecenie: %1, nastawy testu %2")
                       .arg(gains.join(QStringLiteral(", ")))
                       .arg(run.Rounds[result.Round].TestNumber);
    switch (result.Kind) {
    case TTuningResult::BackedOff:
        text += QStringLiteral(" (najlepszy test po cofnięciu KP, sprawdzony tym testem).");
        break;
    case TTuningResult::BackOffFailed:
        text += QStringLiteral(" (najlepszy test; cofnięcie KP nie spełniło kryterium).");
        break;
    case TTuningResult::BackOffUnsafe:
        text += QStringLiteral(" (najlepszy test; cofnięcia KP model nie uznał za bezpieczne).");
        break;
    default:
        text += QLatin1Char('.');
        break;
    }
    if (run.Plan.Search && !result.Confirmed)
        text += QStringLiteral(" Nie potwierdzono go powtórką.");
    text += run.Applied ? QStringLiteral(" „Zastosuj” wpisał te nastawy do napędu.")
                        : QStringLiteral(" „Zastosuj” ich nie wpisał.");
    return text;
}

// The rounds, one a row, the best in bold: a sweep's without a second gain and without predictions.
void RoundsTable(TReportFlow& flow, const TTuningRecord& run, const TMotorData& motor) {
    const TTuningPlan& plan = run.Plan;
    const std::vector<std::pair<TRoundColumn, QString>> shown = [&] {
        std::vector<std::pair<TRoundColumn, QString>> columns = {
            {TestColumn, QStringLiteral("Test")}, {FirstGainColumn, SettingLabel(plan.Rows[0])}};
        if (plan.Search)
            columns.push_back({SecondGainColumn, SettingLabel(plan.Rows[1])});
        if (SearchesKi(plan))
            columns.push_back({KiColumn, SettingLabel(KI)});
        if (plan.Search)
            columns.push_back({PredictedOvershootColumn, QStringLiteral("Przereg. przewidziane [%]")});
        columns.push_back({OvershootColumn, QStringLiteral("Przereg. [%]")});
        if (plan.Search)
            columns.push_back({PredictedScoreColumn, QStringLiteral("Całka/A przewidziana [ms]")});
        columns.insert(columns.end(), {{ScoreColumn, QStringLiteral("Całka/A [ms]")},
                                       {VerdictColumn, QStringLiteral("Ocena")}});
        return columns;
    }();
    // The predictions with their spreads are the widest figures; the verdict takes what is left. A KI
    // column takes its room from the figures, so that the verdict keeps its own.
    const bool ki = SearchesKi(plan);
    const auto share = [ki](TRoundColumn column) {
        switch (column) {
        case TestColumn:
            return 0.06;
        case FirstGainColumn:
        case SecondGainColumn:
            return 0.1;
        case KiColumn:
            return 0.07;
        case PredictedOvershootColumn:
        case PredictedScoreColumn:
            return ki ? 0.13 : 0.15;
        default:
            return ki ? 0.1 : 0.12;
        }
    };
    std::vector<TReportFlow::TColumn> columns;
    double used = 0;
    for (const auto& [column, header] : shown)
        if (column != VerdictColumn) {
            columns.push_back({header, share(column)});
            used += share(column);
        }
    columns.push_back({shown.back().second, 1 - used});
    std::vector<std::vector<QString>> rows;
    for (const TRoundTexts& texts : RoundTexts(plan, run.Rounds, run.Best, motor)) {
        rows.emplace_back();
        for (const auto& [column, header] : shown)
            rows.back().push_back(texts[std::size_t(column)]);
    }
    flow.Table(columns, rows, [&](std::size_t row) { return run.Best && *run.Best == row; });
}

} // namespace

void ReportRun(TReportFlow& flow, const TReport& report) {
    flow.Heading(QStringLiteral("Ostatnie strojenie"));
    if (!report.Run) {
        flow.Paragraph(QStringLiteral("Raport nie obejmuje strojenia."));
        return;
    }
    const TTuningRecord& run = *report.Run;
    const TTuningPlan& plan = run.Plan;
    flow.Paragraph(PlanText(run));
    flow.Paragraph(CriterionText(plan));
    flow.Paragraph(QStringLiteral("Zakończone %1: %2.")
                       .arg(ReportTime(run.EndedAt),
                            run.EndReason.isEmpty() ? QStringLiteral("plan wykonany") : run.EndReason));
    RoundsTable(flow, run, report.Motor);
    if (plan.Search)
        flow.Drawing(KMapHeight, [&](QPainter& painter, double width) {
            DrawTuningMap(painter, QSize(int(width), int(KMapHeight)), RunMap(run, report.Motor));
        });
    flow.Paragraph(RecommendationText(run, report.Motor));
}
