#pragma once

#include "link/deviceslot.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace Ui {
class TStepPage;
}

// The tab "Skok jednostkowy": the unit-step test, its figures and its plot.
class TStepPage : public QWidget {
    Q_OBJECT

public:
    explicit TStepPage(QWidget* parent = nullptr);
    ~TStepPage() override;

    // Binds the page to the device it commands; the device window calls it once, at its start.
    void Attach(TDeviceSlot& slot);

private:
    std::unique_ptr<Ui::TStepPage> ui;
    QPointer<TDeviceSlot> FSlot;
};
