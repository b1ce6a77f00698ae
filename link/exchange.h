#pragma once

#include "common/errors.h"
#include "device/portsettings.h"

#include <QByteArray>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>

// The drive did not echo, within the read time-out, what was sent to it: what it says next cannot
// be told from the rest of its echo.
class ENoEcho : public EKelmorError {
public:
    explicit ENoEcho(std::size_t owed)
        : EKelmorError(QStringLiteral("The drive did not echo the last %1 bytes sent to it").arg(owed)) {}
};

// An exchange with a device that must read its answer: while it lives, the device's slot holds
// its receive poll off, so no byte of the answer reaches the terminal. Every read ends by a
// deadline; bytes nobody read stay for the next poll. Once the program is asked to end, every wait
// (SettleAndPurge, ReadByte, Read) throws EExitRequested of common/errors.h instead of waiting, so
// the program ends within one read time-out; writes still go out.
//
// A real line delivers late and in bursts: a USB converter holds what the drive sends until its
// latency timer fires. So before the purge that precedes a parsed reply, the drive's echo of
// everything written to it must have come, and then the line must have been quiet for as long as
// a converter holds bytes; otherwise the rest of an earlier answer lands after the purge, ahead of
// the reply.
class TExchange {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~TExchange() = default;

    // Waits until the drive has echoed what was written to it, reading and dropping what comes, then,
    // unless the last reply was read whole and nothing else happened since, until the line has been
    // quiet for a converter's latency as measured on this device (four byte times at least), at most
    // the read time-out; then purges. Throws ENoEcho when the echo stops
    // coming for the read time-out (the debt is then forgotten, so the next try does not wait again).
    virtual void SettleAndPurge() = 0;
    // Empties the device's receive queue (what arrived and was not yet read).
    virtual void Purge() = 0;
    // Hands a whole command line to the device in one write.
    virtual void WriteLine(const QByteArray& line) = 0;
    // One byte, or none when none came within the port's read time-out or the device is gone.
    virtual std::optional<std::uint8_t> ReadByte() = 0;
    // Up to count bytes. Ends when all have come, when the deadline has passed, or when the device
    // has sent nothing for the port's read time-out.
    virtual QByteArray Read(std::uint32_t count, Clock::time_point deadline) = 0;
    // The caller has read count bytes of the drive's echo (or of what came after all of it): the drive
    // owes that much less. A reader says so only of bytes it knows to be echo, not of answers.
    virtual void EchoSeen(std::uint32_t count) = 0;
    // The reply just read was whole: nothing of it is still on its way but the echo owed. Until
    // something else is sent or comes, the next settle need not wait for a quiet line.
    virtual void ReplyComplete() = 0;
    // The reply being read broke off or lost its shape, as when the line lost a byte: how much of
    // what came was echo cannot be told, so the debt is dropped, and the next settle waits for a
    // quiet line instead of for echo that may never come.
    virtual void ReplyFailed() = 0;
    // The first bytes of an answer to the line written last (not its echo) have just come: how late
    // this device answers, which the wait for a quiet line before a purge must cover.
    virtual void AnswerCame() = 0;
    // What comes until the line has been quiet for as long as this device answers late (four byte
    // times at least), at most the read time-out: a late answer to the lines written, or nothing.
    virtual QByteArray ReadUntilQuiet() = 0;

    // Bytes read that the terminal shows all the same, as the poll would have: the answer to a line
    // the engineer sent from a page, read to confirm it.
    virtual void Show(const QByteArray& bytes) { (void)bytes; }

    // The bytes that have arrived and are not read yet, asked without waiting.
    virtual std::uint32_t Waiting() = 0;

    // The device went away during the exchange; every read since came back empty.
    virtual bool Lost() const = 0;
    // The port's rate in bit/s and its read time-out, from which callers derive their deadlines.
    virtual std::uint32_t BaudRate() const = 0;
    virtual std::chrono::milliseconds ReadTimeout() const = 0;
};

// How long count bytes take on the wire at the exchange's rate, rounded up.
inline std::chrono::microseconds WireTime(const TExchange& exchange, std::uint32_t count) {
    return std::chrono::microseconds((WireTimeNs(exchange.BaudRate(), count) + 999) / 1000);
}
