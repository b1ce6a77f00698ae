#pragma once

#include "common/numtext.h"

#include <QString>
#include <array>

// The motor's rated data, as numbers (each with the text it was given as). Un, N, Us and E take part in
// conversions; E is taken as a whole number for KG and Limit V and as a decimal for Vj, aj and the feed.
struct TMotorData {
    TFigure RatedVoltage;      // Un [V]
    TFigure WindingResistance; // [ohm]
    TFigure RatedSpeed;        // N [1/min]
    TFigure RatedCurrent;      // [A]
    TFigure SupplyVoltage;     // Us [V]
    TFigure EncoderPulses;     // E, pulses per revolution
};

// One field of the motor data, as the tab lays them out and parameter files name them.
struct TMotorField {
    const char* Key;         // stable ASCII name, as in parameter files; the tab's edit is named after it
    const char* DefaultText; // written with a comma; LocalDecimalText gives the running locale's form
    TFigure TMotorData::*Number;
};

constexpr int MotorFieldCount = 6;

extern const std::array<TMotorField, MotorFieldCount> MotorFieldTable;

// The data every drive model starts with, made in the running locale.
TMotorData DefaultMotorData();
