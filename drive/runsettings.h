#pragma once

#include "drive/motordata.h"
#include "drive/registertable.h"
#include "drive/tuning.h"

#include <array>
#include <optional>

// The settings a tuning run writes, from what the drive held when it started: the rows the plan does
// not vary stay as they were, the varied ones take a round's gains. It checks the plan before anything
// is written, and every value the plan may write.
class TRunSettings {
public:
    TRunSettings(const TTuningPlan& plan, const TMotorData& motor, const TRegisterValues& original);

    // Throws EKelmorError for a plan that cannot run, before the drive is asked anything.
    static void CheckPlan(const TTuningPlan& plan);

    const TRegisterValues& Original() const { return FOriginal; }
    bool Varied(TSettingRow row) const;
    // A row's figure as the drive held it.
    double DriveFigure(TSettingRow row) const;
    // The figure of a row in a round: its gain when the plan varies it, else what the drive held.
    double Figure(TSettingRow row, const std::array<double, 2>& gains) const;
    // The drive's registers with the varied rows converted from the round's gains, and KP or KI, when
    // given, from their own figures. A Limit V goes with the KV it was set for, so a varied KV converts
    // it again, from its figure.
    TRegisterValues Registers(const std::array<double, 2>& gains, std::optional<double> kp = std::nullopt,
                              std::optional<double> ki = std::nullopt) const;
    // What a round writes for KI: nothing when the search may not lower it.
    std::optional<double> KiWritten(double ki) const;
    // Throws EKelmorError, with nothing written, when a value the plan may write does not convert or
    // the search would start outside its box.
    void CheckValues() const;

private:
    // In full precision, which converts back to the register it came from.
    TFigure ExactFigure(TSettingRow row) const;

    const TTuningPlan& FPlan;
    // A copy: the motor data may be edited while the run goes on, and every round converts as the first.
    const TMotorData FMotor;
    TRegisterValues FOriginal;
};
