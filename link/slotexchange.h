#pragma once

#include "link/exchange.h"

#include <memory>

class TDeviceSlot;

// The exchange a device's slot hands out: it reads and writes the slot's open port, pays the echo the
// slot keeps count of, and holds the slot's poll off while it lives.
std::unique_ptr<TExchange> MakeSlotExchange(TDeviceSlot& slot);
