#pragma once

// What the two serial backends (termios2 on Linux, the Win32 comm API on Windows) do alike: the
// bytes taken from the system and not yet read, the time-outs, purge and reset, the checks of the
// arguments, and a device that has gone. Each backend gives the system calls through the hooks
// below. No Qt, so that the Win32 backend builds and is checked on its own.

#include "device/port.h"

#include <cstddef>
#include <cstdint>
#include <string>

class TSerialBase : public TPort {
public:
    TSerialBase() = default;
    TSerialBase(const TSerialBase&) = delete;
    TSerialBase& operator=(const TSerialBase&) = delete;

    ZQ_STATUS ResetDevice() final;
    ZQ_STATUS SetBaudRate(std::uint32_t baudRate) final;
    ZQ_STATUS SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) final;
    ZQ_STATUS SetChars(std::uint8_t eventChar, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                       std::uint8_t errorCharEnabled) final;
    ZQ_STATUS SetEventNotification(std::uint32_t mask, void* notification) final;
    ZQ_STATUS SetDtr(bool raised) final;
    ZQ_STATUS SetRts(bool raised) final;
    ZQ_STATUS SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) final;
    ZQ_STATUS Purge(std::uint32_t mask) final;
    ZQ_STATUS GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) final;
    ZQ_STATUS GetModemStatus(std::uint32_t* modemStatus) final;
    ZQ_STATUS Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) final;
    ZQ_STATUS Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) final;

protected:
    enum class TModemLine { Dtr, Rts };
    struct TInputLines {
        bool Cts = false;
        bool Dsr = false;
        bool Ring = false;
        bool Dcd = false;
    };

    // A device that was unplugged, or whose peer closed, is closed when first seen and every call
    // fails from then on; what was received before stays readable.
    bool Alive();
    void GoneAway();

    // Changes the line settings through the backend's get and set calls and reads them back. A
    // driver may take a setting and quietly keep its own (a pseudo-terminal stays at 8 bits without
    // parity): what it did not take is refused with the status given, and the line goes back to
    // what it had. Took is the backend's comparison for its kind of line.
    template <typename TLine, typename Get, typename Set, typename Change>
    ZQ_STATUS ChangeLine(Get get, Set set, Change change, ZQ_STATUS refused);

private:
    // Whether the device is still there, looked at without waiting.
    virtual bool Present() = 0;
    virtual void Close() = 0;
    // After a system call failed: ZQ_IO_ERROR once the device has gone, else the status given.
    virtual ZQ_STATUS Failed(ZQ_STATUS refused) = 0;
    // Empties the system's receive and/or transmit buffers; false when the call failed.
    virtual bool Discard(bool rx, bool tx) = 0;
    virtual ZQ_STATUS ConfigureReset() = 0;
    virtual ZQ_STATUS ConfigureRate(std::uint32_t rate) = 0;
    // The mode has been checked; refused is the status for a mode that the driver did not take.
    virtual ZQ_STATUS ConfigureFlow(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff,
                                    ZQ_STATUS refused) = 0;
    virtual ZQ_STATUS ConfigureErrorChar(std::uint8_t errorChar, bool enabled) = 0;
    virtual ZQ_STATUS DriveLine(TModemLine line, bool raised) = 0;
    // Leaves the lines inactive where the port has none.
    virtual ZQ_STATUS ReadInputLines(TInputLines& lines) = 0;
    // The bytes waiting in the system both ways; false once the device has gone.
    virtual bool Queued(std::uint32_t& received, std::uint32_t& sending) = 0;
    // What the system has received, at most room bytes, without waiting; 0 when there is nothing.
    virtual std::size_t TakeNow(char* into, std::size_t room) = 0;
    // Moves the rest of count bytes, counting in done, waiting at most timeoutMs in all.
    virtual ZQ_STATUS Receive(char* into, std::uint32_t count, std::uint32_t* done,
                              std::uint32_t timeoutMs) = 0;
    virtual ZQ_STATUS Send(const char* from, std::uint32_t count, std::uint32_t* done,
                           std::uint32_t timeoutMs) = 0;

    ZQ_STATUS SetModemLine(TModemLine line, bool raised);
    void TakeIn();

    std::string FHeld; // received, taken from the system, not yet read
    std::uint32_t FReadTimeout = 0;
    std::uint32_t FWriteTimeout = 0;
    bool FGone = false;
};

template <typename TLine, typename Get, typename Set, typename Change>
ZQ_STATUS TSerialBase::ChangeLine(Get get, Set set, Change change, ZQ_STATUS refused) {
    if (!Alive())
        return ZQ_IO_ERROR;
    TLine before{};
    if (!get(before))
        return Failed(ZQ_IO_ERROR);
    TLine want = before;
    change(want);
    if (!set(want))
        return Failed(refused);
    TLine got{};
    if (!get(got))
        return Failed(ZQ_IO_ERROR);
    if (Took(want, got))
        return ZQ_OK;
    if (!set(before))
        return Failed(refused);
    return refused;
}
