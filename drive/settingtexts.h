#pragma once

#include "drive/registertable.h"

#include <QString>
#include <array>

// The settings' texts on screen, by row: the label left of the field, as the history's columns are
// headed too, and the caption right of it, its bracket giving the unit, spaced as the page was drawn.
struct TSettingTexts {
    const char* Label;   // UTF-8
    const char* Caption; // UTF-8
};

extern const std::array<TSettingTexts, SettingCount> SettingTextTable;

// A row's label, as a text.
QString SettingLabel(TSettingRow row);
