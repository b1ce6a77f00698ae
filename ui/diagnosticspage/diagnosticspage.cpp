#include "ui/diagnosticspage/diagnosticspage.h"

#include "ui_diagnosticspage.h"

TDiagnosticsPage::TDiagnosticsPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TDiagnosticsPage>()) {
    ui->setupUi(this);
}

TDiagnosticsPage::~TDiagnosticsPage() = default;

void TDiagnosticsPage::Attach(TDeviceSlot& slot) {
    FSlot = &slot;
}

void TDiagnosticsPage::ReturnToZero() {}
