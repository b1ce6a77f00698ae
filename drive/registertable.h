#pragma once

#include "common/errors.h"
#include "drive/motordata.h"

#include <QString>
#include <array>
#include <cstdint>

// The nine controller registers: each row converts between the drive's integer register and its figure
// in engineering units. Conversions run in extended
// precision with every division, overflow and truncation checked (common/numtext.h), so a fault ends
// the operation with one of the errors of common/errors.h.

// The rows, top to bottom on the page; the settings write sends them in this order.
enum TSettingRow : int { KV, KP, KD, KI, KG, LimitV, LimitM, Vj, aj, SettingCount };

// The nine settings as numbers, each with the text it was given as, indexed by TSettingRow.
using TSettingNumbers = std::array<TFigure, SettingCount>;

// One register for each row.
constexpr int RegisterCount = SettingCount;

// The register values by register number, P0..P8.
using TRegisterValues = std::array<std::int32_t, RegisterCount>;

// A figure that converts to a register value the drive cannot hold.
class ERegisterRange : public EKelmorError {
public:
    using EKelmorError::EKelmorError;
};

struct TRegisterRow {
    int Register;    // n of the register Pn
    const char* Key; // stable ASCII name, as in parameter files
    // On screen, UTF-8: the label left of the field, as the history's columns are headed too, and the
    // caption right of it, its bracket giving the unit, spaced as the page was drawn.
    const char* Label;
    const char* Caption;
    const char* DefaultText; // written with a comma; LocalDecimalText gives the running locale's form
    const char* Unit;        // of the figure; "" for none
    std::int32_t Largest;    // the register holds -Largest .. Largest
    // The figure for register value r. kv is the KV the figure goes with, which Limit V uses.
    long double (*ToShown)(std::int32_t r, const TMotorData& motor, const TFigure& kv);
    // The register value for the figure, truncated toward zero. Numbers are taken in the order in
    // which the formula names them, so the first that is none is the one reported.
    std::int32_t (*ToRegister)(const TFigure& figure, const TMotorData& motor, const TFigure& kv);
};

// Each row once, each register once.
extern const std::array<TRegisterRow, SettingCount>& RegisterTable;

// A row's label, as a text.
QString SettingLabel(TSettingRow row);

// The nine defaults, made in the running locale.
TSettingNumbers DefaultSettings();

// The speed of a feed move in drive units, on the scale of Vj: speed [1/min] × pulses per revolution
// / 117, truncated toward zero, and at least 1. Both are taken as decimals.
std::int32_t FeedSpeed(const TFigure& speed, const TFigure& pulses);
