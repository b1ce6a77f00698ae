#include "ui/settingspage/settingspage.h"

#include "ui_settingspage.h"

TSettingsPage::TSettingsPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TSettingsPage>()) {
    ui->setupUi(this);
}

TSettingsPage::~TSettingsPage() = default;

void TSettingsPage::Attach(TDeviceSlot& slot, TMotorDataPage& motorData) {
    FSlot = &slot;
    FMotorData = &motorData;
}
