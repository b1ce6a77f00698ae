#pragma once

#include "drive/figuretexts.h"
#include "drive/registertable.h"
#include "drive/stepfigures.h"

#include <QDateTime>
#include <QString>
#include <memory>

// What Kelmor knows of the nine settings in the drive: the texts last written with "Wpisz" or read
// with "Czytaj", row by row. A null text is one not known, because a bank load, a typed command or a
// file sent to the drive came after it, or nothing wrote or read it yet.
struct TKnownSettings {
    TSettingTexts Texts;
    // When the texts were last written or read; invalid when never.
    QDateTime At;

    bool IsKnown(TSettingRow row) const { return !Texts[std::size_t(row)].isNull(); }
};

// Known settings do not change once made: tests run under the same settings share one.
using TSettingsSnapshot = std::shared_ptr<const TKnownSettings>;

// One step test of a session: the step and the positions recorded, its figures, and the settings it
// ran under as far as Kelmor knew them.
struct TTestRecord {
    int Number = 0; // 1, 2, … in the order the tests ran
    QDateTime RanAt;
    TStepRecord Step;
    TStepFigures Figures;
    TSettingsSnapshot Settings; // never null
    bool Shown = true;          // drawn on the plot

    // The measurement time in ms: two samples a millisecond.
    int TimeMs() const { return Step.SampleCount / 2; }
    // The setting's text, or "?" where it is not known.
    QString SettingText(TSettingRow row) const;
};

// A record of a test just measured or read from a file, its figures computed from its samples.
TTestRecord MakeTestRecord(int number, const QDateTime& ranAt, TStepRecord step, TSettingsSnapshot settings);

// The line that names a test on the plot: its number, KP, KV and overshoot.
QString LegendText(const TTestRecord& test);
