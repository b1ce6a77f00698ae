#pragma once

#include "common/errors.h"
#include "drive/motordata.h"

#include <QString>
#include <array>
#include <cstdint>

// The nine controller registers as the settings page shows them: each row converts between the
// drive's integer register and the field's figure in engineering units. Conversions run in extended
// precision with every division, overflow and truncation checked (common/numtext.h), so a fault ends
// the operation with one of the errors of common/errors.h.

// The rows, top to bottom on the page; the settings write sends them in this order.
enum TSettingRow : int { KV, KP, KD, KI, KG, LimitV, LimitM, Vj, aj, SettingCount };

// The nine field texts, indexed by TSettingRow.
using TSettingTexts = std::array<QString, SettingCount>;

// The register values by register number, P0..P8.
using TRegisterValues = std::array<std::int32_t, SettingCount>;

// A figure that converts to a register value the drive cannot hold.
class ERegisterRange : public EKelmorError {
public:
    using EKelmorError::EKelmorError;
};

struct TRegisterRow {
    int Register;            // n of the register Pn
    const char* Key;         // stable ASCII name, as in parameter files
    const char* Label;       // UTF-8, left of the field
    const char* Caption;     // UTF-8, right of the field, its bracket giving the unit
    const char* DefaultText; // written with a comma; LocalDecimalText gives the running locale's form
    const char* Unit;        // of the figure, as the caption's bracket gives it; "" for none
    std::int32_t Largest;    // the register holds -Largest .. Largest
    // The figure shown for register value r. kvText is the text of the KV field, which Limit V uses.
    long double (*ToShown)(std::int32_t r, const TMotorData& motor, const QString& kvText);
    // The register value for the field's text, truncated toward zero. Texts are read in the order
    // in which the formula names them, so the first bad one is the one reported.
    std::int32_t (*ToRegister)(const QString& text, const TMotorData& motor, const QString& kvText);
};

extern const std::array<TRegisterRow, SettingCount> RegisterTable;

// The nine default texts, in the running locale's form.
TSettingTexts DefaultSettingTexts();

// The speed of a feed move in drive units, on the scale of Vj: speed [1/min] × pulses per revolution
// / 117, truncated toward zero, and at least 1. Both texts are read as numbers.
std::int32_t FeedSpeed(const QString& speedText, const QString& encoderText);
