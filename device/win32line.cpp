#include "device/win32line.h"

#include <cerrno>
#include <cmath>

namespace {

// A driver may report the rate its divisor gives rather than the one asked for; a UART link
// tolerates a few percent.
constexpr double KRateTolerance = 0.03;

} // namespace

void SetResetLine(DCB& dcb) {
    dcb.BaudRate = KResetRate;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.XonChar = static_cast<char>(KDefaultXon);
    dcb.XoffChar = static_cast<char>(KDefaultXoff);
    dcb.fErrorChar = FALSE;
}

void SetRawFlags(DCB& dcb, bool rts, bool dtr) {
    dcb.fBinary = TRUE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fRtsControl = dcb.fOutxCtsFlow ? RTS_CONTROL_HANDSHAKE
                      : rts            ? RTS_CONTROL_ENABLE
                                       : RTS_CONTROL_DISABLE;
    dcb.fDtrControl = dcb.fOutxDsrFlow ? DTR_CONTROL_HANDSHAKE
                      : dtr            ? DTR_CONTROL_ENABLE
                                       : DTR_CONTROL_DISABLE;
}

bool Took(const DCB& want, const DCB& got) {
    const double rateError = std::abs(double(got.BaudRate) - double(want.BaudRate));
    return rateError <= KRateTolerance * double(want.BaudRate) && got.ByteSize == want.ByteSize &&
           got.Parity == want.Parity && got.StopBits == want.StopBits &&
           got.fOutxCtsFlow == want.fOutxCtsFlow && got.fOutxDsrFlow == want.fOutxDsrFlow &&
           got.fOutX == want.fOutX && got.fInX == want.fInX && got.XonChar == want.XonChar &&
           got.XoffChar == want.XoffChar;
}

TOpenFailure SystemFailure(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {ZQ_DEVICE_NOT_FOUND, ENOENT, {}};
    // Windows refuses a port that another program holds as "access denied".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return {ZQ_DEVICE_BUSY, EBUSY, {}};
    default:
        return {ZQ_DEVICE_NOT_OPENED, 0, {}};
    }
}

ULONGLONG Left(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return deadline > now ? deadline - now : 0;
}
