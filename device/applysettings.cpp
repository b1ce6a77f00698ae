#include "device/applysettings.h"

namespace {

// Only the low 8 bits of a status carry the result.
bool Succeeded(ZQ_STATUS status) {
    return (status & 0xFF) == 0;
}

} // namespace

bool ApplySettings(ZQ_HANDLE handle, const TPortSettings& s) {
    if (!Succeeded(ZQ_ResetDevice(handle)))
        return false;
    if (!Succeeded(ZQ_SetBaudRate(handle, s.BaudRate)))
        return false;
    const std::uint8_t stopBits = s.StopBits == 2 ? ZQ_STOP_BITS_2 : ZQ_STOP_BITS_1;
    if (!Succeeded(ZQ_SetDataCharacteristics(handle, s.DataBits, stopBits, std::uint8_t(s.Parity))))
        return false;
    const bool xonXoff = s.FlowControl == TFlowControl::XonXoff;
    if (!Succeeded(ZQ_SetFlowControl(handle, std::uint16_t(s.FlowControl), xonXoff ? s.XonChar : 0,
                                     xonXoff ? s.XoffChar : 0)))
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
