#pragma once

// The controller the tuner assumes a drive runs, from what the registers are said to be: a PID
// position loop (KP, KI, KD in 1/256, the integral summed every period and taken at 1/32) whose
// output, held within Limit V, is a speed reference; a speed loop with KV and back-EMF compensation
// KG, whose duty cycle, in 1/512 of full, is held within Limit M; the speed one period's encoder
// difference; 2 kHz. What a drive's firmware does not say, the tuner does not assume: how it scales
// the position loop's gains, KI apart from them, and KV (three scales, learnt from the tests), and how it
// arranges the speed loop: KV either as the feedback gain of the speed (the reference reaching the duty cycle
// at four units to one) or as the gain of a cascade on the speed error (the reference reaching the duty cycle
// through KV). A drive that arranges its controller otherwise still, the scales of KD, KI and KG, a
// speed taken over several periods, is fitted as well as these allow; what the fit misses the tuner
// learns as its error. Plain arithmetic, no I/O.

#include <array>
#include <cstdint>

// P0..P8 as the drive holds them.
using TLoopRegisters = std::array<std::int32_t, 9>;

struct TLoopLaw {
    bool Cascade = false;     // KV multiplies the speed error of a cascade
    double PositionScale = 1; // the position loop's gains as the firmware applies them, times the registers'
    double SpeedScale = 1;    // KV as the firmware applies it, times the register
    // KI beside the position loop's other gains: a firmware scales the integral its own way.
    double IntegralScale = 1;
    // Traits no fit learns but a firmware may have: the speed taken over this many periods (1..3), and
    // the D term taken from the measured position instead of the error. The safety of a move is
    // judged with them as well.
    int SpeedPeriods = 1;
    bool DOnPosition = false;
};

// The law's state over a step test: the integral, the last error and the last counts.
class TLoopLawState {
public:
    // The duty cycle, in full duty (-1 .. 1), for the reference and the count of this period.
    double Duty(const TLoopRegisters& r, const TLoopLaw& law, double reference, double count);

private:
    double FIntegral = 0;
    double FPreviousError = 0;
    std::array<double, 3> FCounts{}; // the last counts, newest first
    bool FStarted = false;
};

// The law of the other arrangement that runs the same loop at this register value of KV, as far as
// Limit V does not hold the position loop's output.
TLoopLaw OtherArrangement(const TLoopLaw& law, std::int32_t kv);
