#pragma once

#include "link/exchange.h"

#include <cstddef>

// One policy for every exchange the line can garble (a reading, a confirmation, a block of register
// writes): the try goes again on a settled and purged line, up to MostTriesInARow tries in a row that
// got nothing done and at most a bound in all; a loss ends it at once. Readings that came whole but
// may still be wrong are a vote's business (readingvote.h), not a retry's.

constexpr int MostTriesInARow = 8;

class TRetries {
public:
    explicit TRetries(std::size_t mostInAll = MostTriesInARow) : FMostInAll(mostInAll) {}

    // After a try that failed, whether another may go. progressed: the try got part of its work
    // done, which starts the tries in a row again.
    bool Again(const TExchange& exchange, bool progressed = false) {
        FInARow = progressed ? 1 : FInARow + 1;
        ++FInAll;
        return FInARow < MostTriesInARow && FInAll < FMostInAll && !exchange.Lost();
    }

private:
    std::size_t FMostInAll;
    int FInARow = 0;
    std::size_t FInAll = 0;
};

// What `ask` reads, asked again on a settled and purged line while it fails with a TError, as the
// retries allow; a loss, another error or the last try's error is thrown on.
template <typename TError, typename TAsk> auto AskAgain(TExchange& exchange, const TAsk& ask) {
    for (TRetries retries;;) {
        try {
            return ask();
        } catch (const TError&) {
            if (!retries.Again(exchange))
                throw;
        }
        exchange.SettleAndPurge();
    }
}
