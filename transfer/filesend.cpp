#include "transfer/filesend.h"

#include <algorithm>
#include <thread>

namespace {
constexpr std::chrono::milliseconds KRetryPause(10);
}

std::chrono::milliseconds SendStallLimit(std::int32_t writeTimeoutMs) {
    return std::max(std::chrono::milliseconds(3000),
                    std::chrono::milliseconds(3 * std::int64_t(writeTimeoutMs)));
}

TSendResult SendFile(std::FILE* file, TDeviceSlot& slot, std::uint64_t total, const TSendHooks& hooks,
                     std::chrono::milliseconds stallLimit, TSendProgress* progress) {
    using Clock = std::chrono::steady_clock;
    TSendProgress state{0, total};
    unsigned char buffer[256];
    TSendResult result = TSendResult::Done;
    for (;;) {
        const std::size_t read = std::fread(buffer, 1, sizeof buffer, file);
        if (read == 0) {
            if (std::ferror(file))
                result = TSendResult::ReadError;
            break;
        }
        std::size_t done = 0;
        Clock::time_point lastAccepted = Clock::now();
        while (done < read) {
            if (!slot.IsOpen() || slot.IsLost()) {
                result = TSendResult::Lost;
                break;
            }
            const Clock::time_point attempt = Clock::now();
            const std::uint32_t written = slot.Write(buffer + done, std::uint32_t(read - done));
            if (written > 0) {
                done += written;
                state.Sent += written;
                lastAccepted = Clock::now();
                continue;
            }
            if (hooks.Waiting)
                hooks.Waiting();
            if (Clock::now() - lastAccepted >= stallLimit) {
                result = TSendResult::Stalled;
                break;
            }
            // A device that refuses at once is asked again at a walking pace, not in a busy loop.
            std::this_thread::sleep_until(attempt + KRetryPause);
        }
        if (result != TSendResult::Done)
            break;
        if (hooks.Progress && !hooks.Progress(state)) {
            result = TSendResult::Cancelled;
            break;
        }
    }
    if (progress)
        *progress = state;
    return result;
}
