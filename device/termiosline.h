#pragma once

// The termios2 settings of a serial line, as the serial backend sets and checks them.

#include <asm/termbits.h>
#include <cstdint>

constexpr std::uint8_t KDefaultXon = 0x11;
constexpr std::uint8_t KDefaultXoff = 0x13;
constexpr std::uint32_t KResetRate = 9600;

// The rate, by its own code where it has one (so that programs reading the line with the classic
// calls see it), else as BOTHER with the number; the input follows the output rate.
void SetRate(termios2& tio, std::uint32_t rate);

// Raw bytes both ways, and the line of a converter after its reset: 9600 bit/s, 8 data bits, one
// stop bit, no parity, no flow control. The modem lines do not gate the traffic (CLOCAL), and a
// read takes what is there (VMIN and VTIME 0) and never waits in the driver.
void SetResetLine(termios2& tio);

// Whether the driver took the settings asked for. The rate is compared as a number, since a
// driver may store it under another code, and within a few percent, which a UART link tolerates.
bool Took(const termios2& want, const termios2& got);
