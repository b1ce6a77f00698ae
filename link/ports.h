#pragma once

// What the windows and the program take of the device library, so that nothing above the slots
// includes it: the port settings a slot applies and the port dialog edits, with the events they may
// ask the device to tell of, and the machine's ports with the kinds of port the program plugs in.

#include "device/portfactory.h"
#include "device/portsettings.h"

#include <cstdint>

// The bits of TPortSettings::EventMask: a character received, a change of the input lines.
inline constexpr std::int32_t PortEventReceived = ZQ_EVENT_RXCHAR;
inline constexpr std::int32_t PortEventLinesChanged = ZQ_EVENT_MODEM_STAT;
