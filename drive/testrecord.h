#pragma once

#include "drive/figuretexts.h"
#include "drive/registertable.h"
#include "drive/stepfigures.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// What Kelmor knows of the nine registers in the drive, by register number: the values last written
// or read, none where not known (nothing wrote or read it yet, or a bank load, a typed line, a file
// sent or a reconnection came after).
struct TKnownSettings {
    std::array<std::optional<std::int32_t>, SettingCount> Registers;
    // When they were last written or read; invalid when never.
    QDateTime At;

    std::optional<std::int32_t> Register(TSettingRow row) const {
        return Registers[std::size_t(RegisterTable[std::size_t(row)].Register)];
    }
    bool IsKnown(TSettingRow row) const { return Register(row).has_value(); }
    // All nine, as written or read together.
    static TKnownSettings All(const TRegisterValues& registers);
};

// Known settings do not change once made: tests run under the same settings share one.
using TSettingsSnapshot = std::shared_ptr<const TKnownSettings>;

// A setting as the settings page shows it, converted with the motor data (Limit V with the KV known
// with it); "?" where it is not known or the motor data cannot convert it.
QString SettingText(const TKnownSettings& settings, TSettingRow row, const TMotorData& motor);

// One step test of a history: the step and the positions recorded, its figures, and the settings it
// ran under as far as Kelmor knew them.
struct TTestRecord {
    int Number = 0; // 1, 2, … in the order the tests ran
    QDateTime RanAt;
    TStepRecord Step;
    TStepFigures Figures;
    TSettingsSnapshot Settings; // never null

    // The measurement time in ms: two samples a millisecond.
    int TimeMs() const { return Step.SampleCount / 2; }
};

// A record of a test just measured or read from a file, its figures computed from its samples.
TTestRecord MakeTestRecord(int number, const QDateTime& ranAt, TStepRecord step, TSettingsSnapshot settings);

// The line that names a test on the plot: its number, KP, KV (which need no motor data) and overshoot.
QString LegendText(const TTestRecord& test);
