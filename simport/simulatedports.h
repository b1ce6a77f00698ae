#pragma once

// The simulated drives of a program or a test: one per device index, on one clock, and the kind of
// port through which they are opened. Whoever owns them plugs their kind into the machine's ports;
// two owners have drives of their own.

#include "device/portfactory.h"
#include "sim/drivesim.h"
#include "simport/simclock.h"

#include <cstdint>
#include <memory>

class TSimulatedPorts {
public:
    // On the steady clock unless given another.
    explicit TSimulatedPorts(std::shared_ptr<TSimClock> clock = SteadySimClock());
    TSimulatedPorts(const TSimulatedPorts&) = delete;
    TSimulatedPorts& operator=(const TSimulatedPorts&) = delete;

    // The drive of a device index 0..3, created at its first use as the standard drive.
    TDriveSim& Drive(std::int32_t deviceIndex);

    // The ports named "sim", or "sim:" and plant parameters such as "sim:load=5,delay=2": the drive
    // of the index that opens one, with those parameters (a drive of other parameters is replaced,
    // as another drive plugged in). Each index has its own drive, so any number of them may open
    // "sim" at once. Its ports keep their drives while they are open, also past this object.
    TPortKind Kind() const;

private:
    struct TState;
    std::shared_ptr<TState> FState;
};
