#pragma once

// Other drives than the standard one, and step tests on them without a serial line: what the tuner
// is measured on, each drive's best gains found by simulating it directly.

#include "sim/plant.h"
#include "sim/servomodel.h"

#include <cstdint>
#include <vector>

// A step test as the drive records it: the motor at rest at its start position under the registers,
// the reference stepped by amplitude, and the count the drive reads at each of `samples` control
// periods from the step on.
std::vector<std::int32_t> SimulateStep(const TPlantParameters& plant, const TRegisters& registers,
                                       std::int32_t amplitude, int samples);

// `count` drives drawn from `seed`: load ratio 0.5 to 20 with 0.5 to 3 times the standard motor's
// inertia in all, friction, no-load speed, current limit, 1 to 3 periods of delay, encoder and noise
// spread over what a bench meets; only drives that their default settings (KP 3, KV 4) hold within
// 30 % overshoot on a 200-pulse step, since a tuning run stops at once on any other. The same seed
// gives the same drives everywhere.
std::vector<TPlantParameters> PlantBank(int count, std::uint64_t seed);

// `count` drives of another make, drawn from `seed`: the plants of PlantBank, each behind a firmware
// that scales each gain its own way (0.25 to 4 times the register), half of them a cascade where KV
// multiplies the speed error, the speed taken over one to three periods, the D term on the position
// measured on half; the load on a spring ringing at 50 to 300 Hz on half, play of up to four pulses on
// a third, and a delay anywhere from one to three periods. The tuner's model represents none of them
// exactly. Kept, as in PlantBank, only where the default settings show at most 30 % overshoot.
std::vector<TPlantParameters> ForeignPlantBank(int count, std::uint64_t seed);
