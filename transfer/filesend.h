#pragma once

#include "link/deviceslot.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>

// How a file send ended.
enum class TSendResult {
    Done,      // every byte of the file was accepted by the device
    Cancelled, // the user stopped it between two chunks
    Stalled,   // the device accepted nothing for the whole stall limit
    ReadError, // the file could not be read to its end
    Lost,      // the device went away or was closed
};

struct TSendProgress {
    std::uint64_t Sent = 0;
    std::uint64_t Total = 0;
};

struct TSendHooks {
    // Runs whenever a write accepts nothing, before it is retried: the place to let the event loop
    // run, so that the slots' polls take what the device sends meanwhile.
    std::function<void()> Waiting;
    // Runs after every chunk; returning false cancels the send.
    std::function<bool(const TSendProgress&)> Progress;
};

// The longest a send waits for a device that accepts nothing, given the port's write time-out.
std::chrono::milliseconds SendStallLimit(std::int32_t writeTimeoutMs);

// Sends the rest of a file to a slot's device in chunks of 256 bytes; a write that takes only part
// of a chunk is followed by one for the rest, and one that takes nothing waits and retries until
// the stall limit has passed without a byte accepted.
TSendResult SendFile(std::FILE* file, TDeviceSlot& slot, std::uint64_t total, const TSendHooks& hooks,
                     std::chrono::milliseconds stallLimit, TSendProgress* progress = nullptr);
