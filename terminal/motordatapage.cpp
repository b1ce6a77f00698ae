#include "terminal/motordatapage.h"

#include "ui_motordatapage.h"

#include <QLocale>

TMotorDataPage::TMotorDataPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMotorDataPage>()) {
    ui->setupUi(this);
    // The readers parse with the running locale's decimal separator, so the default must use it.
    ui->MaskEdit13->setText(QStringLiteral("0") + QLocale().decimalPoint() + QStringLiteral("5"));
}

TMotorDataPage::~TMotorDataPage() = default;

QLineEdit* TMotorDataPage::RatedVoltage() const {
    return ui->MaskEdit10;
}
QLineEdit* TMotorDataPage::RatedSpeed() const {
    return ui->MaskEdit12;
}
QLineEdit* TMotorDataPage::SupplyVoltage() const {
    return ui->MaskEdit14;
}
QLineEdit* TMotorDataPage::EncoderPulses() const {
    return ui->MaskEdit15;
}
