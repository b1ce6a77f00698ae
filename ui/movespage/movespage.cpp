#include "ui/movespage/movespage.h"

#include "ui_movespage.h"

TMovesPage::TMovesPage(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TMovesPage>()) {
    ui->setupUi(this);
}

TMovesPage::~TMovesPage() = default;

void TMovesPage::Attach(TDeviceSlot& slot, TMotorDataPage& motorData) {
    FSlot = &slot;
    FMotorData = &motorData;
}
