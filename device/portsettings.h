#pragma once

#include "device/zqlink.h"

#include <cstdint>

// One start bit, eight data bits and one stop bit per byte.
constexpr long long BitsPerByte = 10;

// How long count bytes take on the wire at rate bit/s, in nanoseconds, rounded up.
constexpr std::int64_t WireTimeNs(std::uint32_t rate, std::uint64_t count) {
    const long long bitRate = rate > 0 ? rate : 1;
    return std::int64_t((count * BitsPerByte * 1'000'000'000 + bitRate - 1) / bitRate);
}

// Parity and flow control, each as the device library codes it.
enum class TParity : std::uint8_t {
    None = ZQ_PARITY_NONE,
    Odd = ZQ_PARITY_ODD,
    Even = ZQ_PARITY_EVEN,
    Mark = ZQ_PARITY_MARK,
    Space = ZQ_PARITY_SPACE,
};

enum class TFlowControl : std::uint16_t {
    None = ZQ_FLOW_NONE,
    RtsCts = ZQ_FLOW_RTS_CTS,
    DtrDsr = ZQ_FLOW_DTR_DSR,
    XonXoff = ZQ_FLOW_XON_XOFF,
};

// The port settings of one device slot, as values. The members start at the defaults that every
// open writes; the port dialog edits them and ApplySettings pushes them into the device.
struct TPortSettings {
    std::uint32_t BaudRate = 115200; // bit/s
    std::uint8_t DataBits = 8;       // 7 or 8
    std::uint8_t StopBits = 1;       // 1 or 2
    TParity Parity = TParity::None;
    TFlowControl FlowControl = TFlowControl::None;
    std::uint8_t XonChar = 0x11; // XON and XOFF reach the device with XON/XOFF flow control only
    std::uint8_t XoffChar = 0x13;
    std::uint8_t EventChar = 0x00;
    std::uint8_t ErrorChar = 0x00;
    std::int32_t EventCharEnabled = 0;
    std::int32_t ErrorCharEnabled = 0;
    std::int32_t Rts = 1;
    std::int32_t Dtr = 1;
    std::int32_t RxTimeout = 300;
    std::int32_t TxTimeout = 300;
    std::int32_t EventMask = 0;

    bool operator==(const TPortSettings&) const = default;
};
