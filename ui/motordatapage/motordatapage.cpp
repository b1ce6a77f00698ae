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

TMotorData TMotorDataPage::Texts() const {
    return {ui->ratedVoltageEdit->text(), ui->windingResistanceEdit->text(), ui->ratedSpeedEdit->text(),
            ui->ratedCurrentEdit->text(), ui->supplyVoltageEdit->text(),     ui->encoderPulsesEdit->text()};
}

void TMotorDataPage::SetTexts(const TMotorData& texts) {
    ui->ratedVoltageEdit->setText(texts.RatedVoltage);
    ui->windingResistanceEdit->setText(texts.WindingResistance);
    ui->ratedSpeedEdit->setText(texts.RatedSpeed);
    ui->ratedCurrentEdit->setText(texts.RatedCurrent);
    ui->supplyVoltageEdit->setText(texts.SupplyVoltage);
    ui->encoderPulsesEdit->setText(texts.EncoderPulses);
}
