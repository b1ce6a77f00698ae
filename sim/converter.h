#pragma once

// A USB-to-serial converter between the drive and the host. Its latency timer fires every
// `latency` and hands over what the drive sent since, in one burst; a full packet goes at once.
// So a byte reaches the host up to one latency after it left the drive, and the bytes of one
// answer may come in two bursts, as behind a real converter. A latency of 0 is a direct line.
// The line into it may lose bytes, as a serial line without parity does: each byte the drive sends
// is lost with the plant's drop chance, drawn from its seed. The converter itself may lose bytes in a
// pattern that repeats, which no vote over readings of one kind sees: every k-th byte, or the n-th
// byte after a line end (after an empty line only, with two ends in a row). It counts the bytes that
// reached it, its own losses among them, so the line's draws stay what they are without a pattern.

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
    bool LineLoses();
    bool PatternLoses(char byte);

    std::int64_t FLatencyNs;
    double FDropChance = 0;
    std::uint64_t FDropState = 0;
    int FDropEvery = 0;
    int FDropAfter = 0;
    int FDropEnds = 1;
    std::int64_t FTaken = 0;    // bytes that reached the converter
    std::int64_t FSinceEnd = 0; // of them since the last line end
    int FEndsInRow = 0;         // line ends with nothing but CRs between them, up to the last one
    bool FBlankSoFar = false;   // nothing but CRs since the last line end
    std::string FHeld;
    std::int64_t FDue = 0;
};
