#pragma once

// The motor and its controller: a 12 V DC motor with an encoder, driven by PWM from a cascade
// controller that runs every 0.5 ms. The registers are those of the drive (P0..P8) and are read
// afresh on every control period, so a change takes effect at once. The plant parameters say which
// motor, load and power stage; the defaults are the standard drive's.

#include "sim/controllaw.h"
#include "sim/plant.h"

#include <array>
#include <cstdint>

enum class TControlMode { Voltage = 0, Torque = 1, Speed = 2, Position = 3 };

class TServoModel {
public:
    static constexpr std::int64_t KControlPeriodNs = 500'000;
    static constexpr int KSetPointFullScale = 500;
    // One speed unit of Vj and G1's F is 117/E rev/min, one acceleration unit of aj 23400/E rev/min/s.
    static constexpr double KPulsesPerSecondPerSpeedUnit = 117.0 / 60.0;
    static constexpr double KPulsesPerSecond2PerAccelUnit = 23400.0 / 60.0;

    explicit TServoModel(std::int32_t startPosition, const TPlantParameters& plant = {});

    // One control period: measure, control, and integrate the motor over 0.5 ms.
    void Tick(const TRegisters& registers);

    // The encoder count.
    std::int32_t Position() const { return FCount; }
    // The count as the drive reports it, off by the plant's measurement noise.
    std::int32_t ReportedPosition();
    double SpeedRpm() const;
    int Pwm() const { return FPwm[0]; }

    TControlMode Mode() const { return FMode; }
    void SetMode(TControlMode mode);
    // -500..500, full scale; used in the voltage, torque and speed modes.
    void SetSetPoint(std::int32_t setPoint) { FSetPoint = setPoint; }
    // Position mode; the reference jumps to target.
    void StepTo(std::int32_t target);
    // Position mode; the reference follows a trapezoid to target (speed in pulses/s, acceleration in
    // pulses/s^2, both positive).
    void MoveTo(std::int32_t target, double speed, double acceleration);
    bool Moving() const { return FProfileActive; }

private:
    void AdvanceProfile();
    std::int64_t PositionLoop(const TRegisters& registers, std::int64_t moved);
    // Runs the motor and its load over one control period; the duty cycles newest first.
    void Integrate();
    // The duty cycle acting at a fraction of the present period into it.
    int ActingPwm(double fraction) const;
    // The torque the coupling passes from the motor to the load, in N·m.
    double CouplingTorque() const;

    // The plant, in the units the integration takes.
    double FPulsesPerRevolution;
    double FRadiansPerPulse;
    double FBackEmf;      // V per pulse/s
    double FTorquePerAmp; // N·m/A
    double FInertia;      // kg·m²
    double FCoulombFriction;
    double FViscousFriction;
    double FCurrentLimit;
    double FDelay;
    TFirmware FFirmware;
    int FNoise;
    std::uint64_t FNoiseState;

    // Motor state: angle in pulses, speed in pulses/s, winding current in A.
    double FAngle;
    double FSpeed = 0.0;
    double FCurrent = 0.0;

    TControlMode FMode = TControlMode::Position;
    std::int32_t FSetPoint = 0;
    std::int32_t FCount;
    // The counts of the last periods, newest first, from which the firmware takes the speed.
    std::array<std::int32_t, 9> FCounts{};
    // The duty cycles computed, newest first; the one computed FDelay periods ago drives the motor.
    std::array<int, 3> FPwm{};

    // A load on a spring, with play: its inertia (0 while it moves with the motor as one), angle and
    // speed in pulses, the spring's stiffness and damping, half the play in pulses.
    double FLoadInertia = 0.0;
    double FLoadAngle = 0.0;
    double FLoadSpeed = 0.0;
    double FStiffness = 0.0;
    double FSpringDamping = 0.0;
    double FHalfPlay = 0.0;

    // Position loop.
    double FReference;
    TPositionPid FPid;

    // Trapezoid of a G0/G1 move.
    bool FProfileActive = false;
    double FProfileTarget = 0.0;
    double FProfileSpeed = 0.0;
    double FProfileMaxSpeed = 0.0;
    double FProfileAcceleration = 0.0;
};
