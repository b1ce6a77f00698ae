#pragma once

#include <QString>
#include <array>

// The texts of the motor data tab. Un, N, Us and E take part in conversions; E is read as an integer
// for KG and Limit V and as a number for Vj and aj.
struct TMotorData {
    QString RatedVoltage;      // Un [V]
    QString WindingResistance; // [ohm]
    QString RatedSpeed;        // N [1/min]
    QString RatedCurrent;      // [A]
    QString SupplyVoltage;     // Us [V]
    QString EncoderPulses;     // E, pulses per revolution
};

// One field of the motor data, as the tab lays them out and parameter files name them.
struct TMotorField {
    const char* Key;         // stable ASCII name, as in parameter files; the tab's edit is named after it
    const char* DefaultText; // written with a comma; LocalDecimalText gives the running locale's form
    QString TMotorData::*Text;
};

constexpr int MotorFieldCount = 6;

extern const std::array<TMotorField, MotorFieldCount> MotorFieldTable;

// The texts every new device window starts with, in the running locale's form.
TMotorData DefaultMotorData();
