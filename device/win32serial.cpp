#include "device/win32serial.h"

#include "device/serialbase.h"
#include "device/win32line.h"

#include <algorithm>
#include <cerrno>

// The serial backend on Windows: a COM port opened without sharing, set up through its DCB and used
// synchronously on the GUI thread. Reads and writes wait in slices, with the port looked at between
// them: a driver (Wine's, for one) may let a waiting read run to its time-out after the device has
// gone, and a converter pulled out must be noticed at once. A write that times out reports exactly
// the bytes the driver took.

namespace {

constexpr ULONGLONG KSliceMs = 50;

class TWin32Serial final : public TSerialBase {
public:
    TWin32Serial(HANDLE handle, const DCB& original, const COMMTIMEOUTS& originalTimeouts)
        : FHandle(handle), FOriginal(original), FOriginalTimeouts(originalTimeouts),
          FRts(original.fRtsControl != RTS_CONTROL_DISABLE),
          FDtr(original.fDtrControl != DTR_CONTROL_DISABLE) {}
    ~TWin32Serial() override;

    ZQ_STATUS SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override;

private:
    bool Present() override;
    void Close() override;
    ZQ_STATUS Failed(ZQ_STATUS refused) override { return Alive() ? refused : ZQ_IO_ERROR; }
    bool Discard(bool rx, bool tx) override;
    ZQ_STATUS ConfigureReset() override { return Configure(SetResetLine, ZQ_IO_ERROR); }
    ZQ_STATUS ConfigureRate(std::uint32_t rate) override;
    ZQ_STATUS ConfigureFlow(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff,
                            ZQ_STATUS refused) override;
    ZQ_STATUS ConfigureErrorChar(std::uint8_t errorChar, bool enabled) override;
    ZQ_STATUS DriveLine(TModemLine line, bool raised) override;
    ZQ_STATUS ReadInputLines(TInputLines& lines) override;
    bool Queued(std::uint32_t& received, std::uint32_t& sending) override;
    std::size_t TakeNow(char* into, std::size_t room) override;
    ZQ_STATUS Receive(char* into, std::uint32_t count, std::uint32_t* done, std::uint32_t timeoutMs) override;
    ZQ_STATUS Send(const char* from, std::uint32_t count, std::uint32_t* done,
                   std::uint32_t timeoutMs) override;

    template <typename Change> ZQ_STATUS Configure(Change change, ZQ_STATUS refused);
    template <typename Move>
    ZQ_STATUS Transfer(bool read, std::uint32_t count, std::uint32_t* done, std::uint32_t timeoutMs,
                       Move move);
    bool Limit(bool read, ULONGLONG waitMs);
    bool Moved(bool done);

    HANDLE FHandle;
    DCB FOriginal;
    COMMTIMEOUTS FOriginalTimeouts;
    bool FRts;
    bool FDtr;
    COMSTAT FStat{}; // the driver's queues at the last look at the port
};

// The port goes back to its settings from before the open, as a terminal program leaves it.
TWin32Serial::~TWin32Serial() {
    if (FHandle == INVALID_HANDLE_VALUE)
        return;
    SetCommState(FHandle, &FOriginal);
    SetCommTimeouts(FHandle, &FOriginalTimeouts);
    CloseHandle(FHandle);
}

// A device that has gone refuses even the status query.
bool TWin32Serial::Present() {
    DWORD errors = 0;
    return ClearCommError(FHandle, &errors, &FStat);
}

// The handle is closed at once, so that the converter can come back under its name.
void TWin32Serial::Close() {
    CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
}

// The raw flags go with every change of the DCB, and RTS and DTR as the user set them.
template <typename Change> ZQ_STATUS TWin32Serial::Configure(Change change, ZQ_STATUS refused) {
    const auto get = [this](DCB& dcb) {
        dcb.DCBlength = sizeof dcb;
        return GetCommState(FHandle, &dcb) != FALSE;
    };
    const auto set = [this](DCB dcb) {
        SetRawFlags(dcb, FRts, FDtr);
        return SetCommState(FHandle, &dcb) != FALSE;
    };
    return ChangeLine<DCB>(get, set, change, refused);
}

bool TWin32Serial::Discard(bool rx, bool tx) {
    return PurgeComm(FHandle,
                     (rx ? PURGE_RXABORT | PURGE_RXCLEAR : 0) | (tx ? PURGE_TXABORT | PURGE_TXCLEAR : 0));
}

ZQ_STATUS TWin32Serial::ConfigureRate(std::uint32_t rate) {
    return Configure([=](DCB& dcb) { dcb.BaudRate = rate; }, ZQ_INVALID_BAUD_RATE);
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

ZQ_STATUS TWin32Serial::ConfigureFlow(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff,
                                      ZQ_STATUS refused) {
    return Configure(
        [=](DCB& dcb) {
            dcb.fOutxCtsFlow = mode == ZQ_FLOW_RTS_CTS;
            dcb.fOutxDsrFlow = mode == ZQ_FLOW_DTR_DSR;
            dcb.fOutX = mode == ZQ_FLOW_XON_XOFF;
            dcb.fInX = mode == ZQ_FLOW_XON_XOFF;
            if (mode == ZQ_FLOW_XON_XOFF) {
                dcb.XonChar = static_cast<char>(xon);
                dcb.XoffChar = static_cast<char>(xoff);
            }
        },
        refused);
}

// Wine does not put the error character in place of a faulty byte, and keeps none.
ZQ_STATUS TWin32Serial::ConfigureErrorChar(std::uint8_t errorChar, bool enabled) {
    return Configure(
        [=](DCB& dcb) {
            dcb.fErrorChar = enabled;
            dcb.ErrorChar = static_cast<char>(errorChar);
        },
        ZQ_NOT_SUPPORTED);
}

// The switch is remembered even where the line cannot follow it, so that a later change of the flow
// control leaves RTS and DTR as the user set them.
ZQ_STATUS TWin32Serial::DriveLine(TModemLine line, bool raised) {
    const bool dtr = line == TModemLine::Dtr;
    (dtr ? FDtr : FRts) = raised;
    if (EscapeCommFunction(FHandle, dtr ? (raised ? SETDTR : CLRDTR) : (raised ? SETRTS : CLRRTS)))
        return ZQ_OK;
    // A line under handshake, or a port without modem lines (a pseudo-terminal under Wine).
    return Failed(ZQ_NOT_SUPPORTED);
}

// A port that is there but has no modem lines (a pseudo-terminal under Wine) reports them all
// inactive.
ZQ_STATUS TWin32Serial::ReadInputLines(TInputLines& lines) {
    DWORD bits = 0;
    if (!GetCommModemStatus(FHandle, &bits))
        return Failed(ZQ_OK);
    lines = {(bits & MS_CTS_ON) != 0, (bits & MS_DSR_ON) != 0, (bits & MS_RING_ON) != 0,
             (bits & MS_RLSD_ON) != 0};
    return ZQ_OK;
}

bool TWin32Serial::Queued(std::uint32_t& received, std::uint32_t& sending) {
    received = FStat.cbInQue;
    sending = FStat.cbOutQue;
    return true;
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

std::size_t TWin32Serial::TakeNow(char* into, std::size_t room) {
    DWORD n = 0;
    if (!Moved(Limit(true, 0) && ReadFile(FHandle, into, static_cast<DWORD>(room), &n, nullptr)))
        return 0;
    return n;
}

// One slice at a time, with the port looked at between them, until the deadline.
template <typename Move>
ZQ_STATUS TWin32Serial::Transfer(bool read, std::uint32_t count, std::uint32_t* done, std::uint32_t timeoutMs,
                                 Move move) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG left = Left(deadline);
        DWORD n = 0;
        const bool alive = Moved(Limit(read, left) && move(*done, &n));
        *done += n;
        if (!alive)
            return ZQ_IO_ERROR;
        if (*done == count)
            return ZQ_OK;
        if (!Alive())
            return ZQ_IO_ERROR;
        if (left == 0)
            return ZQ_OK;
    }
}

ZQ_STATUS TWin32Serial::Receive(char* into, std::uint32_t count, std::uint32_t* done,
                                std::uint32_t timeoutMs) {
    return Transfer(true, count, done, timeoutMs, [&](std::uint32_t from, DWORD* n) {
        return ReadFile(FHandle, into + from, count - from, n, nullptr) != FALSE;
    });
}

ZQ_STATUS TWin32Serial::Send(const char* from, std::uint32_t count, std::uint32_t* done,
                             std::uint32_t timeoutMs) {
    return Transfer(false, count, done, timeoutMs, [&](std::uint32_t sent, DWORD* n) {
        return WriteFile(FHandle, from + sent, count - sent, n, nullptr) != FALSE;
    });
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
