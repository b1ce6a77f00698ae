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
