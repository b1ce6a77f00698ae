#include "harness/compasssearch.h"

#include <algorithm>
#include <cmath>

namespace {

// Scores of tests that cannot be the best, above any normalised integral a drive can produce.
constexpr double OvershootPenalty = 1e6;
constexpr double FailurePenalty = 2e6;
// The search's first step, the 30 % by which gains are usually raised by hand, and its finest.
const double FirstStep = std::log(1.3);
const double FinestStep = std::log(1.005);
constexpr double Same = 1e-9;

} // namespace

double SearchScore(const TTestRecord& test, const TTuningCriterion& criterion) {
    switch (Verdict(test, criterion)) {
    case TRoundVerdict::Eligible:
        return NormalisedIntegral(test);
    case TRoundVerdict::Overshoot:
        return OvershootPenalty + double(test.Figures.Overshoot);
    default:
        return FailurePenalty + NormalisedIntegral(test);
    }
}

TGainSearch::TGainSearch(TBox box, std::array<double, 2> start, int maxTests)
    : FBox(box), FMaxTests(maxTests) {
    for (std::size_t i = 0; i < 2; ++i) {
        const double low = std::log(box.Lowest[i]);
        const double high = std::log(box.Highest[i]);
        FCurrent[i] = std::clamp(std::log(start[i]), low, high);
        FStep[i] = std::min(FirstStep, (high - low) / 2);
    }
}

std::array<double, 2> TGainSearch::Point(const std::array<double, 2>& logs) const {
    // Held at the box's edge, so rounding in exp never leaves it.
    return {std::clamp(std::exp(logs[0]), FBox.Lowest[0], FBox.Highest[0]),
            std::clamp(std::exp(logs[1]), FBox.Lowest[1], FBox.Highest[1])};
}

std::optional<std::array<double, 2>> TGainSearch::Next() {
    if (FTests >= FMaxTests)
        return std::nullopt;
    if (!FCurrentScore) {
        FPending = FCurrent;
        return Point(FPending);
    }
    return Propose();
}

std::optional<std::array<double, 2>> TGainSearch::Propose() {
    const auto seen = [&](const std::array<double, 2>& logs) {
        return std::find_if(FSeen.begin(), FSeen.end(), [&](const auto& s) {
            return std::abs(s.first[0] - logs[0]) < Same && std::abs(s.first[1] - logs[1]) < Same;
        });
    };
    for (;;) {
        while (FTried < 4) {
            const std::size_t axis = std::size_t(FDirection / 2);
            const double sign = FDirection % 2 == 0 ? 1 : -1;
            FDirection = (FDirection + 1) % 4;
            ++FTried;
            std::array<double, 2> candidate = FCurrent;
            candidate[axis] = std::clamp(FCurrent[axis] + sign * FStep[axis], std::log(FBox.Lowest[axis]),
                                         std::log(FBox.Highest[axis]));
            if (std::abs(candidate[axis] - FCurrent[axis]) < Same)
                continue;
            if (const auto known = seen(candidate); known != FSeen.end()) {
                if (known->second < *FCurrentScore) {
                    FCurrent = candidate;
                    FCurrentScore = known->second;
                    FTried = 0;
                }
                continue;
            }
            FPending = candidate;
            return Point(candidate);
        }
        // No neighbour is better: look closer.
        FStep[0] /= 2;
        FStep[1] /= 2;
        FTried = 0;
        if (FStep[0] < FinestStep && FStep[1] < FinestStep)
            return std::nullopt;
    }
}

void TGainSearch::Report(double score) {
    ++FTests;
    FSeen.emplace_back(FPending, score);
    if (!FCurrentScore || score < *FCurrentScore) {
        FCurrent = FPending;
        FCurrentScore = score;
        FTried = 0;
    }
}
