#include "sim/controllaw.h"

#include <algorithm>
#include <cmath>

namespace {

// The integral is summed every period; this scale puts its corner well below the loop's crossover.
constexpr std::int64_t KIntegralScale = 32;
// The velocity error is counted in Limit V's unit (KV x 4 per pulse a period) and reaches the
// power stage in 1/128 of full PWM, four of Limit M's units.
constexpr std::int64_t KVelocityLoopGain = 4;
// A cascade's speed error in Limit V's units: 16 per pulse a period, as KV's default gives in the
// standard loop, so that at KV's default both arrangements are the same loop.
constexpr std::int64_t KCascadeSpeedUnit = 16;
// Bounded so that no product below can overflow, whatever the registers hold.
constexpr std::int64_t KMaxError = std::int64_t{1} << 24;
constexpr std::int64_t KMaxIntegral = std::int64_t{1} << 28;

std::int64_t Clamp(std::int64_t value, std::int64_t limit) {
    limit = std::max<std::int64_t>(limit, 0);
    return std::clamp(value, -limit, limit);
}

} // namespace

TRegisters Applied(const TRegisters& r, const TFirmware& firmware) {
    static constexpr int Gains[] = {1, 2, 3, 4, 6};
    TRegisters applied = r;
    for (std::size_t i = 0; i < firmware.Scales.size(); ++i)
        if (firmware.Scales[i] != 1)
            applied[std::size_t(Gains[i])] = std::int32_t(std::clamp(
                std::llround(r[std::size_t(Gains[i])] * firmware.Scales[i]), -(1LL << 30), 1LL << 30));
    return applied;
}

std::int64_t TPositionPid::Step(const TRegisters& r, const TFirmware& firmware, std::int64_t error,
                                std::int64_t moved) {
    error = std::clamp(error, -KMaxError, KMaxError);
    const std::int64_t integral = FIntegral + error;
    const std::int64_t change =
        firmware.DOnPosition ? -std::clamp(moved, -KMaxError, KMaxError) : error - FPreviousError;
    const std::int64_t sum = std::int64_t{r[2]} * error + std::int64_t{r[4]} * integral / KIntegralScale +
                             std::int64_t{r[3]} * change;
    const std::int64_t output = sum / 256;
    const std::int64_t limited = Clamp(output, r[0]);
    // Conditional integration: while the output is held at Limit V, an error that pushes further
    // into the limit is not summed, so the integral does not wind up during a long step.
    const bool windsUp = limited != output && (error > 0) == (output > 0);
    if (!windsUp)
        FIntegral = std::clamp(integral, -KMaxIntegral, KMaxIntegral);
    FPreviousError = error;
    return limited;
}

std::int64_t BackEmfCompensation(const TRegisters& r, TSpeed speed) {
    return std::int64_t{r[6]} * speed.Pulses / (32 * speed.Periods);
}

std::int64_t SpeedLoop(const TRegisters& r, const TFirmware& firmware, std::int64_t reference, TSpeed speed) {
    const std::int64_t periods = speed.Periods;
    const std::int64_t feedback =
        firmware.Cascade
            ? std::int64_t{r[1]} *
                  std::clamp(reference * periods - KCascadeSpeedUnit * speed.Pulses, -KMaxError, KMaxError) /
                  (256 * periods)
            : KVelocityLoopGain * (reference - std::int64_t{r[1]} * speed.Pulses / (64 * periods));
    return feedback + BackEmfCompensation(r, speed);
}

int LimitedPwm(const TRegisters& r, std::int64_t pwm) {
    return static_cast<int>(Clamp(pwm, std::min(r[5], KPwmFullScale)));
}
