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
