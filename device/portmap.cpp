#include "device/portmap.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

QStringList MapDevicePorts(const std::optional<QString>& portsVariable, const QStringList& usbConverters) {
    QStringList ports;
    if (portsVariable) {
        for (const QString& entry : portsVariable->split(QLatin1Char(',')))
            ports << entry.trimmed();
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

QString DevicePortName(std::int32_t deviceIndex) {
    if (deviceIndex < 0 || deviceIndex > 3)
        return QString();
    std::optional<QString> variable;
    if (qEnvironmentVariableIsSet("ZQLINK_PORTS"))
        variable = qEnvironmentVariable("ZQLINK_PORTS");
    QStringList converters;
    if (!variable) {
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            if (info.hasVendorIdentifier())
#ifdef Q_OS_WIN
                // "COM3" rather than "\\.\COM3": the name Windows users know their ports by.
                converters << info.portName();
#else
                converters << info.systemLocation();
#endif
    }
    return MapDevicePorts(variable, converters).at(deviceIndex);
}

QString OpenFailureText(const QString& portName, int systemError) {
    switch (systemError) {
    case 0:
        return QStringLiteral("%1: cannot be opened").arg(portName);
    case EACCES:
    case EPERM:
        return QStringLiteral("%1: permission denied — add your user to the group dialout and log in again")
            .arg(portName);
    case EBUSY:
        return QStringLiteral("%1: in use by another program").arg(portName);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("%1: no such port").arg(portName);
    case ENOTTY:
        return QStringLiteral("%1: not a serial port").arg(portName);
    default: {
        QString text = QString::fromLocal8Bit(std::strerror(systemError));
        if (!text.isEmpty())
            text[0] = text[0].toLower();
        return portName + QStringLiteral(": ") + text;
    }
    }
}
