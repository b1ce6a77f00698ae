#include "device/converters.h"

#include <QSerialPortInfo>

QStringList UsbSerialConverters() {
    QStringList converters;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.hasVendorIdentifier())
            converters << info.systemLocation();
    return converters;
}
