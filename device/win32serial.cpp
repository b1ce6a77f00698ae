#include "device/win32serial.h"

#include "device/win32line.h"

#include <algorithm>
#include <cerrno>
#include <limits>

// The serial backend on Windows: a COM port opened without sharing, set up through its DCB and used
// synchronously on the GUI thread. Reads and writes wait in slices, with the port looked at between
// them: a driver (Wine's, for one) may let a waiting read run to its time-out after the device has
// gone, and a converter pulled out must be noticed at once. A write that times out reports exactly
// the bytes the driver took.

namespace {

// The receive count takes what has arrived into the backend, so that a device that goes away does
// not take those bytes with it; beyond this they wait in the driver.
constexpr std::size_t KMaxHeld = 65536;
constexpr ULONGLONG KSliceMs = 50;

class TWin32Serial final : public TPort {
public:
    TWin32Serial(HANDLE handle, const DCB& original, const COMMTIMEOUTS& originalTimeouts)
        : FHandle(handle), FOriginal(original), FOriginalTimeouts(originalTimeouts),
          FRts(original.fRtsControl != RTS_CONTROL_DISABLE),
          FDtr(original.fDtrControl != DTR_CONTROL_DISABLE) {}
    ~TWin32Serial() override;
    TWin32Serial(const TWin32Serial&) = delete;
    TWin32Serial& operator=(const TWin32Serial&) = delete;

    ZQ_STATUS ResetDevice() override;
    ZQ_STATUS SetBaudRate(std::uint32_t baudRate) override;
    ZQ_STATUS SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override;
    ZQ_STATUS SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) override;
    ZQ_STATUS SetChars(std::uint8_t eventChar, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                       std::uint8_t errorCharEnabled) override;
    ZQ_STATUS SetEventNotification(std::uint32_t mask, void* notification) override;
    ZQ_STATUS SetDtr(bool raised) override { return SetModemLine(FDtr, raised, raised ? SETDTR : CLRDTR); }
    ZQ_STATUS SetRts(bool raised) override { return SetModemLine(FRts, raised, raised ? SETRTS : CLRRTS); }
    ZQ_STATUS SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) override;
    ZQ_STATUS Purge(std::uint32_t mask) override;
    ZQ_STATUS GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) override;
    ZQ_STATUS GetModemStatus(std::uint32_t* modemStatus) override;
    ZQ_STATUS Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) override;
    ZQ_STATUS Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) override;

private:
    bool Alive(COMSTAT* stat = nullptr);
    void GoneAway();
    ZQ_STATUS Failed(ZQ_STATUS refused) { return Alive() ? refused : ZQ_IO_ERROR; }
    template <typename Change> ZQ_STATUS Configure(Change change, ZQ_STATUS refused);
    ZQ_STATUS SetModemLine(bool& state, bool raised, DWORD function);
    bool Limit(bool read, ULONGLONG waitMs);
    bool Moved(bool done);
    void TakeIn();

    HANDLE FHandle;
    DCB FOriginal;
    COMMTIMEOUTS FOriginalTimeouts;
    bool FRts;
    bool FDtr;
    std::string FHeld; // received, taken from the driver, not yet read
    std::uint32_t FReadTimeout = 0;
    std::uint32_t FWriteTimeout = 0;
    bool FGone = false;
};

// The port goes back to its settings from before the open, as a terminal program leaves it.
TWin32Serial::~TWin32Serial() {
    if (FGone)
        return;
    SetCommState(FHandle, &FOriginal);
    SetCommTimeouts(FHandle, &FOriginalTimeouts);
    CloseHandle(FHandle);
}

// A device that has gone refuses even the status query. Once seen, the handle is closed (so that
// the converter can come back under its name) and every call fails from then on; what was received
// before stays readable.
bool TWin32Serial::Alive(COMSTAT* stat) {
    if (FGone)
        return false;
    DWORD errors = 0;
    COMSTAT ignored{};
    if (!ClearCommError(FHandle, &errors, stat ? stat : &ignored))
        GoneAway();
    return !FGone;
}

void TWin32Serial::GoneAway() {
    if (FGone)
        return;
    FGone = true;
    CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
}

// Changes the line and reads it back. A driver may take a setting and quietly keep its own (Wine on
// a pseudo-terminal stays at 8 bits without parity): what it did not take is refused with the status
// given, and the line goes back to what it had.
template <typename Change> ZQ_STATUS TWin32Serial::Configure(Change change, ZQ_STATUS refused) {
    if (!Alive())
        return ZQ_IO_ERROR;
    DCB before{};
    before.DCBlength = sizeof before;
    if (!GetCommState(FHandle, &before))
        return Failed(ZQ_IO_ERROR);
    DCB want = before;
    change(want);
    SetRawFlags(want, FRts, FDtr);
    if (!SetCommState(FHandle, &want))
        return Failed(refused);
    DCB got{};
    got.DCBlength = sizeof got;
    if (!GetCommState(FHandle, &got))
        return Failed(ZQ_IO_ERROR);
    if (Took(want, got))
        return ZQ_OK;
    SetRawFlags(before, FRts, FDtr);
    if (!SetCommState(FHandle, &before))
        return Failed(refused);
    return refused;
}

// The converter's own reset: both buffers discarded and the line back to its reset settings. The
// modem lines and the time-outs are the host's and stay as they are.
ZQ_STATUS TWin32Serial::ResetDevice() {
    FHeld.clear();
    if (!Alive())
        return ZQ_IO_ERROR;
    if (!PurgeComm(FHandle, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
        return Failed(ZQ_IO_ERROR);
    return Configure(SetResetLine, ZQ_IO_ERROR);
}

ZQ_STATUS TWin32Serial::SetBaudRate(std::uint32_t baudRate) {
    if (!Alive())
        return ZQ_IO_ERROR;
    if (baudRate == 0 || baudRate > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return ZQ_INVALID_BAUD_RATE;
    return Configure([=](DCB& dcb) { dcb.BaudRate = baudRate; }, ZQ_INVALID_BAUD_RATE);
}

// The library has checked the codes; Windows numbers the parities as the library does.
ZQ_STATUS TWin32Serial::SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                               std::uint8_t parity) {
    return Configure(
        [=](DCB& dcb) {
            dcb.ByteSize = wordLength;
            dcb.StopBits = stopBits == ZQ_STOP_BITS_2 ? TWOSTOPBITS : ONESTOPBIT;
            dcb.Parity = parity;
            dcb.fParity = parity != ZQ_PARITY_NONE;
        },
        ZQ_NOT_SUPPORTED);
}

ZQ_STATUS TWin32Serial::SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) {
    if (!Alive())
        return ZQ_IO_ERROR;
    const auto flow = [](bool cts, bool dsr, bool x) {
        return [=](DCB& dcb) {
            dcb.fOutxCtsFlow = cts;
            dcb.fOutxDsrFlow = dsr;
            dcb.fOutX = x;
            dcb.fInX = x;
        };
    };
    switch (mode) {
    case ZQ_FLOW_NONE:
        return Configure(flow(false, false, false), ZQ_IO_ERROR);
    case ZQ_FLOW_RTS_CTS:
        return Configure(flow(true, false, false), ZQ_NOT_SUPPORTED);
    case ZQ_FLOW_DTR_DSR:
        return Configure(flow(false, true, false), ZQ_NOT_SUPPORTED);
    case ZQ_FLOW_XON_XOFF:
        if (xon == xoff)
            return ZQ_INVALID_PARAMETER;
        return Configure(
            [=](DCB& dcb) {
                flow(false, false, true)(dcb);
                dcb.XonChar = static_cast<char>(xon);
                dcb.XoffChar = static_cast<char>(xoff);
            },
            ZQ_NOT_SUPPORTED);
    default:
        return ZQ_INVALID_PARAMETER;
    }
}

// The error character replaces bytes received with a parity fault, where the driver does that (Wine
// does not). The event character only raises a comm event that nothing waits on, so it is accepted
// and left out.
ZQ_STATUS TWin32Serial::SetChars(std::uint8_t, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                                 std::uint8_t errorCharEnabled) {
    if (!Alive())
        return ZQ_IO_ERROR;
    if (eventCharEnabled > 1 || errorCharEnabled > 1)
        return ZQ_INVALID_PARAMETER;
    return Configure(
        [=](DCB& dcb) {
            dcb.fErrorChar = errorCharEnabled != 0;
            dcb.ErrorChar = static_cast<char>(errorChar);
        },
        ZQ_NOT_SUPPORTED);
}

// Nothing ever waits on a notification object, so there is nothing to signal.
ZQ_STATUS TWin32Serial::SetEventNotification(std::uint32_t, void*) {
    return Alive() ? ZQ_OK : ZQ_IO_ERROR;
}

// The switch is remembered even where the line cannot follow it, so that a later change of the flow
// control leaves RTS and DTR as the user set them.
ZQ_STATUS TWin32Serial::SetModemLine(bool& state, bool raised, DWORD function) {
    if (!Alive())
        return ZQ_IO_ERROR;
    state = raised;
    if (EscapeCommFunction(FHandle, function))
        return ZQ_OK;
    // A line under handshake, or a port without modem lines (a pseudo-terminal under Wine).
    return Failed(ZQ_NOT_SUPPORTED);
}

ZQ_STATUS TWin32Serial::SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    if (!Alive())
        return ZQ_IO_ERROR;
    FReadTimeout = readTimeout;
    FWriteTimeout = writeTimeout;
    return ZQ_OK;
}

ZQ_STATUS TWin32Serial::Purge(std::uint32_t mask) {
    if (mask & ZQ_PURGE_RX)
        FHeld.clear();
    if (!Alive())
        return ZQ_IO_ERROR;
    DWORD flags = 0;
    if (mask & ZQ_PURGE_RX)
        flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (mask & ZQ_PURGE_TX)
        flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    if (flags != 0 && !PurgeComm(FHandle, flags))
        return Failed(ZQ_IO_ERROR);
    return ZQ_OK;
}

// The driver's time-outs for one read or write of at most a slice of waitMs. A read of 0 ms takes
// what is there; a write waits at least 1 ms, since a write time-out of 0 means "none" to Windows.
bool TWin32Serial::Limit(bool read, ULONGLONG waitMs) {
    const DWORD slice = static_cast<DWORD>(std::min(waitMs, KSliceMs));
    COMMTIMEOUTS timeouts{};
    if (read && slice == 0)
        timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = slice;
    timeouts.WriteTotalTimeoutConstant = std::max<DWORD>(slice, 1);
    return SetCommTimeouts(FHandle, &timeouts);
}

// After a read or write: false once the device has gone. A short count at the time-out is no fault,
// and some drivers report it as an error.
bool TWin32Serial::Moved(bool done) {
    if (done)
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT)
        return true;
    GoneAway();
    return false;
}

void TWin32Serial::TakeIn() {
    char chunk[4096];
    while (FHeld.size() < KMaxHeld) {
        const auto room = static_cast<DWORD>(std::min(sizeof chunk, KMaxHeld - FHeld.size()));
        DWORD n = 0;
        if (!Moved(Limit(true, 0) && ReadFile(FHandle, chunk, room, &n, nullptr)) || n == 0)
            return;
        FHeld.append(chunk, n);
    }
}

ZQ_STATUS TWin32Serial::GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                  std::uint32_t* eventStatus) {
    *eventStatus = 0;
    *txBytes = 0;
    if (Alive())
        TakeIn();
    *rxBytes = static_cast<std::uint32_t>(FHeld.size());
    COMSTAT stat{};
    if (!Alive(&stat))
        return ZQ_IO_ERROR;
    *rxBytes += stat.cbInQue;
    *txBytes = stat.cbOutQue;
    return ZQ_OK;
}

ZQ_STATUS TWin32Serial::GetModemStatus(std::uint32_t* modemStatus) {
    *modemStatus = 0;
    if (!Alive())
        return ZQ_IO_ERROR;
    DWORD lines = 0;
    // A port that is there but has no modem lines (a pseudo-terminal under Wine) reports them all
    // inactive.
    if (!GetCommModemStatus(FHandle, &lines))
        return Failed(ZQ_OK);
    if (lines & MS_CTS_ON)
        *modemStatus |= ZQ_MODEM_STATUS_CTS;
    if (lines & MS_DSR_ON)
        *modemStatus |= ZQ_MODEM_STATUS_DSR;
    if (lines & MS_RING_ON)
        *modemStatus |= ZQ_MODEM_STATUS_RI;
    if (lines & MS_RLSD_ON)
        *modemStatus |= ZQ_MODEM_STATUS_DCD;
    return ZQ_OK;
}

ZQ_STATUS TWin32Serial::Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) {
    char* out = static_cast<char*>(buffer);
    std::uint32_t got = static_cast<std::uint32_t>(std::min<std::size_t>(FHeld.size(), bytesToRead));
    std::copy_n(FHeld.data(), got, out);
    FHeld.erase(0, got);
    *bytesRead = got;
    if (got == bytesToRead)
        return ZQ_OK;
    if (!Alive())
        return ZQ_IO_ERROR;
    const ULONGLONG deadline = GetTickCount64() + FReadTimeout;
    for (;;) {
        const ULONGLONG left = Left(deadline);
        DWORD n = 0;
        const bool alive =
            Moved(Limit(true, left) && ReadFile(FHandle, out + got, bytesToRead - got, &n, nullptr));
        got += n;
        *bytesRead = got;
        if (!alive)
            return ZQ_IO_ERROR;
        if (got == bytesToRead)
            return ZQ_OK;
        if (!Alive())
            return ZQ_IO_ERROR;
        if (left == 0)
            return ZQ_OK;
    }
}

ZQ_STATUS TWin32Serial::Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) {
    *bytesWritten = 0;
    if (!Alive())
        return ZQ_IO_ERROR;
    const char* in = static_cast<const char*>(buffer);
    const ULONGLONG deadline = GetTickCount64() + FWriteTimeout;
    for (;;) {
        const ULONGLONG left = Left(deadline);
        DWORD n = 0;
        const bool alive = Moved(Limit(false, left) && WriteFile(FHandle, in + *bytesWritten,
                                                                 bytesToWrite - *bytesWritten, &n, nullptr));
        *bytesWritten += n;
        if (!alive)
            return ZQ_IO_ERROR;
        if (*bytesWritten == bytesToWrite)
            return ZQ_OK;
        if (!Alive())
            return ZQ_IO_ERROR;
        if (left == 0)
            return ZQ_OK;
    }
}

} // namespace

std::unique_ptr<TPort> OpenWin32Serial(const std::wstring& portName, TOpenFailure& failure) {
    // COM10 and above can be opened only through the device namespace, so every name goes there.
    const std::wstring path = portName.starts_with(L"\\\\") ? portName : L"\\\\.\\" + portName;
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failure = SystemFailure(GetLastError());
        return nullptr;
    }
    const auto refuse = [&](int error) -> std::unique_ptr<TPort> {
        failure = {ZQ_DEVICE_NOT_OPENED, error, {}};
        CloseHandle(handle);
        return nullptr;
    };
    DCB original{};
    original.DCBlength = sizeof original;
    COMMTIMEOUTS originalTimeouts{};
    if (!GetCommState(handle, &original) || !GetCommTimeouts(handle, &originalTimeouts))
        return refuse(ENOTTY);
    DCB line = original;
    SetResetLine(line);
    SetRawFlags(line, original.fRtsControl != RTS_CONTROL_DISABLE,
                original.fDtrControl != DTR_CONTROL_DISABLE);
    if (!SetCommState(handle, &line))
        return refuse(0);
    return std::make_unique<TWin32Serial>(handle, original, originalTimeouts);
}
