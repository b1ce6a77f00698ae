#include "device/serialbase.h"

#include <algorithm>
#include <limits>

namespace {

// The receive count takes what has arrived into the backend, so that a device that goes away
// (a hang-up makes the system drop its buffer) does not take those bytes with it; beyond this they
// wait in the system.
constexpr std::size_t KMaxHeld = 65536;

} // namespace

bool TSerialBase::Alive() {
    if (FGone)
        return false;
    if (!Present())
        GoneAway();
    return !FGone;
}

void TSerialBase::GoneAway() {
    if (FGone)
        return;
    FGone = true;
    Close();
}

// The converter's own reset: both buffers discarded and the line back to its reset settings. The
// modem lines and the time-outs are the host's and stay as they are.
ZQ_STATUS TSerialBase::ResetDevice() {
    FHeld.clear();
    if (!Alive())
        return ZQ_IO_ERROR;
    if (!Discard(true, true))
        return Failed(ZQ_IO_ERROR);
    return ConfigureReset();
}

ZQ_STATUS TSerialBase::SetBaudRate(std::uint32_t baudRate) {
    if (!Alive())
        return ZQ_IO_ERROR;
    // Rate 0 would mean "hang up" to a terminal driver.
    if (baudRate == 0 || baudRate > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return ZQ_INVALID_BAUD_RATE;
    return ConfigureRate(baudRate);
}

ZQ_STATUS TSerialBase::SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) {
    if (!Alive())
        return ZQ_IO_ERROR;
    switch (mode) {
    case ZQ_FLOW_NONE:
        return ConfigureFlow(mode, xon, xoff, ZQ_IO_ERROR);
    case ZQ_FLOW_RTS_CTS:
    case ZQ_FLOW_DTR_DSR:
        return ConfigureFlow(mode, xon, xoff, ZQ_NOT_SUPPORTED);
    case ZQ_FLOW_XON_XOFF:
        if (xon == xoff)
            return ZQ_INVALID_PARAMETER;
        return ConfigureFlow(mode, xon, xoff, ZQ_NOT_SUPPORTED);
    default:
        return ZQ_INVALID_PARAMETER;
    }
}

// The event character only decides when a converter hands a partial packet to the host, or raises
// a comm event that nothing waits on: it is accepted and left out. The error character replaces
// bytes received with a parity fault, where the driver can do that.
ZQ_STATUS TSerialBase::SetChars(std::uint8_t, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                                std::uint8_t errorCharEnabled) {
    if (!Alive())
        return ZQ_IO_ERROR;
    if (eventCharEnabled > 1 || errorCharEnabled > 1)
        return ZQ_INVALID_PARAMETER;
    return ConfigureErrorChar(errorChar, errorCharEnabled != 0);
}

// Nothing ever waits on a notification object, so there is nothing to signal.
ZQ_STATUS TSerialBase::SetEventNotification(std::uint32_t, void*) {
    return Alive() ? ZQ_OK : ZQ_IO_ERROR;
}

ZQ_STATUS TSerialBase::SetDtr(bool raised) {
    return SetModemLine(TModemLine::Dtr, raised);
}

ZQ_STATUS TSerialBase::SetRts(bool raised) {
    return SetModemLine(TModemLine::Rts, raised);
}

ZQ_STATUS TSerialBase::SetModemLine(TModemLine line, bool raised) {
    if (!Alive())
        return ZQ_IO_ERROR;
    return DriveLine(line, raised);
}

ZQ_STATUS TSerialBase::SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    if (!Alive())
        return ZQ_IO_ERROR;
    FReadTimeout = readTimeout;
    FWriteTimeout = writeTimeout;
    return ZQ_OK;
}

ZQ_STATUS TSerialBase::Purge(std::uint32_t mask) {
    const bool rx = mask & ZQ_PURGE_RX;
    const bool tx = mask & ZQ_PURGE_TX;
    if (rx)
        FHeld.clear();
    if (!Alive())
        return ZQ_IO_ERROR;
    if ((rx || tx) && !Discard(rx, tx))
        return Failed(ZQ_IO_ERROR);
    return ZQ_OK;
}

void TSerialBase::TakeIn() {
    char chunk[4096];
    while (FHeld.size() < KMaxHeld) {
        const std::size_t n = TakeNow(chunk, std::min(sizeof chunk, KMaxHeld - FHeld.size()));
        if (n == 0)
            return;
        FHeld.append(chunk, n);
    }
}

ZQ_STATUS TSerialBase::GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) {
    *eventStatus = 0;
    *txBytes = 0;
    if (Alive())
        TakeIn();
    *rxBytes = static_cast<std::uint32_t>(FHeld.size());
    if (!Alive())
        return ZQ_IO_ERROR;
    std::uint32_t waiting = 0;
    std::uint32_t queued = 0;
    if (!Queued(waiting, queued))
        return ZQ_IO_ERROR;
    *rxBytes += waiting;
    *txBytes = queued;
    return ZQ_OK;
}

ZQ_STATUS TSerialBase::GetModemStatus(std::uint32_t* modemStatus) {
    *modemStatus = 0;
    if (!Alive())
        return ZQ_IO_ERROR;
    TInputLines lines;
    const ZQ_STATUS status = ReadInputLines(lines);
    *modemStatus = (lines.Cts ? ZQ_MODEM_STATUS_CTS : 0) | (lines.Dsr ? ZQ_MODEM_STATUS_DSR : 0) |
                   (lines.Ring ? ZQ_MODEM_STATUS_RI : 0) | (lines.Dcd ? ZQ_MODEM_STATUS_DCD : 0);
    return status;
}

ZQ_STATUS TSerialBase::Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) {
    char* out = static_cast<char*>(buffer);
    const auto got = static_cast<std::uint32_t>(std::min<std::size_t>(FHeld.size(), bytesToRead));
    std::copy_n(FHeld.data(), got, out);
    FHeld.erase(0, got);
    *bytesRead = got;
    if (got == bytesToRead)
        return ZQ_OK;
    if (!Alive())
        return ZQ_IO_ERROR;
    return Receive(out, bytesToRead, bytesRead, FReadTimeout);
}

// A write that times out reports exactly the bytes the system took.
ZQ_STATUS TSerialBase::Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) {
    *bytesWritten = 0;
    if (!Alive())
        return ZQ_IO_ERROR;
    return Send(static_cast<const char*>(buffer), bytesToWrite, bytesWritten, FWriteTimeout);
}
