#pragma once

// The DCB of a COM port as the Win32 serial backend sets and checks it, Windows' reasons for a port
// that does not open, and the time left to a deadline. No Qt, like the backend.

#include "device/port.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>

constexpr std::uint8_t KDefaultXon = 0x11;
constexpr std::uint8_t KDefaultXoff = 0x13;
constexpr DWORD KResetRate = 9600;

// The line of a converter after its reset: 9600 bit/s, 8 data bits, one stop bit, no parity, no
// flow control.
void SetResetLine(DCB& dcb);

// Raw bytes both ways, whatever else the DCB says. A line fault never stops the traffic
// (fAbortOnError would hold every transfer until the fault is cleared), and RTS and DTR follow the
// program's switches unless a handshake drives them.
void SetRawFlags(DCB& dcb, bool rts, bool dtr);

// Whether the driver took the line asked for. The output lines' control, the buffer limits and the
// event and error characters are left out: drivers report them in their own ways (Wine reports a
// handshake RTS as plainly raised, and keeps no error character).
bool Took(const DCB& want, const DCB& got);

// Windows' reasons, as the errno values that OpenFailureText words.
TOpenFailure SystemFailure(DWORD error);

// Milliseconds from now to a deadline on the GetTickCount64 clock, 0 once it has passed.
ULONGLONG Left(ULONGLONG deadline);
