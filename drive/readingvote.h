#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// How a number the drive sends as decimal text is believed over a line that may lose bytes. A lost
// byte never lengthens a reply, and a reply whose frame is intact but lost a digit (or its sign)
// reads as a shorter number: "100000" short of any of its zeros reads "10000" each time. So readings
// are weighed against the longest one seen, and a value counts once AgreeingReadings readings agree
// with it. A value the drive did not send is then believed only when every one of at least
// AgreeingReadings readings lost a digit: at one reading in ten losing one, (1/10)^6, one chance in a
// million, whatever digit each lost and however alike. A converter that loses the same byte of every
// reply defeats any vote; the step's records are the witness for that (the model's witness).

// Readings that must agree with the longest one.
constexpr int AgreeingReadings = 6;
// The most queries one confirmation writes, garbled frames and all; then it refuses.
constexpr int MostConfirmingQueries = 4 * AgreeingReadings;
// Whole readings that agree with each other and not with a witness refuse the reading: the drive
// keeps saying another number, which random losses would not make alike.
constexpr int MostWitnessDisagreements = 3;

// The chance that a confirmation believes a value the drive did not send, when each reading loses a
// digit with `loss`, independently: the worst case, in which every loss reads alike.
double WrongValueChance(double loss);

// Whether a's decimal text is shorter than b's, as a reading that lost a digit of b reads.
bool ShorterText(std::int64_t a, std::int64_t b);

class TReadingVote {
public:
    // Two readings agree when they lie within tolerance (0: equal). Where the replies came in batches,
    // `placesApart` asks for agreeing readings from the first place of a batch and from a later one: a
    // converter that loses a byte at the same place after a line structure garbles only one of them
    // alike, and breaks the other.
    explicit TReadingVote(std::int64_t tolerance = 0, bool placesApart = false)
        : FTolerance(tolerance), FPlacesApart(placesApart) {}

    // later: the reading followed another reply of its batch.
    void Add(std::int64_t reading, bool later = false);
    // The longest reading (the largest of the longest), once AgreeingReadings agree with it.
    std::optional<std::int64_t> Confirmed() const;
    // The readings that agree with `value`.
    int Agreeing(std::int64_t value) const;
    // Readings still needed for a confirmation if every one to come agrees.
    int Missing() const;
    bool Empty() const { return FReadings.empty(); }
    // The readings as a message names them, oldest first: "10000, 10000, 100000".
    QString Shown() const;

private:
    std::optional<std::int64_t> Longest() const;

    std::int64_t FTolerance;
    bool FPlacesApart;
    std::vector<std::int64_t> FReadings;
    std::vector<bool> FLater;
};
