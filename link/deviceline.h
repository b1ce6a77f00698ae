#pragma once

#include "device/zqlink.h"
#include "link/echodebt.h"

#include <array>
#include <chrono>
#include <cstdint>

// The line to an open device and what is known of it: the echo the drive owes, whether its last
// reply was read whole with nothing since, when anything last moved on it, and how late this
// device answers. Every byte to and from the device passes here, so that what is known follows
// what was sent and read. A call that finds the device gone says so; what a loss means to the
// rest (timers, signals, reconnecting) is the slot's.
class TDeviceLine {
public:
    using Clock = std::chrono::steady_clock;
    // Blocks of at most this many bytes per read.
    static constexpr std::uint32_t ReadBlock = 256;

    // A status that says the device has gone away: unplugged, or the peer closed.
    static bool Gone(ZQ_STATUS status) { return status == ZQ_IO_ERROR; }

    // 0 while no device is attached: closed or lost.
    ZQ_HANDLE Handle() const { return FHandle; }
    bool Attached() const { return FHandle != 0; }
    // A new device owes nothing yet; what a lost one owed will not come.
    void Attach(ZQ_HANDLE handle);
    // Closes the device; what is known of an unfinished line stays for the next one to take back.
    void Detach();

    // The one write: the bytes the device took are owed back as echo. Nothing while detached.
    std::uint32_t Write(const void* data, std::uint32_t size, bool& gone);
    // At most `count` bytes, as the device's read time-out allows.
    std::uint32_t Read(void* buffer, std::uint32_t count, bool& gone);
    // The bytes the device holds for reading; 0 while detached.
    std::uint32_t Waiting(bool& gone);
    // Throws away what was received; it has come, echo or not.
    void Purge(bool& gone);

    TEchoDebt& Echo() { return FEcho; }
    const TEchoDebt& Echo() const { return FEcho; }
    // The last reply was read whole, and nothing was sent or came since but echo.
    bool Clean() const { return FClean; }
    void SetClean(bool clean) { FClean = clean; }
    // A new line to the device: nothing owed, nothing seen waiting.
    void Forget();

    // When something was last sent, or last came.
    Clock::time_point LastActivity() const { return FLastActivity; }
    // How long the device held bytes before they could be read, from a line written to the first
    // byte after it, kept over the last few answers.
    void NoteAnswerDelay(Clock::duration delay);
    Clock::duration AnswerDelay() const;
    void ForgetAnswerDelays() { FAnswerDelays = {}; }

private:
    void NoteWaiting(std::uint32_t waiting);
    void NoteRead(std::uint32_t count);

    ZQ_HANDLE FHandle = 0;
    TEchoDebt FEcho;
    bool FClean = false;
    Clock::time_point FLastActivity{};
    std::uint32_t FSeenWaiting = 0;
    std::array<Clock::duration, 8> FAnswerDelays{};
    std::size_t FNextAnswerDelay = 0;
};
