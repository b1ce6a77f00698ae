#pragma once

// What the readers of the drive's replies share: deadlines from the port's rate and read time-out, the
// value text as a bad answer's message shows it, and a reader framed so that its failure drops the
// echo owed.

#include "common/numtext.h"
#include "link/exchange.h"

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdint>

namespace replyframe {

using ::WireTime;

// When a read of count bytes, which the drive sends at once, must have ended.
inline TExchange::Clock::time_point Deadline(const TExchange& exchange, std::uint32_t count) {
    return TExchange::Clock::now() + exchange.ReadTimeout() + WireTime(exchange, count);
}

// The value text as the drive's reply has it, with the space that the conversion puts in front.
inline QString SpacedText(const QByteArray& text) {
    return QLatin1Char(' ') + QString::fromLatin1(text);
}

// A text too long to be a value: leading zeros or blanks could make any length a valid integer.
[[noreturn]] inline void ThrowOverlong(const QByteArray& text) {
    ThrowInvalidInteger(SpacedText(text));
}

// Runs a reader; when it fails, what it read can no longer be told apart into echo and answer, so
// the exchange settles the next time by a quiet line rather than by the echo it counts.
template <class TRead> auto Framed(TExchange& exchange, TRead read) {
    try {
        return read();
    } catch (...) {
        exchange.ReplyFailed();
        throw;
    }
}

// What came of a reply that does not have its shape, as the message for a bad answer shows it.
[[noreturn]] inline void ThrowBadReply(const QByteArray& came) {
    ThrowInvalidInteger(SpacedText(came));
}

} // namespace replyframe
