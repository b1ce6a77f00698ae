#include "drive/readingvote.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>
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

void TReadingVote::Add(std::int64_t reading) {
    FReadings.push_back(reading);
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
    return longest ? std::max(0, AgreeingReadings - Agreeing(*longest)) : AgreeingReadings;
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
