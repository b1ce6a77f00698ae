#include "link/echodebt.h"

void TEchoDebt::Sent(const void* bytes, std::size_t size) {
    constexpr std::uint8_t CarriageReturn = '\r', LineFeed = '\n', Backspace = 0x08, Delete = 0x7F,
                           Xon = 0x11, Xoff = 0x13, FirstIgnored = 0x80;
    const auto* byte = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = byte[i];
        if (b >= FirstIgnored || b == Xon || b == Xoff) {
            continue;
        } else if (b == CarriageReturn) {
            FOwed += 2;
            FLineLength = 0;
        } else if (b == Backspace || b == Delete) {
            if (FLineLength > 0) {
                FOwed += 3;
                --FLineLength;
            }
        } else if (b == LineFeed) {
            ++FOwed;
        } else if (FLineLength >= KLongestLine) {
            FLineLength = 0;
        } else {
            ++FOwed;
            ++FLineLength;
        }
    }
}
