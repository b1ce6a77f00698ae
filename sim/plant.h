#pragma once

// What the simulated drive is: its motor, load and power stage, how its firmware arranges its
// controller and how late it answers, and the converter and line it sits behind. The default is the
// 12 V motor of the standard drive, answering at once on a sound, direct line; other values make the
// other drives a tuner meets at the bench. Given as text, "load=5,delay=2", on kelmor-drive-sim's command
// line and after "sim:" in ZQLINK_PORTS.

#include "sim/controllaw.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TPlantParameters {
    double MotorInertia = 1;      // times the standard motor's (a 10 ms mechanical time constant)
    double LoadRatio = 0;         // load inertia over the motor's
    double CoulombFriction = 1.5; // mN·m
    double ViscousFriction = 0.5; // µN·m·s/rad
    double NoLoadSpeed = 4000;    // rev/min at 12 V: the motor's speed limit
    double CurrentLimit = 0;      // A that the power stage lets through, 0 for no limit but the winding's
    double Delay = 1;             // control periods between measuring and the new duty cycle, 1..3
    int EncoderPulses = 500;      // pulses per revolution
    int Noise = 0;                // a position the drive reports is off by up to this many pulses either way
    std::uint64_t Seed = 1;       // of that jitter and of the bytes the line loses
    double Resonance = 0;         // Hz: the load sits on a spring and rings at this; 0 for a rigid coupling
    double Backlash = 0;          // pulses the motor turns between driving the load one way and the other
    TFirmware Firmware;           // how the drive's firmware arranges its controller
    int AnswerMs = 0;             // the firmware starts the answer to each line this late
    int LatencyMs = 0; // a converter's latency timer: what the drive sends reaches the host up to this late
    double DropChance = 0; // that each byte the drive sends is lost on the line, drawn from Seed
    // Losses that repeat, in the converter, over the bytes the line brought it: every DropEvery-th
    // byte, and the DropAfter-th byte after DropEnds line ends (LF) in a row; 0 for none.
    int DropEvery = 0;
    int DropAfter = 0;
    int DropEnds = 1;

    bool operator==(const TPlantParameters&) const = default;
};

// The parameters a text sets, each "key=value" separated by commas, over the defaults; the error
// says which item is wrong and why.
struct TPlantParse {
    std::optional<TPlantParameters> Plant;
    std::string Error;
};
TPlantParse ParsePlantParameters(std::string_view text);

// The text that sets every parameter that differs from the default; empty for the standard drive.
std::string PlantText(const TPlantParameters& plant);

// The keys with what each means, for help texts.
std::string PlantParameterHelp();
