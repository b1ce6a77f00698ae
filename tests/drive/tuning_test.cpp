#include "harness/compasssearch.h"

#include "drive/runsettings.h"

#include "harness/qtprinters.h"
#include "tests/support/outcome.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

// A test of 4 samples at amplitude 100 whose relative positions are given (-1: missing).
TTestRecord Record(int number, std::vector<int> relative) {
    TStepRecord step{100, 1000, 4, {}};
    for (const int r : relative)
        step.Samples.push_back(r < 0 ? MissingSample : std::uint32_t(1000 + r));
    return MakeTestRecord(number, {}, std::move(step), std::make_shared<const TKnownSettings>());
}

} // namespace

TEST(Tuning, VerdictsAndTheBestRound) {
    const TTuningCriterion criterion{10, 0};
    const struct {
        TTestRecord Test;
        std::array<double, 2> Gains;
        TRoundVerdict Verdict;
    } rounds[] = {
        {Record(1, {0, 100, 111, 100}), {5, 0}, TRoundVerdict::Overshoot}, // 11 % over a 10 % limit
        {Record(2, {0, 100, 80, 80}), {1, 0}, TRoundVerdict::NotSettled},  // ends outside ±5 %
        {Record(3, {90, 100, -1, 100}),
         {0.5, 0},
         TRoundVerdict::SamplesMissing},                                   // smallest integral, one lost
        {Record(4, {50, 100, 110, 100}), {4, 0}, TRoundVerdict::Eligible}, // exactly at the limit
        {Record(5, {50, 100, 110, 100}), {3, 0}, TRoundVerdict::Eligible}, // the same, a smaller gain
        {Record(6, {0, 100, 105, 100}), {2, 0}, TRoundVerdict::Eligible},
    };
    std::vector<TTuningRound> made;
    for (const auto& r : rounds) {
        made.push_back(MakeRound(r.Test, r.Gains, criterion));
        EXPECT_EQ(made.back().Verdict, r.Verdict) << r.Test.Number;
    }
    // Integrals: test 6 has 105 × 0.5 = 52 ms over 100 pulses, tests 4 and 5 30 over 100.
    EXPECT_EQ(made[5].Score, 0.52);
    EXPECT_EQ(BestRound(made), 4u) << "the tie goes to the smaller gain";
    made.resize(3);
    EXPECT_EQ(BestRound(made), std::nullopt);

    EXPECT_EQ(BackedOff(4, {10, 25}, 1, 10), 3);
    EXPECT_EQ(BackedOff(4, {10, 30}, 3, 10), 3) << "held within the range";
}

TEST(Tuning, SweepValues) {
    const struct {
        double From, To;
        int Steps;
        bool Geometric;
        std::vector<double> Values;
        QString Error;
    } cases[] = {
        {1, 3, 5, false, {1, 1.5, 2, 2.5, 3}, ""},
        {4, 1, 2, false, {4, 1}, ""},
        {1, 8, 4, true, {1, 2, 4, 8}, ""},
        {0, 8, 4, true, {}, "A geometric sweep needs both ends above zero"},
        {1, 8, 26, false, {}, "A sweep takes 2 to 25 steps"},
    };
    for (const auto& c : cases) {
        std::vector<double> values;
        EXPECT_EQ(Outcome([&] { values = SweepValues(c.From, c.To, c.Steps, c.Geometric); }), c.Error);
        ASSERT_EQ(values.size(), c.Values.size()) << c.Steps;
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_NEAR(values[i], c.Values[i], 1e-12) << c.Steps << " " << i;
    }
}

TEST(Tuning, SearchStaysInItsBoxAndWithinItsTests) {
    const TGainSearch::TBox box{{0.5, 1}, {8, 4}};
    const struct {
        std::array<double, 2> Start, Optimum;
        int MaxTests;
    } cases[] = {
        {{2, 2}, {3, 1.5}, 40},   // an optimum inside: found closely
        {{2, 2}, {100, 100}, 40}, // beyond the corner: the search presses on the box
        {{20, 0.1}, {3, 1.5}, 5}, // a start outside is held in; five tests at most
    };
    for (const auto& c : cases) {
        TGainSearch search(box, c.Start, c.MaxTests);
        std::array<double, 2> best{};
        double bestScore = INFINITY;
        int tests = 0;
        while (const std::optional<std::array<double, 2>> point = search.Next()) {
            ++tests;
            for (std::size_t i = 0; i < 2; ++i) {
                EXPECT_GE((*point)[i], box.Lowest[i]);
                EXPECT_LE((*point)[i], box.Highest[i]);
            }
            const double score =
                std::hypot(std::log((*point)[0] / c.Optimum[0]), std::log((*point)[1] / c.Optimum[1]));
            if (score < bestScore) {
                best = *point;
                bestScore = score;
            }
            search.Report(score);
        }
        EXPECT_LE(tests, c.MaxTests);
        if (c.MaxTests == 40) {
            EXPECT_NEAR(best[0], std::clamp(c.Optimum[0], 0.5, 8.0), 0.1) << c.Optimum[0];
            EXPECT_NEAR(best[1], std::clamp(c.Optimum[1], 1.0, 4.0), 0.1) << c.Optimum[1];
        }
    }
}

// A gain a run writes takes its own register: neither a sweep's binary noise nor the rounding of the
// drive's own figure costs it a unit, and a Limit V left alone keeps its register under a varied KV.
TEST(Tuning, ARunWritesEachGainsOwnRegister) {
    TTuningPlan plan;
    plan.Rows = {KV, KP};
    const TMotorData motor = DefaultMotorData();
    const TRegisterValues held = {213, 1024, 301, 0, 102, 384, 294, 12820, 64};
    const TRunSettings settings(plan, motor, held);
    const struct {
        double Kv;
        std::int32_t P1, P0;
    } cases[] = {
        {2.9999999999999996, 768, 159},
        {settings.DriveFigure(KV), 1024, 213},
        {301.0 / 256, 301, 62},
    };
    for (const auto& c : cases) {
        const TRegisterValues written = settings.Registers({c.Kv, 0}, settings.DriveFigure(KP));
        EXPECT_EQ(written[1], c.P1) << c.Kv;
        EXPECT_EQ(written[2], 301) << c.Kv;
        EXPECT_EQ(written[0], c.P0) << c.Kv;
    }
}
