#include "ui/tuningdialog/roundstable.h"

#include <QTableWidget>
#include <QTableWidgetItem>

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

// Each sentence ends with its test, and KI's change, where there is one, after it.
QString ResultText(const TTuningResult& result, int test, const QString& ki) {
    const QString end = ki.isEmpty() ? QStringLiteral(".") : QStringLiteral(" (%1).").arg(ki);
    switch (result.Kind) {
    case TTuningResult::BackedOff:
        return QStringLiteral("; „Zastosuj” wpisze nastawy po cofnięciu KP, sprawdzone testem %1%2")
            .arg(test)
            .arg(end);
    case TTuningResult::BackOffUnsafe:
        return QStringLiteral("; cofnięcia KP model nie uznał za bezpieczne, więc „Zastosuj” wpisze "
                              "najlepszy test %1%2")
            .arg(test)
            .arg(end);
    case TTuningResult::BackOffFailed:
        return QStringLiteral("; cofnięcie KP nie spełniło kryterium, więc „Zastosuj” wpisze najlepszy "
                              "test %1%2")
            .arg(test)
            .arg(end);
    default:
        return QStringLiteral("; „Zastosuj” wpisze nastawy testu %1%2").arg(test).arg(end);
    }
}
