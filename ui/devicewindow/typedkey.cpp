#include "ui/devicewindow/typedkey.h"

#include <array>

namespace {

// Windows-1250 bytes 0x80..0xFF; 0 where the code page leaves the byte undefined.
constexpr std::array<char16_t, 128> Cp1250Upper = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

} // namespace

std::optional<std::uint8_t> Cp1250Byte(char16_t ch) {
    if (ch < 0x80)
        return std::uint8_t(ch);
    for (size_t i = 0; i < Cp1250Upper.size(); ++i)
        if (Cp1250Upper[i] == ch)
            return std::uint8_t(0x80 + i);
    return std::nullopt;
}

std::optional<std::uint8_t> TypedKeyByte(int key, Qt::KeyboardModifiers modifiers, const QString& text) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return std::uint8_t(0x0D);
    case Qt::Key_Backspace:
        return std::uint8_t(0x08);
    case Qt::Key_Escape:
        return std::uint8_t(0x1B);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        return std::nullopt;
    default:
        break;
    }
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool alt = modifiers & Qt::AltModifier;
    // Ctrl with Alt is AltGr on Windows, which types the Polish letters; those come from the text.
    // Alt alone, or Meta, is a menu or window command, not a typed character.
    if ((alt && !ctrl) || (modifiers & Qt::MetaModifier))
        return std::nullopt;
    if (ctrl && !alt && key >= Qt::Key_A && key <= Qt::Key_Z)
        return std::uint8_t(0x01 + (key - Qt::Key_A));
    if (text.size() != 1 || (alt && text.at(0).unicode() < 0x20))
        return std::nullopt;
    return Cp1250Byte(text.at(0).unicode());
}
