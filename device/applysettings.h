#pragma once

#include "device/portsettings.h"
#include "device/zqlink.h"

#include <array>
#include <cstdint>

// The rates of the port dialog's list, indexed by TPortSettings::BaudIndex.
inline constexpr std::array<std::uint32_t, 14> KBaudRates = {
    300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

// The rate a settings block asks for: its list entry, a rate typed in the dialog, or 115200.
std::uint32_t SettingsBaudRate(const TPortSettings& settings);

// Pushes a settings block into an open device. True when every step that must succeed did; the
// steps after a failing one are not run.
bool ApplySettings(ZQ_HANDLE handle, const TPortSettings& settings);
