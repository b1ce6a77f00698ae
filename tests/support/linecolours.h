#pragma once

#include <QColor>
#include <QLabel>

// The indicator colours as the user sees them: green (0, 128, 0) for an active line, red
// (255, 0, 0) for an inactive one; anything else shows as the colour it is.
inline QColor LineColour(bool active) {
    return active ? QColor(0, 128, 0) : QColor(255, 0, 0);
}

inline QColor ShownColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}
