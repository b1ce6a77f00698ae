#include "sim/converter.h"

void TConverter::Take(char byte, std::int64_t now) {
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
