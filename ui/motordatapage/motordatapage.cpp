#include "ui/motordatapage/motordatapage.h"

#include "ui_motordatapage.h"

#include <QLocale>

TMotorDataPage::TMotorDataPage(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TMotorDataPage>()) {
    ui->setupUi(this);
    // The readers parse with the running locale's decimal separator, so the default must use it.
    ui->ratedCurrentEdit->setText(QStringLiteral("0") + QLocale().decimalPoint() + QStringLiteral("5"));
}

TMotorDataPage::~TMotorDataPage() = default;

QLineEdit* TMotorDataPage::RatedVoltage() const {
    return ui->ratedVoltageEdit;
}
QLineEdit* TMotorDataPage::RatedSpeed() const {
    return ui->ratedSpeedEdit;
}
QLineEdit* TMotorDataPage::SupplyVoltage() const {
    return ui->supplyVoltageEdit;
}
QLineEdit* TMotorDataPage::EncoderPulses() const {
    return ui->encoderPulsesEdit;
}
