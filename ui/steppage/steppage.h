#pragma once

#include "drive/stepfigures.h"
#include "link/deviceslot.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class TStepPage;
}

// The tab "Skok jednostkowy": the unit-step test, its figures and its plot. The plot piles up test
// after test until "CLS"; its context menu saves it as PNG and the last test as CSV.
class TStepPage : public QWidget {
    Q_OBJECT

public:
    explicit TStepPage(QWidget* parent = nullptr);
    ~TStepPage() override;

    // Binds the page to the device it commands; the device window calls it once, at its start.
    void Attach(TDeviceSlot& slot);

    // "Wykonaj": measures, shows the figures and adds the test to the plot.
    void RunStepTest();
    // "CLS": a plain surface in a one-pixel black frame; the figures stay.
    void ClearPlot();
    void SavePlot();
    void SaveData();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowTest(const TStepRecord& record);
    // The file chosen in a save dialog; empty when cancelled.

    std::unique_ptr<Ui::TStepPage> ui;
    QPointer<TDeviceSlot> FSlot;
    std::optional<TStepRecord> FLastTest;
};
