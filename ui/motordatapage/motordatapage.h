#pragma once

#include "drive/registertable.h"

#include <QWidget>
#include <memory>

namespace Ui {
class TMotorDataPage;
}

class QLineEdit;

// The tab "Dane serwosilnika": the motor's rated data, plain inputs that start at their defaults in
// every new device window and are read by the settings and manual-move pages.
class TMotorDataPage : public QWidget {
    Q_OBJECT

public:
    explicit TMotorDataPage(QWidget* parent = nullptr);
    ~TMotorDataPage() override;

    QLineEdit* RatedVoltage() const;  // ratedVoltageEdit, [V]
    QLineEdit* RatedSpeed() const;    // ratedSpeedEdit, [1/min]
    QLineEdit* SupplyVoltage() const; // supplyVoltageEdit, [V]
    QLineEdit* EncoderPulses() const; // encoderPulsesEdit, pulses per revolution

    // All six texts, as the conversions and parameter files take them.
    TMotorData Texts() const;
    void SetTexts(const TMotorData& texts);

private:
    std::unique_ptr<Ui::TMotorDataPage> ui;
};
