#include "sim/plant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

struct TPlantKey {
    const char* Key;
    const char* Letter;  // stands for the value in the help
    const char* Meaning; // in the help, before the range
    const char* Note;    // in the help, after the range
    double Lowest;
    double Highest;
    bool Whole;
    double (*Get)(const TPlantParameters&);
    void (*Set)(TPlantParameters&, double);
};

#define KELMOR_PLANT_FIELD(field, type)                                                                      \
    [](const TPlantParameters& p) { return double(p.field); },                                               \
        [](TPlantParameters& p, double v) { p.field = type(v); }

const TPlantKey KPlantKeys[] = {
    {"motor", "M", "motor inertia, times the standard motor's", "", 0.01, 10, false,
     KELMOR_PLANT_FIELD(MotorInertia, double)},
    {"load", "R", "load inertia over the motor's", "", 0, 50, false, KELMOR_PLANT_FIELD(LoadRatio, double)},
    {"coulomb", "C", "Coulomb friction in mN*m", "", 0, 50, false,
     KELMOR_PLANT_FIELD(CoulombFriction, double)},
    {"viscous", "V", "viscous friction in uN*m*s/rad", "", 0, 100, false,
     KELMOR_PLANT_FIELD(ViscousFriction, double)},
    {"speed", "S", "no-load speed at 12 V in rev/min", "", 500, 20000, false,
     KELMOR_PLANT_FIELD(NoLoadSpeed, double)},
    {"current", "I", "current limit of the power stage in A", ", 0 for none", 0, 100, false,
     KELMOR_PLANT_FIELD(CurrentLimit, double)},
    {"delay", "D", "control periods from measuring to the new duty cycle", ", a fraction too", 1, 3, false,
     KELMOR_PLANT_FIELD(Delay, double)},
    {"encoder", "E", "encoder pulses per revolution", "", 16, 100000, true,
     KELMOR_PLANT_FIELD(EncoderPulses, int)},
    {"noise", "N", "each position reported is off by up to N pulses", "", 0, 100, true,
     KELMOR_PLANT_FIELD(Noise, int)},
    {"seed", "K", "seed of that jitter and of the bytes the line loses", "", 0, 1e9, true,
     KELMOR_PLANT_FIELD(Seed, std::uint64_t)},
    {"resonance", "F", "Hz the load rings at on a spring between it and the motor", ", 0 for rigid", 0, 1000,
     false, KELMOR_PLANT_FIELD(Resonance, double)},
    {"backlash", "B", "pulses of play between the motor and the load", "", 0, 100, false,
     KELMOR_PLANT_FIELD(Backlash, double)},
    {"kvscale", "S", "KV as the firmware applies it, times the register", "", 0.1, 10, false,
     KELMOR_PLANT_FIELD(Firmware.Scales[0], double)},
    {"kpscale", "S", "KP as the firmware applies it, times the register", "", 0.1, 10, false,
     KELMOR_PLANT_FIELD(Firmware.Scales[1], double)},
    {"kdscale", "S", "KD as the firmware applies it, times the register", "", 0.1, 10, false,
     KELMOR_PLANT_FIELD(Firmware.Scales[2], double)},
    {"kiscale", "S", "KI as the firmware applies it, times the register", "", 0.1, 10, false,
     KELMOR_PLANT_FIELD(Firmware.Scales[3], double)},
    {"kgscale", "S", "KG as the firmware applies it, times the register", "", 0.1, 10, false,
     KELMOR_PLANT_FIELD(Firmware.Scales[4], double)},
    {"cascade", "C", "1: KV multiplies the speed error of a cascade, 0: KV is the speed feedback gain", "", 0,
     1, true, KELMOR_PLANT_FIELD(Firmware.Cascade, bool)},
    {"speedperiods", "N", "periods over which the firmware takes the speed from the encoder", "", 1, 8, true,
     KELMOR_PLANT_FIELD(Firmware.SpeedPeriods, int)},
    {"dposition", "P", "1: the D term acts on the position measured, 0: on the error", "", 0, 1, true,
     KELMOR_PLANT_FIELD(Firmware.DOnPosition, bool)},
    {"answer", "A", "ms the firmware takes before it answers a line", "", 0, 100, true,
     KELMOR_PLANT_FIELD(AnswerMs, int)},
    {"latency", "L", "ms a converter's latency timer holds what the drive sends", ", 0 for a direct line", 0,
     32, true, KELMOR_PLANT_FIELD(LatencyMs, int)},
    {"drop", "P", "chance that each byte the drive sends is lost on the line", ", 0 for none", 0, 0.5, false,
     KELMOR_PLANT_FIELD(DropChance, double)},
    {"dropevery", "K", "the converter loses every K-th byte the line brings it", ", 0 for none", 0, 100000,
     true, KELMOR_PLANT_FIELD(DropEvery, int)},
    {"dropafter", "N", "the converter loses the N-th byte after a line end", ", 0 for none", 0, 1000, true,
     KELMOR_PLANT_FIELD(DropAfter, int)},
    {"dropends", "E", "line ends in a row that dropafter counts from", ", 2: after an empty line", 1, 8, true,
     KELMOR_PLANT_FIELD(DropEnds, int)},
};

#undef KELMOR_PLANT_FIELD

std::string Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

} // namespace

std::string PlantParameterHelp() {
    const TPlantParameters standard;
    std::string help;
    for (const TPlantKey& k : KPlantKeys) {
        std::string item = std::string(k.Key) + '=' + k.Letter;
        item.resize(std::max<std::size_t>(item.size() + 1, 11), ' ');
        help += "  " + item + k.Meaning + " (" + Number(k.Lowest) + " .. " + Number(k.Highest) + k.Note +
                ", default " + Number(k.Get(standard)) + ")\n";
    }
    return help;
}

TPlantParse ParsePlantParameters(std::string_view text) {
    TPlantParameters plant;
    if (Trimmed(text).empty())
        return {plant, {}};
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string item = Trimmed(text.substr(start, end - start));
        start = end + 1;
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos)
            return {std::nullopt, "'" + item + "' is not key=value"};
        const std::string key = Trimmed(std::string_view(item).substr(0, equals));
        const std::string value = Trimmed(std::string_view(item).substr(equals + 1));
        const TPlantKey* found = nullptr;
        for (const TPlantKey& k : KPlantKeys)
            if (key == k.Key)
                found = &k;
        if (!found)
            return {std::nullopt, "'" + key + "' is not a plant parameter"};
        double number = 0;
        const auto [rest, error] = std::from_chars(value.data(), value.data() + value.size(), number);
        const bool whole = !found->Whole || std::floor(number) == number;
        if (error != std::errc() || rest != value.data() + value.size() || !std::isfinite(number) || !whole ||
            number < found->Lowest || number > found->Highest)
            return {std::nullopt, key + " must be " + (found->Whole ? "a whole number" : "a number") +
                                      " from " + Number(found->Lowest) + " to " + Number(found->Highest) +
                                      ", not '" + value + "'"};
        found->Set(plant, number);
    }
    return {plant, {}};
}

std::string PlantText(const TPlantParameters& plant) {
    const TPlantParameters standard;
    std::string text;
    for (const TPlantKey& k : KPlantKeys) {
        if (k.Get(plant) == k.Get(standard))
            continue;
        if (!text.empty())
            text += ',';
        text += std::string(k.Key) + '=' + Number(k.Get(plant));
    }
    return text;
}
