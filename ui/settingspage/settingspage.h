#pragma once

#include "link/deviceslot.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace Ui {
class TSettingsPage;
}
class TMotorDataPage;

// The tab "Nastawy Regulatora": the controller settings in engineering units, their read-back and write, the
// register banks and parameter files.
class TSettingsPage : public QWidget {
    Q_OBJECT

public:
    explicit TSettingsPage(QWidget* parent = nullptr);
    ~TSettingsPage() override;

    // Binds the page to the device it commands; the device window calls it once, at its start.
    void Attach(TDeviceSlot& slot, TMotorDataPage& motorData);

private:
    std::unique_ptr<Ui::TSettingsPage> ui;
    QPointer<TDeviceSlot> FSlot;
    TMotorDataPage* FMotorData = nullptr;
};
