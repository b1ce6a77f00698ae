#pragma once

// Which port a device index means: ZQLINK_PORTS (comma-separated names or paths, such as "sim" with
// plant parameters as in "sim:load=5,delay=2": a kind of port says which items go on its name) maps
// indices 0..3 in order; without it the USB serial converters found on this machine take the first
// indices in port-name order, and the kinds plugged in name the next free ones.

#include "device/portfactory.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// Device indices run from 0 to KDeviceCount - 1.
inline constexpr std::int32_t KDeviceCount = 4;

// The port names for indices 0..3 given the variable's value (none when unset), the converters
// found and the kinds of port beside them; an index without a port gets an empty name.
QStringList MapDevicePorts(const std::optional<QString>& portsVariable, const QStringList& usbConverters,
                           const TPortKinds& kinds = {});

// The port name for an index on this machine, or an empty name; with the kinds plugged in when none
// are given.
QString DevicePortName(std::int32_t deviceIndex);
QString DevicePortName(std::int32_t deviceIndex, const TPortKinds& kinds);
