#pragma once

// Which port a device index means: ZQLINK_PORTS (comma-separated names or paths, or "sim", with
// plant parameters as in "sim:load=5,delay=2": an item key=value after a simulated drive is one of
// its parameters) maps indices 0..3 in order; without it the USB serial converters found on this machine take
// the first indices in port-name order and the simulated drive the next free one.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// Device indices run from 0 to KDeviceCount - 1.
inline constexpr std::int32_t KDeviceCount = 4;

inline const QString KSimPortName = QStringLiteral("sim");

// "sim", or "sim:" and plant parameters such as "sim:load=5,delay=2": a simulated drive.
bool IsSimulatedPortName(const QString& portName);
// The plant parameters of a simulated drive's port name, "" for the standard drive.
QString SimulatedPlantText(const QString& portName);

// The port names for indices 0..3 given the variable's value (none when unset) and the
// converters found; an index without a port gets an empty name.
QStringList MapDevicePorts(const std::optional<QString>& portsVariable, const QStringList& usbConverters);

// The port name for an index on this machine, or an empty name.
QString DevicePortName(std::int32_t deviceIndex);
