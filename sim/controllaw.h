#pragma once

// The drive's cascade controller in its own integer arithmetic, one control period at a time: a PID
// position loop (gains in 1/256) whose output, held within Limit V, is the reference of a speed loop
// with back-EMF compensation, whose output is in 1/512 of full duty and held within Limit M. The
// standard firmware takes each gain as its register gives it, KV as the speed loop's feedback gain
// and the speed from one period's encoder difference; another drive's firmware scales each gain its
// own way, may let KV multiply the speed error of a cascade, may take the speed over several periods
// and the D term from the measured position: the ways drives differ that a tuner meets.

#include <array>
#include <cstdint>

// P0..P8 as the drive holds them.
using TRegisters = std::array<std::int32_t, 9>;

constexpr int KPwmFullScale = 512;

// How the firmware arranges its controller; the default is the standard drive's.
struct TFirmware {
    // Each gain as the firmware applies it, times its register: KV, KP, KD, KI, KG.
    std::array<double, 5> Scales{1, 1, 1, 1, 1};
    // false: KV is the speed loop's feedback gain; true: a cascade, where KV multiplies the error
    // between the speed the position loop asks for and the speed measured.
    bool Cascade = false;
    int SpeedPeriods = 1;     // the speed is the encoder's difference over this many periods
    bool DOnPosition = false; // the D term acts on the measured position, not on the error

    bool operator==(const TFirmware&) const = default;
};

// The speed as the firmware measures it: the encoder's difference over some periods.
struct TSpeed {
    std::int64_t Pulses = 0;
    int Periods = 1;
};

// The registers as the firmware applies them: each gain times its scale.
TRegisters Applied(const TRegisters& r, const TFirmware& firmware);

// The position loop: its integral and the last error are its state. It takes applied registers.
class TPositionPid {
public:
    // The speed reference, in Limit V's units, for the position error (reference less count) and the
    // count's change over the last period.
    std::int64_t Step(const TRegisters& r, const TFirmware& firmware, std::int64_t error, std::int64_t moved);
    // Back to a standstill without an old integral, as on entering position mode.
    void Reset() { *this = {}; }

private:
    std::int64_t FIntegral = 0;
    std::int64_t FPreviousError = 0;
};

// The compensation of the motor's back-EMF (KG) for the speed, in 1/512 of full duty.
std::int64_t BackEmfCompensation(const TRegisters& r, TSpeed speed);
// The speed loop's duty cycle for a reference in Limit V's units, before Limit M.
std::int64_t SpeedLoop(const TRegisters& r, const TFirmware& firmware, std::int64_t reference, TSpeed speed);
// The duty cycle held within Limit M and full duty.
int LimitedPwm(const TRegisters& r, std::int64_t pwm);
