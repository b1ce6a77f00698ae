#include "sim/plantbank.h"

#include "sim/drivesim.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int32_t KStart = TDriveSim::KStartPosition;

// splitmix64 on a state of our own, so that the bank is the same whatever the standard library.
class TDraw {
public:
    explicit TDraw(std::uint64_t seed) : FState(seed) {}
    double Uniform(double low, double high) { return low + (high - low) * double(Next() >> 11) * 0x1.0p-53; }
    double LogUniform(double low, double high) { return std::exp(Uniform(std::log(low), std::log(high))); }
    int Pick(int count) { return int(Next() % std::uint64_t(count)); }

private:
    std::uint64_t Next() {
        std::uint64_t z = (FState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t FState;
};

// Three significant digits, as a bench sheet would give them.
double Rounded(double value) {
    const double scale = std::pow(10.0, 2 - std::floor(std::log10(value)));
    return std::round(value * scale) / scale;
}

// A tuning run stops at a test that overshoots more than three times the limit, the first too: a
// drive whose default settings do that has to be calmed by hand before anything can be tuned.
constexpr double KMaxDefaultOvershoot = 30;

// The most a default step can show: the motor's own overshoot, and a reading off by the noise.
double DefaultOvershoot(TPlantParameters plant) {
    constexpr std::int32_t KAmplitude = 200;
    const std::int32_t noise = plant.Noise;
    plant.Noise = 0;
    std::int32_t highest = 0;
    for (const std::int32_t count : SimulateStep(plant, TDriveSim::KDefaultRegisters, KAmplitude, 500))
        highest = std::max(highest, count - KStart);
    return 100.0 * (highest + noise - KAmplitude) / KAmplitude;
}

// A plant of the bank: its motor, load, friction, speed, current limit, delay, encoder and noise.
TPlantParameters DrawPlant(TDraw& draw, std::uint64_t seed) {
    static constexpr int KEncoders[] = {250, 500, 1000, 2000};
    TPlantParameters plant;
    // Coupled rigidly, motor and load act as one inertia: a drive with a large load ratio has a
    // small motor, as a geared axis does.
    plant.LoadRatio = Rounded(draw.LogUniform(0.5, 20));
    plant.MotorInertia = Rounded(draw.LogUniform(0.5, 3) / (1 + plant.LoadRatio));
    plant.CoulombFriction = Rounded(draw.LogUniform(0.5, 5));
    plant.ViscousFriction = Rounded(draw.LogUniform(0.2, 5));
    plant.NoLoadSpeed = Rounded(draw.Uniform(2500, 6000));
    plant.CurrentLimit = draw.Pick(2) == 0 ? 0 : Rounded(draw.Uniform(1, 3));
    plant.Delay = 1 + draw.Pick(3);
    plant.EncoderPulses = KEncoders[draw.Pick(4)];
    plant.Noise = draw.Pick(3);
    plant.Seed = seed;
    return plant;
}

// Drives drawn until `count` of them start within the limit a run can begin from.
template <typename TDrawDrive>
std::vector<TPlantParameters> Bank(int count, std::uint64_t seed, TDrawDrive drawDrive) {
    TDraw draw(seed);
    std::vector<TPlantParameters> bank;
    while (int(bank.size()) < count) {
        const TPlantParameters plant = drawDrive(draw, bank.size() + 1);
        if (DefaultOvershoot(plant) <= KMaxDefaultOvershoot)
            bank.push_back(plant);
    }
    return bank;
}

} // namespace

std::vector<TPlantParameters> PlantBank(int count, std::uint64_t seed) {
    return Bank(count, seed, DrawPlant);
}

std::vector<TPlantParameters> ForeignPlantBank(int count, std::uint64_t seed) {
    return Bank(count, seed, [](TDraw& draw, std::uint64_t noiseSeed) {
        TPlantParameters plant = DrawPlant(draw, noiseSeed);
        for (double& scale : plant.Firmware.Scales)
            scale = Rounded(draw.LogUniform(0.25, 4));
        plant.Firmware.Cascade = draw.Pick(2) == 1;
        plant.Firmware.SpeedPeriods = 1 + draw.Pick(3);
        plant.Firmware.DOnPosition = draw.Pick(2) == 1;
        plant.Resonance = draw.Pick(2) == 0 ? 0 : Rounded(draw.LogUniform(50, 300));
        plant.Backlash = draw.Pick(3) == 0 ? Rounded(draw.Uniform(0.5, 4)) : 0;
        plant.Delay = Rounded(draw.Uniform(1, 3));
        return plant;
    });
}

std::vector<std::int32_t> SimulateStep(const TPlantParameters& plant, const TRegisters& registers,
                                       std::int32_t amplitude, int samples) {
    TServoModel model(KStart, plant);
    model.StepTo(KStart + amplitude);
    std::vector<std::int32_t> counts;
    counts.reserve(std::size_t(samples));
    for (int i = 0; i < samples; ++i) {
        model.Tick(registers);
        counts.push_back(model.ReportedPosition());
    }
    return counts;
}
