#pragma once

#include "drive/drivemodel.h"
#include "ui/deviceview/showntests.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class TStepPage;
}

// The tab "Skok jednostkowy": the unit-step test, the figures of the last one, and the plot of the
// session's tests ticked for it, drawn from their records whenever they change. Its context menu
// saves the plot as PNG and the last test as CSV.
class TStepPage : public QWidget {
    Q_OBJECT

public:
    explicit TStepPage(QWidget* parent = nullptr);
    ~TStepPage() override;

    // Binds the page to the device's model and the window's choice of tests shown; the device window
    // calls it once, at its start.
    void Attach(TDriveModel& model, TShownTests& shown);

    // "Wykonaj": measures, shows the figures and adds the test to the session and the plot.
    void RunStepTest();
    // "CLS": a plain surface in a one-pixel black frame; the tests stay in the history, unticked, and
    // the figures stay.
    void ClearPlot();
    // "Strojenie…": the tuning dialog, with the step of the entries.
    void OpenTuning();
    void SavePlot();
    void SaveData();

protected:
    void resizeEvent(QResizeEvent* event) override;

signals:
    // "Raport…": the device window writes the report.
    void ReportAsked();

private:
    void ShowFigures(const TTestRecord& test);
    // Draws the plot anew from the tests ticked for it.
    void Redraw();

    std::unique_ptr<Ui::TStepPage> ui;
    QPointer<TDriveModel> FModel;
    QPointer<TShownTests> FShown;
    // The number of the test whose figures are shown.
    std::optional<int> FLastTest;
    // "CLS" was clicked: the surface is framed from then on, as the wipe left it.
    bool FFramed = false;
    QPointer<QDialog> FTuning;
};
