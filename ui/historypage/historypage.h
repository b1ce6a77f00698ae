#pragma once

#include "drive/drivemodel.h"
#include "ui/deviceview/showntests.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <vector>

namespace Ui {
class THistoryPage;
}
class THistoryModel;

// The tab "Historia": the device's step tests, a row each with the settings it ran under and its
// figures, a tick per row for the plot, and the commands on the chosen rows: show them on the plot,
// remove them, save their samples as CSV; and the whole history saved to or added from a session
// file.
class THistoryPage : public QWidget {
    Q_OBJECT

public:
    explicit THistoryPage(QWidget* parent = nullptr);
    ~THistoryPage() override;

    // Binds the page to the device's model and the window's choice of tests shown; the device window
    // calls it once, at its start.
    void Attach(TDriveModel& model, TShownTests& shown);

    void ShowChosen();
    void RemoveChosen();
    void SaveCsv();
    void SaveSession();
    void LoadSession();

signals:
    // "Raport…": the device window writes the report.
    void ReportAsked();

private:
    // The numbers of the selected rows' tests, oldest first.
    std::vector<int> Chosen() const;
    QString Choose(const QString& caption, bool save, const QString& filter, const QString& suffix);

    std::unique_ptr<Ui::THistoryPage> ui;
    QPointer<TDriveModel> FModel;
    QPointer<TShownTests> FShown;
    THistoryModel* FTable = nullptr;
    // Where the last file was chosen, so the next dialog opens there.
    QString FFolder;
};
