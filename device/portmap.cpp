#include "device/portmap.h"

#include "device/converters.h"

#include <algorithm>

QStringList MapDevicePorts(const std::optional<QString>& portsVariable, const QStringList& usbConverters) {
    QStringList ports;
    if (portsVariable) {
        for (const QString& entry : portsVariable->split(QLatin1Char(','))) {
            const QString item = entry.trimmed();
            // A simulated drive's parameters are separated by commas too.
            if (!ports.isEmpty() && ports.last().startsWith(KSimPortName + QLatin1Char(':')) &&
                item.contains(QLatin1Char('=')))
                ports.last() += QLatin1Char(',') + item;
            else
                ports << item;
        }
    } else {
        QStringList converters = usbConverters;
        std::sort(converters.begin(), converters.end());
        ports = converters;
        ports << KSimPortName;
    }
    while (ports.size() < 4)
        ports << QString();
    return ports.mid(0, 4);
}

bool IsSimulatedPortName(const QString& portName) {
    return portName == KSimPortName || portName.startsWith(KSimPortName + QLatin1Char(':'));
}

QString SimulatedPlantText(const QString& portName) {
    return portName.mid(KSimPortName.size() + 1);
}

QString DevicePortName(std::int32_t deviceIndex) {
    if (deviceIndex < 0 || deviceIndex > 3)
        return QString();
    std::optional<QString> variable;
    if (qEnvironmentVariableIsSet("ZQLINK_PORTS"))
        variable = qEnvironmentVariable("ZQLINK_PORTS");
    return MapDevicePorts(variable, variable ? QStringList() : UsbSerialConverters()).at(deviceIndex);
}
