#include "sim/servomodel.h"
#include "sim/splitmix.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// The standard motor: 12 V supply and rating, 6 ohm, 1.5 mH, 4000 rev/min at 12 V without load, a
// mechanical time constant of 10 ms, some Coulomb and viscous friction. Other plants scale its
// inertia and change its speed constant, friction and encoder.
constexpr double KSupplyVolts = 12.0;
constexpr double KResistance = 6.0;
constexpr double KInductance = 1.5e-3;
constexpr double KRatedRpm = 4000.0;
constexpr double KMechanicalTimeConstant = 0.010;
constexpr double KRatedTorquePerAmp = KSupplyVolts / (KRatedRpm / 60.0 * 2.0 * std::numbers::pi);
constexpr double KMotorInertia =
    KMechanicalTimeConstant * KRatedTorquePerAmp * KRatedTorquePerAmp / KResistance;

constexpr double KControlPeriod = TServoModel::KControlPeriodNs * 1e-9;
// The spring a load rings on is lightly damped; play with no spring of its own closes on a stiff one.
constexpr double KSpringDampingRatio = 0.05;
constexpr double KStiffCouplingHz = 1000.0;
constexpr double KStiffDampingRatio = 0.3;
// The electrical time constant is 0.25 ms; 50 steps a period keep explicit Euler well inside it.
constexpr int KSubsteps = 50;

std::int32_t CountOf(double angle) {
    return static_cast<std::int32_t>(std::floor(angle));
}

} // namespace

TServoModel::TServoModel(std::int32_t startPosition, const TPlantParameters& plant)
    : FPulsesPerRevolution(plant.EncoderPulses),
      FRadiansPerPulse(2.0 * std::numbers::pi / FPulsesPerRevolution),
      // Back-EMF in V per pulse/s; the torque constant equals it in SI units.
      FBackEmf(KSupplyVolts / (plant.NoLoadSpeed / 60.0 * FPulsesPerRevolution)),
      FTorquePerAmp(KSupplyVolts / (plant.NoLoadSpeed / 60.0 * 2.0 * std::numbers::pi)),
      FInertia(KMotorInertia * plant.MotorInertia * (1.0 + plant.LoadRatio)),
      FCoulombFriction(plant.CoulombFriction / 1000.0), FViscousFriction(plant.ViscousFriction / 1e6),
      FCurrentLimit(plant.CurrentLimit), FDelay(std::clamp(plant.Delay, 1.0, 3.0)), FFirmware(plant.Firmware),
      FNoise(plant.Noise), FNoiseState(plant.Seed), FAngle(startPosition + 0.5), FCount(startPosition),
      FReference(startPosition) {
    FCounts.fill(startPosition);
    FFirmware.SpeedPeriods = std::clamp(FFirmware.SpeedPeriods, 1, int(FCounts.size()) - 1);
    if (plant.LoadRatio <= 0.0 || (plant.Resonance <= 0.0 && plant.Backlash <= 0.0))
        return;
    // The load on a coupling of its own: the motor's inertia alone drives it through the spring.
    FInertia = KMotorInertia * plant.MotorInertia;
    FLoadInertia = FInertia * plant.LoadRatio;
    FLoadAngle = FAngle;
    const bool spring = plant.Resonance > 0.0;
    const double omega = 2.0 * std::numbers::pi * (spring ? plant.Resonance : KStiffCouplingHz);
    const double reduced = FInertia * FLoadInertia / (FInertia + FLoadInertia);
    FStiffness = omega * omega * reduced;
    FSpringDamping = 2.0 * (spring ? KSpringDampingRatio : KStiffDampingRatio) * omega * reduced;
    FHalfPlay = plant.Backlash / 2.0;
}

double TServoModel::SpeedRpm() const {
    return FSpeed * 60.0 / FPulsesPerRevolution;
}

std::int32_t TServoModel::ReportedPosition() {
    const std::int32_t count = FCount;
    if (FNoise == 0)
        return count;
    const std::uint64_t z = SplitMix64(FNoiseState);
    return count + static_cast<std::int32_t>(z % std::uint64_t(2 * FNoise + 1)) - FNoise;
}

void TServoModel::SetMode(TControlMode mode) {
    if (mode == TControlMode::Position && FMode != TControlMode::Position) {
        // Take over where the motor stands, without a jump and without an old integral.
        FReference = FCount;
        FPid.Reset();
        FProfileActive = false;
    }
    FMode = mode;
}

void TServoModel::StepTo(std::int32_t target) {
    SetMode(TControlMode::Position);
    FProfileActive = false;
    FReference = target;
}

void TServoModel::MoveTo(std::int32_t target, double speed, double acceleration) {
    SetMode(TControlMode::Position);
    if (!FProfileActive)
        FProfileSpeed = 0.0;
    FProfileActive = true;
    FProfileTarget = target;
    FProfileMaxSpeed = speed;
    FProfileAcceleration = acceleration;
}

void TServoModel::AdvanceProfile() {
    const double remaining = FProfileTarget - FReference;
    const double direction = remaining >= 0.0 ? 1.0 : -1.0;
    const double dv = FProfileAcceleration * KControlPeriod;
    double v = FProfileSpeed;
    const double along = v * direction;
    const double brakingDistance = v * v / (2.0 * FProfileAcceleration);
    if (along < 0.0 || (along > 0.0 && brakingDistance >= std::fabs(remaining)))
        v -= std::copysign(std::min(dv, std::fabs(v)), v);
    else if (along < FProfileMaxSpeed)
        v = direction * std::min(along + dv, FProfileMaxSpeed);
    else
        v = direction * std::max(along - dv, FProfileMaxSpeed);

    const double step = v * KControlPeriod;
    const bool arrives = std::fabs(remaining) <= std::fabs(step) ||
                         (std::fabs(v) <= dv && std::fabs(remaining) <= dv * KControlPeriod);
    if (arrives) {
        FReference = FProfileTarget;
        FProfileSpeed = 0.0;
        FProfileActive = false;
    } else {
        FReference += step;
        FProfileSpeed = v;
    }
}

std::int64_t TServoModel::PositionLoop(const TRegisters& r, std::int64_t moved) {
    if (FProfileActive)
        AdvanceProfile();
    return FPid.Step(r, FFirmware, std::llround(FReference) - FCount, moved);
}

void TServoModel::Tick(const TRegisters& registers) {
    FCount = CountOf(FAngle);
    std::copy_backward(FCounts.begin(), FCounts.end() - 1, FCounts.end());
    FCounts[0] = FCount;
    const int periods = FFirmware.SpeedPeriods;
    const TSpeed speed{std::int64_t{FCount} - FCounts[std::size_t(periods)], periods};

    // Speed reference in the units of Limit V, feedback KV, back-EMF compensation KG (1.0
    // compensates the rated back-EMF fully); output in 1/512 of full PWM.
    const TRegisters r = Applied(registers, FFirmware);
    std::int64_t pwm = 0;
    switch (FMode) {
    case TControlMode::Voltage:
        pwm = std::int64_t{FSetPoint} * KPwmFullScale / KSetPointFullScale;
        break;
    case TControlMode::Torque:
        pwm = std::int64_t{FSetPoint} * r[5] / KSetPointFullScale + BackEmfCompensation(r, speed);
        break;
    case TControlMode::Speed:
        pwm =
            SpeedLoop(r, FFirmware, std::int64_t{FSetPoint} * std::max(r[0], 0) / KSetPointFullScale, speed);
        break;
    case TControlMode::Position:
        pwm = SpeedLoop(r, FFirmware, PositionLoop(r, std::int64_t{FCount} - FCounts[1]), speed);
        break;
    }
    // A new duty cycle takes effect after the plant's delay; this period runs on earlier ones.
    Integrate();
    std::copy_backward(FPwm.begin(), FPwm.end() - 1, FPwm.end());
    FPwm[0] = LimitedPwm(r, pwm);
}

int TServoModel::ActingPwm(double fraction) const {
    // A duty cycle computed at a period's start acts from FDelay periods later: within this period
    // the one computed floor(FDelay) periods before the last, until the fraction of FDelay has passed.
    const double whole = std::floor(FDelay);
    const auto index = std::size_t(whole) - (fraction < FDelay - whole ? 0 : 1);
    return FPwm[std::min(index, FPwm.size() - 1)];
}

double TServoModel::CouplingTorque() const {
    if (FLoadInertia <= 0.0)
        return 0.0;
    const double twist = FAngle - FLoadAngle;
    if (std::fabs(twist) <= FHalfPlay)
        return 0.0;
    const double wound = twist - std::copysign(FHalfPlay, twist);
    return (FStiffness * wound + FSpringDamping * (FSpeed - FLoadSpeed)) * FRadiansPerPulse;
}

void TServoModel::Integrate() {
    constexpr double dt = KControlPeriod / KSubsteps;
    for (int i = 0; i < KSubsteps; ++i) {
        const double volts = KSupplyVolts * ActingPwm(double(i) / KSubsteps) / KPwmFullScale;
        FCurrent += dt * (volts - KResistance * FCurrent - FBackEmf * FSpeed) / KInductance;
        // The power stage holds the winding current within its limit.
        if (FCurrentLimit > 0.0)
            FCurrent = std::clamp(FCurrent, -FCurrentLimit, FCurrentLimit);
        const double coupling = CouplingTorque();
        const double omega = FSpeed * FRadiansPerPulse;
        const double torque = FTorquePerAmp * FCurrent - FViscousFriction * omega - coupling;
        double next = omega + dt * torque / FInertia;
        // Coulomb friction brakes towards standstill and holds the motor there while the torque
        // is below it, instead of pushing it backwards.
        const double frictionStep = dt * FCoulombFriction / FInertia;
        next = std::fabs(next) <= frictionStep ? 0.0 : next - std::copysign(frictionStep, next);
        FSpeed = next / FRadiansPerPulse;
        FAngle += dt * FSpeed;
        if (FLoadInertia > 0.0) {
            FLoadSpeed += dt * coupling / FLoadInertia / FRadiansPerPulse;
            FLoadAngle += dt * FLoadSpeed;
        }
    }
}
