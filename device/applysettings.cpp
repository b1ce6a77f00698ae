#include "device/applysettings.h"

namespace {

// Only the low 8 bits of a status carry the result.
bool Succeeded(ZQ_STATUS status) {
    return (status & 0xFF) == 0;
}

std::uint16_t FlowMode(std::int32_t flowControl) {
    switch (flowControl) {
    case 1:
        return ZQ_FLOW_RTS_CTS;
    case 2:
        return ZQ_FLOW_DTR_DSR;
    case 3:
        return ZQ_FLOW_XON_XOFF;
    default:
        return ZQ_FLOW_NONE;
    }
}

} // namespace

std::uint32_t SettingsBaudRate(const TPortSettings& s) {
    if (s.BaudIndex >= 0 && s.BaudIndex < std::int32_t(KBaudRates.size()))
        return KBaudRates[std::size_t(s.BaudIndex)];
    return s.TypedBaudRate > 0 ? std::uint32_t(s.TypedBaudRate) : 115200;
}

bool ApplySettings(ZQ_HANDLE handle, const TPortSettings& s) {
    if (!Succeeded(ZQ_ResetDevice(handle)))
        return false;
    if (!Succeeded(ZQ_SetBaudRate(handle, SettingsBaudRate(s))))
        return false;
    const auto wordLength = std::uint8_t(s.DataBitsIndex + 7);
    const std::uint8_t stopBits = s.StopBitsIndex == 1 ? ZQ_STOP_BITS_2 : ZQ_STOP_BITS_1;
    if (!Succeeded(ZQ_SetDataCharacteristics(handle, wordLength, stopBits, std::uint8_t(s.Parity))))
        return false;
    const std::uint16_t mode = FlowMode(s.FlowControl);
    const bool xonXoff = mode == ZQ_FLOW_XON_XOFF;
    if (!Succeeded(ZQ_SetFlowControl(handle, mode, xonXoff ? s.XonChar : 0, xonXoff ? s.XoffChar : 0)))
        return false;
    if (!Succeeded(ZQ_SetChars(handle, s.EventChar, s.EventCharEnabled ? 1 : 0, s.ErrorChar,
                               s.ErrorCharEnabled ? 1 : 0)))
        return false;
    ZQ_SetEventNotification(handle, std::uint32_t(s.EventMask), nullptr);
    s.Dtr ? ZQ_SetDtr(handle) : ZQ_ClrDtr(handle);
    s.Rts ? ZQ_SetRts(handle) : ZQ_ClrRts(handle);
    ZQ_SetTimeouts(handle, std::uint32_t(s.RxTimeout), std::uint32_t(s.TxTimeout));
    ZQ_Purge(handle, ZQ_PURGE_RX | ZQ_PURGE_TX);
    return true;
}
