#pragma once

#include <cstdint>
#include <optional>

// The byte of a character in Windows-1250, the single-byte code page of the drive's terminal;
// none for characters that code page does not hold.
std::optional<std::uint8_t> Cp1250Byte(char16_t ch);
