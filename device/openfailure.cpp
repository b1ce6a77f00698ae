#include "device/openfailure.h"
#include "device/portmap.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace {

QString NoPortText(std::int32_t deviceIndex) {
    return QStringLiteral("DEV%1 has no port").arg(deviceIndex);
}

// What OpenFailureReason says for each index.
std::array<QString, KDeviceCount>& Reasons() {
    static std::array<QString, KDeviceCount> reasons;
    return reasons;
}

void Note(std::int32_t deviceIndex, const QString& reason) {
    if (deviceIndex >= 0 && deviceIndex < KDeviceCount)
        Reasons()[static_cast<std::size_t>(deviceIndex)] = reason;
}

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

QString OpenFailureReason(std::int32_t deviceIndex) {
    if (deviceIndex < 0 || deviceIndex >= KDeviceCount)
        return NoPortText(deviceIndex);
    return Reasons()[static_cast<std::size_t>(deviceIndex)];
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

void NoteIndexOpenAlready(std::int32_t deviceIndex) {
    Note(deviceIndex, QStringLiteral("DEV%1 is open already").arg(deviceIndex));
}

void NotePortHeld(std::int32_t deviceIndex, const QString& portName, std::int32_t holderIndex) {
    Note(deviceIndex, QStringLiteral("%1: open already as DEV%2").arg(portName).arg(holderIndex));
}

void NotePortRefused(std::int32_t deviceIndex, const QString& portName, const TOpenFailure& failure) {
    Note(deviceIndex, portName.isEmpty() ? NoPortText(deviceIndex)
                      : !failure.Detail.empty()
                          ? portName + QStringLiteral(": ") + QString::fromStdString(failure.Detail)
                          : OpenFailureText(portName, SystemErrorOf(failure)));
}

void ForgetOpenFailure(std::int32_t deviceIndex) {
    Note(deviceIndex, QString());
}
