#include "drive/registertable.h"

#include "common/errors.h"
#include "common/numtext.h"

#include <limits>

namespace {

// The gains are fixed-point numbers with eight fractional bits.
constexpr long double GainScale = 256;
constexpr long double LimitMScale = 5.12L;
// One speed unit is 117/E rev/min, one acceleration unit 23400/E rev/min/s.
constexpr int SpeedUnit = 117;
constexpr int AccelerationUnit = 23400;
// 256 × 7680000, so that the two KG conversions are exact inverses.
constexpr long double EmfScale = 7680000;
constexpr long double EmfReadScale = 1966080000;
constexpr std::int32_t LimitVScale = 30000;

long double GainShown(std::int32_t r, const TMotorData&, const TFigure&) {
    return Divide(r, GainScale);
}

std::int32_t GainRegister(const TFigure& figure, const TMotorData&, const TFigure&) {
    return TruncToInt32(Multiply(figure.Decimal(), GainScale));
}

long double KvShown(std::int32_t r, const TMotorData&, const TFigure&) {
    return Multiply(r, 0.00390625L);
}

long double KgShown(std::int32_t r, const TMotorData& motor, const TFigure&) {
    const long double n = motor.RatedSpeed.Decimal();
    const std::int32_t e = motor.EncoderPulses.Whole();
    const long double us = motor.SupplyVoltage.Decimal();
    const long double un = motor.RatedVoltage.Decimal();
    return Divide(Multiply(Multiply(Multiply(n, r), e), us), Multiply(un, EmfReadScale));
}

std::int32_t KgRegister(const TFigure& figure, const TMotorData& motor, const TFigure&) {
    const long double kg = figure.Decimal();
    const long double un = motor.RatedVoltage.Decimal();
    const long double n = motor.RatedSpeed.Decimal();
    const long double us = motor.SupplyVoltage.Decimal();
    const std::int32_t e = motor.EncoderPulses.Whole();
    return TruncToInt32(
        Divide(Multiply(Multiply(Multiply(kg, GainScale), EmfScale), un), Multiply(Multiply(n, us), e)));
}

// The drive's own arithmetic forms R × 30000 in 32 bits; a register beyond that has no figure.
constexpr std::int32_t LargestLimitV = std::numeric_limits<std::int32_t>::max() / LimitVScale;

long double LimitVShown(std::int32_t r, const TMotorData& motor, const TFigure& kvFigure) {
    if (r > LargestLimitV || r < -LargestLimitV)
        throw EOverflow();
    const std::int32_t e = motor.EncoderPulses.Whole();
    const long double kv = kvFigure.Decimal();
    return Divide(r * LimitVScale, Multiply(e, kv));
}

std::int32_t LimitVRegister(const TFigure& figure, const TMotorData& motor, const TFigure& kvFigure) {
    const long double limit = figure.Decimal();
    const long double kv = kvFigure.Decimal();
    const std::int32_t e = motor.EncoderPulses.Whole();
    const std::int32_t r = TruncToInt32(Divide(Multiply(Multiply(limit, kv), e), LimitVScale));
    // What Kelmor could not read back is not written either.
    if (r > LargestLimitV || r < -LargestLimitV)
        throw ERegisterRange(
            QStringLiteral("Limit V '%1' is more than the drive can hold (its register at most "
                           "%2 either way)")
                .arg(figure.Text())
                .arg(LargestLimitV));
    return r;
}

long double LimitMShown(std::int32_t r, const TMotorData&, const TFigure&) {
    return Multiply(r, 0.1953125L);
}

std::int32_t LimitMRegister(const TFigure& figure, const TMotorData&, const TFigure&) {
    return TruncToInt32(Multiply(figure.Decimal(), LimitMScale));
}

template <int Unit> long double PerPulseShown(std::int32_t r, const TMotorData& motor, const TFigure&) {
    return Divide(Multiply(r, Unit), motor.EncoderPulses.Decimal());
}

template <int Unit>
std::int32_t PerPulseRegister(const TFigure& figure, const TMotorData& motor, const TFigure&) {
    const long double value = figure.Decimal();
    return TruncToInt32(Divide(Multiply(value, motor.EncoderPulses.Decimal()), Unit));
}

constexpr std::int32_t Int32 = std::numeric_limits<std::int32_t>::max();

} // namespace

namespace {

constexpr std::array<TRegisterRow, SettingCount> Rows = {{
    {1, "KV", "KV", "[    ]     Wzmocnienie sprzężenia zwrotnego prędkosci.", "4,0", "", Int32, KvShown,
     GainRegister},
    {2, "KP", "KP", "[    ]     Wzmocnienie składnika P (Proporcjonalnego)", "3,0", "", Int32, GainShown,
     GainRegister},
    {3, "KD", "KD", "[    ]     Wzmocnienie składnika D (Różniczkującego)", "0", "", Int32, GainShown,
     GainRegister},
    {4, "KI", "KI", "[    ]     Wzmocnienie składnika I (Całkującego)", "0,4", "", Int32, GainShown,
     GainRegister},
    {6, "KG", "KG", "[    ]     Wzmocnienie kompensacji SEM silnika.", "0,3", "", Int32, KgShown, KgRegister},
    {0, "LimitV", "Limit V", "[1/min]     Ograniczenie prędkosci reakcji regulatora.", "3200", "1/min",
     LargestLimitV, LimitVShown, LimitVRegister},
    {5, "LimitM", "Limit M", "[ %  ]     Ograniczenie prądu i momentu silnika (PWM)", "75", "%", Int32,
     LimitMShown, LimitMRegister},
    {7, "Vj", "Vj", "[1/min]          Prędkosc ruchu jałowego G0 (diagnostyka).", "3000", "1/min", Int32,
     PerPulseShown<SpeedUnit>, PerPulseRegister<SpeedUnit>},
    {8, "aj", "aj", "[1/(min*s) ]    Przyspieszenie / hamowanie ruchu jałowego G0 (diagnostyka).", "3000",
     "1/(min*s)", Int32, PerPulseShown<AccelerationUnit>, PerPulseRegister<AccelerationUnit>},
}};

// Values are kept by register number: every register P0 .. P8 has one row, so that a row's register
// and a register's row both find each other.
constexpr bool EachRegisterOnce() {
    std::array<int, RegisterCount> rows{};
    for (const TRegisterRow& row : Rows)
        if (row.Register < 0 || row.Register >= RegisterCount || rows[std::size_t(row.Register)]++ > 0)
            return false;
    return true;
}
static_assert(EachRegisterOnce());

} // namespace

const std::array<TRegisterRow, SettingCount>& RegisterTable = Rows;

QString SettingLabel(TSettingRow row) {
    return QString::fromUtf8(RegisterTable[std::size_t(row)].Label);
}

TSettingNumbers DefaultSettings() {
    TSettingNumbers settings;
    for (int row = 0; row < SettingCount; ++row)
        settings[std::size_t(row)] = TFigure(LocalDecimalText(RegisterTable[std::size_t(row)].DefaultText));
    return settings;
}

std::int32_t FeedSpeed(const TFigure& speedFigure, const TFigure& pulsesFigure) {
    const long double speed = speedFigure.Decimal();
    const long double pulses = pulsesFigure.Decimal();
    // The feed move multiplies by the reciprocal where Vj divides; both give the same scale.
    const long double units = Multiply(Multiply(speed, pulses), 1.0L / SpeedUnit);
    return units < 1 ? 1 : TruncToInt32(units);
}
