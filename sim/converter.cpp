#include "sim/converter.h"
#include "sim/splitmix.h"

namespace {

constexpr std::int64_t KNsPerMs = 1'000'000;
// Sets the line's draws apart from the noise jitter's, which starts from the same seed.
constexpr std::uint64_t KDropStream = 0xD1B54A32D192ED03ull;

} // namespace

TConverter::TConverter(const TPlantParameters& plant)
    : FLatencyNs(std::int64_t{plant.LatencyMs} * KNsPerMs), FDropChance(plant.DropChance),
      FDropState(plant.Seed ^ KDropStream), FDropEvery(plant.DropEvery), FDropAfter(plant.DropAfter),
      FDropEnds(plant.DropEnds) {}

bool TConverter::LineLoses() {
    // No draw on a sound line: a chance of 0 leaves everything as it was without the parameter.
    return FDropChance > 0 && double(SplitMix64(FDropState) >> 11) * 0x1p-53 < FDropChance;
}

bool TConverter::PatternLoses(char byte) {
    ++FTaken;
    ++FSinceEnd;
    const bool lost = (FDropEvery > 0 && FTaken % FDropEvery == 0) ||
                      (FDropAfter > 0 && FEndsInRow >= FDropEnds && FSinceEnd == FDropAfter);
    // The converter saw the byte even when it lost it: a line end it lost still ends a line.
    if (byte == '\n') {
        FEndsInRow = FBlankSoFar ? FEndsInRow + 1 : 1;
        FBlankSoFar = true;
        FSinceEnd = 0;
    } else if (byte != '\r') {
        FBlankSoFar = false;
    }
    return lost;
}

void TConverter::Take(char byte, std::int64_t now) {
    if (LineLoses() || PatternLoses(byte))
        return;
    if (FHeld.empty()) {
        // The timer runs whether or not anything waits: the burst goes at its next tick.
        FDue = FLatencyNs > 0 ? (now / FLatencyNs + 1) * FLatencyNs : now;
    }
    FHeld.push_back(byte);
    if (FHeld.size() >= KPacketBytes)
        FDue = now;
}

std::string TConverter::Deliver(std::int64_t now) {
    if (FHeld.empty() || now < FDue)
        return {};
    std::string burst;
    burst.swap(FHeld);
    return burst;
}
