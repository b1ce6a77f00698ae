#pragma once

// Which port a device index means: ZQLINK_PORTS (comma-separated names or paths, or "sim") maps
// indices 0..3 in order; without it the USB serial converters found on this machine take the
// first indices in port-name order and the simulated drive the next free one. And, when a port
// would not open, why, in words for the user.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

inline const QString KSimPortName = QStringLiteral("sim");

// The port names for indices 0..3 given the variable's value (none when unset) and the
// converters found; an index without a port gets an empty name.
QStringList MapDevicePorts(const std::optional<QString>& portsVariable, const QStringList& usbConverters);

// The port name for an index on this machine, or an empty name.
QString DevicePortName(std::int32_t deviceIndex);

// Why the last ZQ_Open or ZQ_OpenByName of a device index failed, as one line that names the port
// and gives the remedy where there is a usual one; empty when it succeeded or none was tried.
QString OpenFailureReason(std::int32_t deviceIndex);

// The line for a port that the system refused with the error number systemError (errno; 0 when
// it gave none).
QString OpenFailureText(const QString& portName, int systemError);
