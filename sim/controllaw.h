#pragma once

// The drive's cascade controller in its own integer arithmetic, one control period at a time: a PID
// position loop (gains in 1/256) whose output, held within Limit V, is the reference of a
// proportional speed loop with back-EMF compensation, whose output is in 1/512 of full duty and held
// within Limit M. Every drive runs this controller whatever its motor, so the simulated drive runs
// it and so does the tuner's model of a drive.

#include <array>
#include <cstdint>

// P0..P8 as the drive holds them.
using TRegisters = std::array<std::int32_t, 9>;

constexpr int KPwmFullScale = 512;

// The position loop: its integral and the last error are its state.
class TPositionPid {
public:
    // The speed reference, in Limit V's units, for the position error (reference less count).
    std::int64_t Step(const TRegisters& r, std::int64_t error);
    // Back to a standstill without an old integral, as on entering position mode.
    void Reset() { *this = {}; }

private:
    std::int64_t FIntegral = 0;
    std::int64_t FPreviousError = 0;
};

// The compensation of the motor's back-EMF (KG) for the velocity in pulses a period, in 1/512 of full
// duty.
std::int64_t BackEmfCompensation(const TRegisters& r, std::int64_t velocity);
// The speed loop's duty cycle for a reference in Limit V's units, before Limit M.
std::int64_t SpeedLoop(const TRegisters& r, std::int64_t reference, std::int64_t velocity);
// The duty cycle held within Limit M and full duty.
int LimitedPwm(const TRegisters& r, std::int64_t pwm);
