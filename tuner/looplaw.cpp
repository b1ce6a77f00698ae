#include "tuner/looplaw.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double KPwmFullScale = 512;
constexpr double KIntegralScale = 32;
constexpr double KVelocityLoopGain = 4;
// A cascade's speed error in Limit V's units per pulse a period: KV's default then gives the same loop
// as the feedback arrangement.
constexpr double KCascadeSpeedUnit = 16;

double Clamp(double value, double limit) {
    limit = std::max(limit, 0.0);
    return std::clamp(value, -limit, limit);
}

} // namespace

double TLoopLawState::Duty(const TLoopRegisters& r, const TLoopLaw& law, double reference, double count) {
    // At rest on the old reference before the step: no speed, no error.
    if (!FStarted) {
        FCounts.fill(count);
        FStarted = true;
    }
    const int periods = std::clamp(law.SpeedPeriods, 1, 3);
    const double velocity = (count - FCounts[std::size_t(periods - 1)]) / periods;
    const double moved = count - FCounts[0];
    FCounts = {count, FCounts[0], FCounts[1]};
    const double error = reference - count;
    const double integral = FIntegral + error;
    const double derivative = law.DOnPosition ? -moved : error - FPreviousError;
    const double output =
        law.PositionScale *
        (r[2] * error + law.IntegralScale * r[4] * integral / KIntegralScale + r[3] * derivative) / 256;
    const double speedReference = Clamp(output, r[0]);
    // No integral is summed while the output is held at Limit V and the error pushes further into it.
    if (speedReference == output || (error > 0) != (output > 0))
        FIntegral = integral;
    FPreviousError = error;
    const double kv = law.SpeedScale * r[1];
    const double speedLoop = law.Cascade ? kv * (speedReference - KCascadeSpeedUnit * velocity) / 256
                                         : KVelocityLoopGain * (speedReference - kv * velocity / 64);
    const double duty = speedLoop + r[6] * velocity / 32;
    return Clamp(duty, std::min<double>(r[5], KPwmFullScale)) / KPwmFullScale;
}

TLoopLaw OtherArrangement(const TLoopLaw& law, std::int32_t kv) {
    // The reference reaches the duty cycle at four to one in the feedback arrangement, and at KV/256
    // in a cascade.
    const double cascadeGain = law.SpeedScale * std::max(kv, 1) / 256.0;
    TLoopLaw other = law;
    other.Cascade = !law.Cascade;
    other.PositionScale = law.Cascade ? law.PositionScale * cascadeGain / KVelocityLoopGain
                                      : law.PositionScale * KVelocityLoopGain / cascadeGain;
    return other;
}
