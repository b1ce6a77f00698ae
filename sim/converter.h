#pragma once

// A USB-to-serial converter between the drive and the host. Its latency timer fires every
// `latency` and hands over what the drive sent since, in one burst; a full packet goes at once.
// So a byte reaches the host up to one latency after it left the drive, and the bytes of one
// answer may come in two bursts, as behind a real converter. A latency of 0 is a direct line.
// The line into it may lose bytes, as a serial line without parity does: each byte the drive sends
// is lost with the plant's drop chance, drawn from its seed.

#include "sim/plant.h"

#include <cstdint>
#include <string>

class TConverter {
public:
    // What one USB packet carries of the drive's bytes.
    static constexpr std::size_t KPacketBytes = 62;

    explicit TConverter(std::int64_t latencyNs = 0) : FLatencyNs(latencyNs) {}
    // The converter and line of a plant: its latency, drop chance and seed.
    explicit TConverter(const TPlantParameters& plant);

    // A byte the drive sent, landed in the converter at time `now`, unless the line lost it.
    void Take(char byte, std::int64_t now);
    // What reaches the host by `now`, in the order it came.
    std::string Deliver(std::int64_t now);
    bool Holding() const { return !FHeld.empty(); }
    // When what is held goes to the host; meaningful while Holding().
    std::int64_t NextDelivery() const { return FDue; }

private:
    std::int64_t FLatencyNs;
    double FDropChance = 0;
    std::uint64_t FDropState = 0;
    std::string FHeld;
    std::int64_t FDue = 0;
};
