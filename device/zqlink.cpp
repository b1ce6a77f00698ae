#include "device/zqlink.h"
#include "device/openfailure.h"
#include "device/port.h"
#include "device/portfactory.h"
#include "device/portmap.h"

#include <QFile>
#include <cstring>
#include <map>

namespace {

struct TOpenPort {
    std::int32_t Index;
    QString Name;
    std::unique_ptr<TPort> Port;
};

std::map<ZQ_HANDLE, TOpenPort>& Ports() {
    static std::map<ZQ_HANDLE, TOpenPort> ports;
    return ports;
}

// Handles are never reused within a run, so a stale handle cannot reach a newer device.
ZQ_HANDLE NextHandle() {
    static ZQ_HANDLE next = 0x4B4C0000;
    return ++next;
}

TPort* Find(ZQ_HANDLE handle) {
    auto it = Ports().find(handle);
    return it == Ports().end() ? nullptr : it->second.Port.get();
}

// The codes every backend shares are checked once here, before any backend sees them.
bool ValidDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits, std::uint8_t parity) {
    return (wordLength == ZQ_BITS_7 || wordLength == ZQ_BITS_8) &&
           (stopBits == ZQ_STOP_BITS_1 || stopBits == ZQ_STOP_BITS_2) && parity <= ZQ_PARITY_SPACE;
}

bool ValidFlowMode(std::uint16_t mode) {
    return mode == ZQ_FLOW_NONE || mode == ZQ_FLOW_RTS_CTS || mode == ZQ_FLOW_DTR_DSR ||
           mode == ZQ_FLOW_XON_XOFF;
}

// The library's face of an open: the handle goes where the caller asked, the reason is dropped.
ZQ_STATUS HandOver(const TOpenResult& opened, ZQ_HANDLE* handle) {
    if (opened.Status == ZQ_OK)
        *handle = opened.Handle;
    return opened.Status;
}

template <typename Call> ZQ_STATUS WithPort(ZQ_HANDLE handle, Call call) {
    TPort* port = Find(handle);
    return port ? call(*port) : ZQ_INVALID_HANDLE;
}

} // namespace

TOpenResult OpenDevice(const TPortFactory& factory, std::int32_t deviceIndex, const QString& portName) {
    if (deviceIndex < 0 || deviceIndex >= KDeviceCount)
        return {ZQ_DEVICE_NOT_FOUND, 0, NoPortText(deviceIndex)};
    for (const auto& [h, open] : Ports())
        if (open.Index == deviceIndex)
            return {ZQ_DEVICE_NOT_OPENED, 0, OpenAlreadyText(deviceIndex)};
    TOpenFailure failure;
    auto port = factory(deviceIndex, portName, failure);
    if (!port)
        return {failure.Status == ZQ_OK ? ZQ_DEVICE_NOT_OPENED : failure.Status, 0,
                portName.isEmpty() ? NoPortText(deviceIndex) : PortRefusedText(portName, failure)};
    const ZQ_HANDLE h = NextHandle();
    Ports().emplace(h, TOpenPort{deviceIndex, portName, std::move(port)});
    return {ZQ_OK, h, QString()};
}

TOpenResult OpenDevice(const TPortFactory& factory, std::int32_t deviceIndex) {
    return OpenDevice(factory, deviceIndex, factory.PortName(deviceIndex));
}

std::int32_t PortHolder(const QString& portName) {
    for (const auto& [h, open] : Ports())
        if (open.Name == portName)
            return open.Index;
    return -1;
}

ZQ_STATUS ZQ_Open(std::int32_t deviceIndex, ZQ_HANDLE* handle) {
    if (!handle)
        return ZQ_INVALID_PARAMETER;
    return HandOver(OpenDevice(MachinePorts(), deviceIndex), handle);
}

ZQ_STATUS ZQ_OpenByName(std::int32_t deviceIndex, const char* portName, ZQ_HANDLE* handle) {
    if (!handle || !portName)
        return ZQ_INVALID_PARAMETER;
    return HandOver(OpenDevice(MachinePorts(), deviceIndex, QFile::decodeName(portName)), handle);
}

ZQ_STATUS ZQ_GetPortName(ZQ_HANDLE handle, char* buffer, std::uint32_t size) {
    const auto it = Ports().find(handle);
    if (it == Ports().end())
        return ZQ_INVALID_HANDLE;
    if (!buffer)
        return ZQ_INVALID_PARAMETER;
    const QByteArray name = QFile::encodeName(it->second.Name);
    if (static_cast<std::uint64_t>(name.size()) >= size) {
        if (size > 0)
            buffer[0] = '\0';
        return ZQ_INVALID_PARAMETER;
    }
    std::memcpy(buffer, name.constData(), static_cast<std::size_t>(name.size()) + 1);
    return ZQ_OK;
}

ZQ_STATUS ZQ_Close(ZQ_HANDLE handle) {
    return Ports().erase(handle) ? ZQ_OK : ZQ_INVALID_HANDLE;
}

ZQ_STATUS ZQ_ResetDevice(ZQ_HANDLE handle) {
    return WithPort(handle, [](TPort& p) { return p.ResetDevice(); });
}

ZQ_STATUS ZQ_SetBaudRate(ZQ_HANDLE handle, std::uint32_t baudRate) {
    return WithPort(handle, [=](TPort& p) { return p.SetBaudRate(baudRate); });
}

ZQ_STATUS ZQ_SetDataCharacteristics(ZQ_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                    std::uint8_t parity) {
    if (!ValidDataCharacteristics(wordLength, stopBits, parity))
        return Find(handle) ? ZQ_INVALID_PARAMETER : ZQ_INVALID_HANDLE;
    return WithPort(handle, [=](TPort& p) { return p.SetDataCharacteristics(wordLength, stopBits, parity); });
}

ZQ_STATUS ZQ_SetFlowControl(ZQ_HANDLE handle, std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) {
    if (!ValidFlowMode(mode))
        return Find(handle) ? ZQ_INVALID_PARAMETER : ZQ_INVALID_HANDLE;
    return WithPort(handle, [=](TPort& p) { return p.SetFlowControl(mode, xon, xoff); });
}

ZQ_STATUS ZQ_SetChars(ZQ_HANDLE handle, std::uint8_t eventChar, std::uint8_t eventCharEnabled,
                      std::uint8_t errorChar, std::uint8_t errorCharEnabled) {
    return WithPort(handle, [=](TPort& p) {
        return p.SetChars(eventChar, eventCharEnabled, errorChar, errorCharEnabled);
    });
}

ZQ_STATUS ZQ_SetEventNotification(ZQ_HANDLE handle, std::uint32_t mask, void* notification) {
    return WithPort(handle, [=](TPort& p) { return p.SetEventNotification(mask, notification); });
}

ZQ_STATUS ZQ_SetDtr(ZQ_HANDLE handle) {
    return WithPort(handle, [](TPort& p) { return p.SetDtr(true); });
}

ZQ_STATUS ZQ_ClrDtr(ZQ_HANDLE handle) {
    return WithPort(handle, [](TPort& p) { return p.SetDtr(false); });
}

ZQ_STATUS ZQ_SetRts(ZQ_HANDLE handle) {
    return WithPort(handle, [](TPort& p) { return p.SetRts(true); });
}

ZQ_STATUS ZQ_ClrRts(ZQ_HANDLE handle) {
    return WithPort(handle, [](TPort& p) { return p.SetRts(false); });
}

ZQ_STATUS ZQ_SetTimeouts(ZQ_HANDLE handle, std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    return WithPort(handle, [=](TPort& p) { return p.SetTimeouts(readTimeout, writeTimeout); });
}

ZQ_STATUS ZQ_Purge(ZQ_HANDLE handle, std::uint32_t mask) {
    if (mask & ~(ZQ_PURGE_RX | ZQ_PURGE_TX))
        return Find(handle) ? ZQ_INVALID_PARAMETER : ZQ_INVALID_HANDLE;
    return WithPort(handle, [=](TPort& p) { return p.Purge(mask); });
}

ZQ_STATUS ZQ_GetStatus(ZQ_HANDLE handle, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                       std::uint32_t* eventStatus) {
    if (!rxBytes || !txBytes || !eventStatus)
        return ZQ_INVALID_PARAMETER;
    return WithPort(handle, [=](TPort& p) { return p.GetStatus(rxBytes, txBytes, eventStatus); });
}

ZQ_STATUS ZQ_GetModemStatus(ZQ_HANDLE handle, std::uint32_t* modemStatus) {
    if (!modemStatus)
        return ZQ_INVALID_PARAMETER;
    return WithPort(handle, [=](TPort& p) { return p.GetModemStatus(modemStatus); });
}

ZQ_STATUS ZQ_Read(ZQ_HANDLE handle, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) {
    if (!bytesRead || (!buffer && bytesToRead > 0))
        return ZQ_INVALID_PARAMETER;
    return WithPort(handle, [=](TPort& p) { return p.Read(buffer, bytesToRead, bytesRead); });
}

ZQ_STATUS ZQ_Write(ZQ_HANDLE handle, const void* buffer, std::uint32_t bytesToWrite,
                   std::uint32_t* bytesWritten) {
    if (!bytesWritten || (!buffer && bytesToWrite > 0))
        return ZQ_INVALID_PARAMETER;
    return WithPort(handle, [=](TPort& p) { return p.Write(buffer, bytesToWrite, bytesWritten); });
}
