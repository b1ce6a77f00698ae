#pragma once

#include <cstdint>

// The port settings of one device slot: the port dialog's choices only. The members start at the
// defaults that every open writes; the port dialog edits them and ApplySettings pushes them into
// the device.
struct TPortSettings {
    std::int32_t BaudIndex = 10; // 115200 bit/s
    std::int32_t DataBitsIndex = 1;
    std::int32_t StopBitsIndex = 0;
    std::int32_t Parity = 0;
    std::int32_t FlowControl = 0;
    std::uint8_t XonChar = 0x11;
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
    // A rate typed into the dialog that is not in its list; used while BaudIndex is outside the list.
    std::int32_t TypedBaudRate = 0;

    bool operator==(const TPortSettings&) const = default;
};
