#include "link/linepoll.h"

#include <algorithm>
#include <array>

std::optional<TLineStates> ReadLineStates(ZQ_HANDLE handle) {
    std::uint32_t word = 0;
    if (ZQ_GetModemStatus(handle, &word) != ZQ_OK)
        return std::nullopt;
    return TLineStates{(word & ZQ_MODEM_STATUS_CTS) != 0, (word & ZQ_MODEM_STATUS_DSR) != 0,
                       (word & ZQ_MODEM_STATUS_DCD) != 0, (word & ZQ_MODEM_STATUS_RI) != 0};
}

TPolled PollLine(TDeviceLine& line, TCaptureFile& capture) {
    TPolled polled;
    std::uint32_t waiting = line.Waiting(polled.Gone);
    if (polled.Gone)
        return polled;
    // A failing query reads every line inactive.
    polled.Lines = ReadLineStates(line.Handle()).value_or(TLineStates{});
    std::array<char, TDeviceLine::ReadBlock> buffer;
    while (waiting > 0 && !polled.Gone) {
        const std::uint32_t got =
            line.Read(buffer.data(), std::min(waiting, TDeviceLine::ReadBlock), polled.Gone);
        // A device that reports bytes and then yields none must not hold the tick: what remains
        // is asked for again at the next one.
        if (got == 0)
            break;
        waiting -= got;
        // More than echo: the drive said something of its own, and may say more.
        if (got > line.Echo().Owed())
            line.SetClean(false);
        line.Echo().Paid(got);
        if (const QString error = capture.Take(buffer.data(), got, polled.Shown); !error.isEmpty())
            polled.CaptureFailure = error;
    }
    return polled;
}
