#include "ui/steppage/steppage.h"

#include "ui_steppage.h"

TStepPage::TStepPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TStepPage>()) {
    ui->setupUi(this);
}

TStepPage::~TStepPage() = default;

void TStepPage::Attach(TDeviceSlot& slot) {
    FSlot = &slot;
}
