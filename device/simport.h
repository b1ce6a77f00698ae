#pragma once

// The simulated-drive backend: each device index mapped to "sim" has its own TDriveSim, kept for
// the life of the program, behind an in-memory link that carries bytes both ways at the rate set
// by SetBaudRate (ten bit times a byte). The link reads the time from a TSimClock: the steady
// clock in the program, a manual one in tests, which then run without waiting.

#include "sim/drivesim.h"

#include <algorithm>
#include <cstdint>
#include <memory>

class TSimClock {
public:
    virtual ~TSimClock() = default;
    virtual std::int64_t NowNs() = 0;
    // Returns once the clock shows at least timeNs.
    virtual void SleepUntil(std::int64_t timeNs) = 0;
};

// A clock that moves only when told to, or when a port sleeps on it: a sleep jumps to its end.
class TManualSimClock : public TSimClock {
public:
    std::int64_t NowNs() override { return FNow; }
    void SleepUntil(std::int64_t timeNs) override { FNow = std::max(FNow, timeNs); }
    void Advance(std::int64_t nanoseconds) { FNow += std::max<std::int64_t>(nanoseconds, 0); }

private:
    std::int64_t FNow = 0;
};

// The clock of ports opened from now on; ResetSimClock returns to the steady clock.
void SetSimClock(std::shared_ptr<TSimClock> clock);
void ResetSimClock();

// The drive of a device index 0..3, created at its first use as the standard drive.
TDriveSim& SimulatedDrive(std::int32_t deviceIndex);
// The same with the plant given: a drive of other plant parameters is replaced, as another drive
// plugged in.
TDriveSim& SimulatedDrive(std::int32_t deviceIndex, const TPlantParameters& plant);
// Every drive back to its state at power-on; for tests.
void ResetSimulatedDrives();
