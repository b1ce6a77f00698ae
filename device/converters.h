#pragma once

#include <QStringList>

// The USB serial converters this machine has, by the names their users know them by: device paths
// such as /dev/ttyUSB0 on Linux, "COM5" on Windows.
QStringList UsbSerialConverters();
