#pragma once

#include "drive/drivemodel.h"
#include "plot/canvas.h"
#include "ui/deviceview/showntests.h"

#include <QAbstractTableModel>
#include <QPointer>

// A device's step tests as a table, one row per test, oldest first: a tick to show it on the
// plot with its number, when it ran, the step, the nine settings it ran under ("?" where not known),
// its figures and the samples received.
class THistoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    THistoryModel(TDriveModel& model, TShownTests& shown, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The test of a row.
    const TTestRecord& Test(int row) const;

private:
    QString Text(const TTestRecord& test, int column) const;
    // The colour of a row's test on the plot, which shows it.
    TColor PlotColor(int row) const;

    QPointer<TDriveModel> FModel;
    QPointer<TShownTests> FShown;
};
