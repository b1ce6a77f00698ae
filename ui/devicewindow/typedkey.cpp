#include "ui/devicewindow/typedkey.h"

#include "common/codepage.h"

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
