#include "drive/motordata.h"

#include "common/numtext.h"

const std::array<TMotorField, MotorFieldCount> MotorFieldTable = {{
    {"RatedVoltage", "12", &TMotorData::RatedVoltage},
    {"WindingResistance", "6", &TMotorData::WindingResistance},
    {"RatedSpeed", "4000", &TMotorData::RatedSpeed},
    {"RatedCurrent", "0,5", &TMotorData::RatedCurrent},
    {"SupplyVoltage", "12", &TMotorData::SupplyVoltage},
    {"EncoderPulses", "500", &TMotorData::EncoderPulses},
}};

TMotorData DefaultMotorData() {
    TMotorData motor;
    for (const TMotorField& field : MotorFieldTable)
        motor.*field.Number = TFigure(LocalDecimalText(field.DefaultText));
    return motor;
}
