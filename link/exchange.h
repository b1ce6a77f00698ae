#pragma once

#include <QByteArray>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

// An exchange with a device that must read its answer: while it lives, the device's slot holds
// its receive poll off, so no byte of the answer reaches the terminal. Every read ends by a
// deadline; bytes nobody read stay for the next poll. Once the program is asked to end, every wait
// (WaitForQuiet, ReadByte, Read) throws EExitRequested of common/errors.h instead of waiting, so the
// program ends within one read time-out; writes still go out.
class TExchange {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~TExchange() = default;

    // Returns once the device has sent nothing for the quiet time, or after the port's read time-out
    // at the latest; what came meanwhile stays unread. Bytes still on their way when a purge runs would
    // arrive after it, ahead of the reply.
    virtual void WaitForQuiet(std::chrono::microseconds quiet) = 0;
    // Empties the device's receive queue (what arrived and was not yet read).
    virtual void Purge() = 0;
    // Hands a whole command line to the device in one write.
    virtual void WriteLine(const QByteArray& line) = 0;
    // One byte, or none when none came within the port's read time-out or the device is gone.
    virtual std::optional<std::uint8_t> ReadByte() = 0;
    // Up to count bytes. Ends when all have come, when the deadline has passed, or when the device
    // has sent nothing for the port's read time-out.
    virtual QByteArray Read(std::uint32_t count, Clock::time_point deadline) = 0;

    // The bytes that have arrived and are not read yet, asked without waiting.
    virtual std::uint32_t Waiting() = 0;

    // The device went away during the exchange; every read since came back empty.
    virtual bool Lost() const = 0;
    // The port's rate in bit/s and its read time-out, from which callers derive their deadlines.
    virtual std::uint32_t BaudRate() const = 0;
    virtual std::chrono::milliseconds ReadTimeout() const = 0;

    // Waits until nothing has arrived for four byte times (1 ms at least), then purges: the end of
    // an earlier answer still on the wire cannot then land after the purge, ahead of the reply.
    void SettleAndPurge() {
        const long long rate = std::max<long long>(BaudRate(), 1);
        WaitForQuiet(
            std::max(std::chrono::microseconds(40'000'000LL / rate), std::chrono::microseconds(1000)));
        Purge();
    }
};
