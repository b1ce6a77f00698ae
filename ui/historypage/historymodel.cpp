#include "ui/historypage/historymodel.h"

#include "drive/registertable.h"
#include "plot/stepplot.h"

#include <QColor>
#include <QLocale>
#include <algorithm>

namespace {

// Columns before and after the nine settings.
enum TColumn : int { NumberColumn, TimeColumn, AmplitudeColumn, MeasurementColumn, FirstSettingColumn };
enum TFigureColumn : int {
    OvershootColumn,
    IntegralColumn,
    RiseColumn,
    SettlingColumn,
    SamplesColumn,
    FigureColumns
};
constexpr int FirstFigureColumn = int(FirstSettingColumn) + int(SettingCount);

QString FigureHeader(int figure) {
    switch (figure) {
    case OvershootColumn:
        return QStringLiteral("Przeregulowanie [%]");
    case IntegralColumn:
        return QStringLiteral("Całka [ms*krok]");
    case RiseColumn:
        return QStringLiteral("t 10–90 % [ms]");
    case SettlingColumn:
        return QStringLiteral("t ±5 % [ms]");
    default:
        return QStringLiteral("Próbki");
    }
}

} // namespace

THistoryModel::THistoryModel(TDriveModel& model, TShownTests& shown, QObject* parent)
    : QAbstractTableModel(parent), FModel(&model), FShown(&shown) {
    connect(&model.Tests(), &TStepTests::Changed, this, [this] {
        beginResetModel();
        endResetModel();
    });
    // Also the texts of the settings, which the motor data convert.
    connect(&model, &TDriveModel::MotorDataChanged, this, [this] {
        if (rowCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    });
    connect(&shown, &TShownTests::Changed, this, [this] {
        if (rowCount() > 0)
            emit dataChanged(index(0, NumberColumn), index(rowCount() - 1, NumberColumn),
                             {Qt::CheckStateRole, Qt::DecorationRole});
    });
}

int THistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FModel ? 0 : int(FModel->Tests().All().size());
}

int THistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FirstFigureColumn + FigureColumns;
}

TColor THistoryModel::PlotColor(int row) const {
    // The plot colours the tests shown by their place among them, oldest first.
    const std::vector<TTestRecord>& tests = FModel->Tests().All();
    const auto shown = [this](const TTestRecord& t) { return FShown->IsShown(t.Number); };
    const auto before = std::count_if(tests.begin(), tests.begin() + row, shown);
    return TestColor(int(before), int(std::count_if(tests.begin(), tests.end(), shown)));
}

const TTestRecord& THistoryModel::Test(int row) const {
    return FModel->Tests().All()[std::size_t(row)];
}

QString THistoryModel::Text(const TTestRecord& test, int column) const {
    switch (column) {
    case NumberColumn:
        return QString::number(test.Number);
    case TimeColumn:
        return QLocale().toString(test.RanAt.time(), QStringLiteral("HH:mm:ss"));
    case AmplitudeColumn:
        return QString::number(test.Step.Amplitude);
    case MeasurementColumn:
        return QString::number(test.TimeMs());
    default:
        break;
    }
    if (column < FirstFigureColumn)
        return SettingText(*test.Settings, TSettingRow(column - FirstSettingColumn), FModel->MotorData());
    const TStepTexts texts = StepTexts(test.Figures);
    switch (column - FirstFigureColumn) {
    case OvershootColumn:
        return texts.Overshoot;
    case IntegralColumn:
        return texts.Integral;
    case RiseColumn:
        return texts.RiseTime;
    case SettlingColumn:
        return texts.SettlingTime;
    default:
        return QStringLiteral("%1/%2").arg(ReceivedCount(test.Step)).arg(test.Step.SampleCount);
    }
}

QVariant THistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TTestRecord& test = Test(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return Text(test, index.column());
    case Qt::CheckStateRole:
        return index.column() == NumberColumn
                   ? QVariant(FShown->IsShown(test.Number) ? Qt::Checked : Qt::Unchecked)
                   : QVariant();
    case Qt::DecorationRole: {
        // The colour the test has on the plot; a test not shown has none, its colour would depend on
        // the tests shown with it.
        if (index.column() != NumberColumn || !FShown->IsShown(test.Number))
            return {};
        const TColor color = PlotColor(index.row());
        return QColor(RedOf(color), GreenOf(color), BlueOf(color));
    }
    case Qt::TextAlignmentRole:
        return index.column() == TimeColumn ? QVariant() : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (index.column() == TimeColumn)
            return QLocale().toString(test.RanAt, QLocale::LongFormat);
        if (index.column() >= FirstSettingColumn && index.column() < FirstFigureColumn &&
            test.Settings->At.isValid())
            return QStringLiteral("Nastawy z %1")
                .arg(QLocale().toString(test.Settings->At, QLocale::ShortFormat));
        return {};
    default:
        return {};
    }
}

QVariant THistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NumberColumn:
        return QStringLiteral("Nr");
    case TimeColumn:
        return QStringLiteral("Czas");
    case AmplitudeColumn:
        return QStringLiteral("Amplituda");
    case MeasurementColumn:
        return QStringLiteral("Pomiar [ms]");
    default:
        break;
    }
    if (section < FirstFigureColumn)
        return SettingLabel(TSettingRow(section - FirstSettingColumn));
    return FigureHeader(section - FirstFigureColumn);
}

Qt::ItemFlags THistoryModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.column() == NumberColumn ? flags | Qt::ItemIsUserCheckable : flags;
}

bool THistoryModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!FModel || !FShown || role != Qt::CheckStateRole || index.column() != NumberColumn ||
        index.row() >= rowCount())
        return false;
    FShown->SetShown(Test(index.row()).Number, value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}
