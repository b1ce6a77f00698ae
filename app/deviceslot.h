#pragma once

#include "device/portsettings.h"
#include "device/zqlink.h"

#include <QString>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

class TMDIChild;

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// One device index: its window, port settings, handle and capture file.
struct TDeviceSlot {
    TMDIChild* Child = nullptr; // set while the device is open
    TPortSettings Settings;
    ZQ_HANDLE Handle = 0; // valid while Child is set
    TFilePtr CaptureFile; // the running capture, or none; survives the window
    std::int32_t RecBlinkCount = 0;
};

// The fixed table of the four device slots, indexed by device index, and the slot of the device
// window created or activated last.
extern std::array<TDeviceSlot, 4> DeviceSlots;
extern TDeviceSlot* CurrentSlot;

// The device index that a device name such as "DEV0" names: the decimal number from its fourth
// character on (optional blanks and sign, then digits; no digits give 0).
std::int32_t DeviceIndexFromName(const QString& name);

// The slot that a device name names, or none when its index is outside 0..3.
TDeviceSlot* SlotForName(const QString& name);
