#include "device/portmap.h"

#include "device/converters.h"

#include <algorithm>

namespace {

bool ContinuesLast(const QStringList& ports, const QString& item, const TPortKinds& kinds) {
    if (ports.isEmpty())
        return false;
    return std::any_of(kinds.begin(), kinds.end(), [&](const TPortKind& kind) {
        return kind.Owns && kind.Continues && kind.Owns(ports.last()) && kind.Continues(ports.last(), item);
    });
}

} // namespace

QStringList MapDevicePorts(const std::optional<QString>& portsVariable, const QStringList& usbConverters,
                           const TPortKinds& kinds) {
    QStringList ports;
    if (portsVariable) {
        for (const QString& entry : portsVariable->split(QLatin1Char(','))) {
            const QString item = entry.trimmed();
            if (ContinuesLast(ports, item, kinds))
                ports.last() += QLatin1Char(',') + item;
            else
                ports << item;
        }
    } else {
        QStringList converters = usbConverters;
        std::sort(converters.begin(), converters.end());
        ports = converters;
        for (const TPortKind& kind : kinds)
            if (!kind.FreeIndexName.isEmpty())
                ports << kind.FreeIndexName;
    }
    while (ports.size() < KDeviceCount)
        ports << QString();
    return ports.mid(0, KDeviceCount);
}

QString DevicePortName(std::int32_t deviceIndex) {
    return DevicePortName(deviceIndex, PluggedPortKinds());
}

QString DevicePortName(std::int32_t deviceIndex, const TPortKinds& kinds) {
    if (deviceIndex < 0 || deviceIndex >= KDeviceCount)
        return QString();
    std::optional<QString> variable;
    if (qEnvironmentVariableIsSet("ZQLINK_PORTS"))
        variable = qEnvironmentVariable("ZQLINK_PORTS");
    return MapDevicePorts(variable, variable ? QStringList() : UsbSerialConverters(), kinds).at(deviceIndex);
}
