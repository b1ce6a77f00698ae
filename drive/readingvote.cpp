#include "drive/readingvote.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace {

// The length of the decimal text the value reads from: a lost digit or sign shortens it.
qsizetype TextLength(std::int64_t value) {
    return QByteArray::number(value).size();
}

} // namespace

bool ShorterText(std::int64_t a, std::int64_t b) {
    return TextLength(a) < TextLength(b);
}

double WrongValueChance(double loss) {
    return std::pow(loss, AgreeingReadings);
}

void TReadingVote::Add(std::int64_t reading, bool later) {
    FReadings.push_back(reading);
    FLater.push_back(later);
}

std::optional<std::int64_t> TReadingVote::Longest() const {
    if (FReadings.empty())
        return std::nullopt;
    return *std::max_element(FReadings.begin(), FReadings.end(), [](std::int64_t a, std::int64_t b) {
        const qsizetype la = TextLength(a), lb = TextLength(b);
        return la != lb ? la < lb : a < b;
    });
}

int TReadingVote::Agreeing(std::int64_t value) const {
    return int(std::count_if(FReadings.begin(), FReadings.end(),
                             [&](std::int64_t r) { return std::llabs(r - value) <= FTolerance; }));
}

int TReadingVote::Missing() const {
    const std::optional<std::int64_t> longest = Longest();
    if (!longest)
        return AgreeingReadings;
    const int missing = std::max(0, AgreeingReadings - Agreeing(*longest));
    std::array<bool, 2> places{};
    for (std::size_t i = 0; i < FReadings.size(); ++i)
        if (std::llabs(FReadings[i] - *longest) <= FTolerance)
            places[FLater[i] ? 1 : 0] = true;
    // Two queries at once bring a reading of each place.
    return FPlacesApart && !(places[0] && places[1]) ? std::max(missing, 2) : missing;
}

std::optional<std::int64_t> TReadingVote::Confirmed() const {
    return Missing() == 0 ? Longest() : std::nullopt;
}

QString TReadingVote::Shown() const {
    QStringList shown;
    for (const std::int64_t r : FReadings)
        shown << QString::number(r);
    return shown.join(QStringLiteral(", "));
}
