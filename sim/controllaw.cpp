#include "sim/controllaw.h"

#include <algorithm>

namespace {

// The integral is summed every period; this scale puts its corner well below the loop's crossover.
constexpr std::int64_t KIntegralScale = 32;
// The velocity error is counted in Limit V's unit (KV x 4 per pulse a period) and reaches the
// power stage in 1/128 of full PWM, four of Limit M's units.
constexpr std::int64_t KVelocityLoopGain = 4;
// Bounded so that no product below can overflow, whatever the registers hold.
constexpr std::int64_t KMaxError = std::int64_t{1} << 24;
constexpr std::int64_t KMaxIntegral = std::int64_t{1} << 28;

std::int64_t Clamp(std::int64_t value, std::int64_t limit) {
    limit = std::max<std::int64_t>(limit, 0);
    return std::clamp(value, -limit, limit);
}

} // namespace

std::int64_t TPositionPid::Step(const TRegisters& r, std::int64_t error) {
    error = std::clamp(error, -KMaxError, KMaxError);
    const std::int64_t integral = FIntegral + error;
    const std::int64_t sum = std::int64_t{r[2]} * error + std::int64_t{r[4]} * integral / KIntegralScale +
                             std::int64_t{r[3]} * (error - FPreviousError);
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

std::int64_t BackEmfCompensation(const TRegisters& r, std::int64_t velocity) {
    return std::int64_t{r[6]} * velocity / 32;
}

std::int64_t SpeedLoop(const TRegisters& r, std::int64_t reference, std::int64_t velocity) {
    return KVelocityLoopGain * (reference - std::int64_t{r[1]} * velocity / 64) +
           BackEmfCompensation(r, velocity);
}

int LimitedPwm(const TRegisters& r, std::int64_t pwm) {
    return static_cast<int>(Clamp(pwm, std::min(r[5], KPwmFullScale)));
}
