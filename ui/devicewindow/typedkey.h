#pragma once

#include <QString>
#include <Qt>
#include <cstdint>
#include <optional>

// The byte that a key typed into the terminal sends to the device, or none for keys that type no
// character. Enter is a carriage return, Backspace 0x08, Escape 0x1B, Ctrl+A..Ctrl+Z 0x01..0x1A;
// Tab and Delete type nothing here, so that Tab keeps moving the focus.
std::optional<std::uint8_t> TypedKeyByte(int key, Qt::KeyboardModifiers modifiers, const QString& text);
