#pragma once

// The port of a simulated drive: an in-memory link that carries bytes both ways at the rate set by
// SetBaudRate (ten bit times a byte), behind the converter of the drive's plant. The link reads the
// time from its clock; the drive outlives the port and keeps its state for the next one.

#include "device/port.h"
#include "sim/drivesim.h"
#include "simport/simclock.h"

#include <memory>

std::unique_ptr<TPort> OpenSimPort(std::shared_ptr<TDriveSim> drive, std::shared_ptr<TSimClock> clock);
