#pragma once

// The line settings that the Win32 check applies in turn under Wine, and that the test beside it
// finds on the pseudo-terminal when they are accepted. Qt-free: the check is a Windows program.

#include "device/zqlink.h"

struct TLineCase {
    bool Reset; // the converter's reset rather than the three settings
    std::uint32_t Rate;
    std::uint8_t WordLength, StopBits, Parity;
    std::uint16_t Flow;
    std::uint8_t Xon, Xoff;
    ZQ_STATUS Expected; // the first status other than ZQ_OK
};

inline constexpr TLineCase KLineCases[] = {
    {true, 9600, 8, ZQ_STOP_BITS_1, ZQ_PARITY_NONE, ZQ_FLOW_NONE, 0x11, 0x13, ZQ_OK},
    {false, 57600, 8, ZQ_STOP_BITS_2, ZQ_PARITY_NONE, ZQ_FLOW_RTS_CTS, 0, 0, ZQ_OK},
    {false, 921600, 8, ZQ_STOP_BITS_1, ZQ_PARITY_NONE, ZQ_FLOW_XON_XOFF, 'A', 'B', ZQ_OK},
    // Wine sets a rate without a code of its own as a custom divisor, which a pseudo-terminal lacks;
    // a pseudo-terminal keeps 8 data bits without parity; Wine has no DTR/DSR handshake.
    {false, 14400, 8, ZQ_STOP_BITS_1, ZQ_PARITY_NONE, ZQ_FLOW_NONE, 0, 0, ZQ_INVALID_BAUD_RATE},
    {false, 115200, 7, ZQ_STOP_BITS_1, ZQ_PARITY_NONE, ZQ_FLOW_NONE, 0, 0, ZQ_NOT_SUPPORTED},
    {false, 115200, 8, ZQ_STOP_BITS_1, ZQ_PARITY_EVEN, ZQ_FLOW_NONE, 0, 0, ZQ_NOT_SUPPORTED},
    {false, 115200, 8, ZQ_STOP_BITS_1, ZQ_PARITY_NONE, ZQ_FLOW_DTR_DSR, 0, 0, ZQ_NOT_SUPPORTED},
    {false, 115200, 8, ZQ_STOP_BITS_1, ZQ_PARITY_NONE, ZQ_FLOW_XON_XOFF, 0x11, 0x11, ZQ_INVALID_PARAMETER},
    {true, 9600, 8, ZQ_STOP_BITS_1, ZQ_PARITY_NONE, ZQ_FLOW_NONE, 0x11, 0x13, ZQ_OK},
};
