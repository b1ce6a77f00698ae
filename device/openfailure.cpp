#include "device/openfailure.h"

#include <cerrno>
#include <cstring>

namespace {

// A backend that gave a status but no error number is worded by the status.
int SystemErrorOf(const TOpenFailure& failure) {
    if (failure.SystemError != 0)
        return failure.SystemError;
    switch (failure.Status) {
    case ZQ_DEVICE_NOT_FOUND:
        return ENOENT;
    case ZQ_ACCESS_DENIED:
        return EACCES;
    case ZQ_DEVICE_BUSY:
        return EBUSY;
    default:
        return 0;
    }
}

} // namespace

QString NoPortText(std::int32_t deviceIndex) {
    return QStringLiteral("DEV%1 has no port").arg(deviceIndex);
}

QString OpenAlreadyText(std::int32_t deviceIndex) {
    return QStringLiteral("DEV%1 is open already").arg(deviceIndex);
}

std::string PortHeldDetail(std::int32_t holderIndex) {
    return "open already as DEV" + std::to_string(holderIndex);
}

QString PortRefusedText(const QString& portName, const TOpenFailure& failure) {
    if (!failure.Detail.empty())
        return portName + QStringLiteral(": ") + QString::fromStdString(failure.Detail);
    return OpenFailureText(portName, SystemErrorOf(failure));
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

QString SettingsRefusedText(const QString& portName) {
    return portName + QStringLiteral(": the port refused its settings");
}

QString LinesUnreadText(const QString& portName) {
    return portName + QStringLiteral(": the modem lines could not be read");
}
