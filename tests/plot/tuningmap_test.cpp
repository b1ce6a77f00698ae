// The tuning map's view: the box, or the tests when they cluster in a small part of it.

#include "plot/tuningmap.h"

#include <gtest/gtest.h>

TEST(TuningMap, ZoomsToTestsThatCluster) {
    // The dialog's default box, the first test at the start; whole, with a twentieth of its decades
    // around it.
    const std::array<double, 2> wholeLow{0.3046, 0.4062}, wholeHigh{29.55, 39.40};
    const struct {
        const char* Name;
        std::vector<std::array<double, 2>> Tests;
        std::array<double, 2> Low, High;
    } cases[] = {
        {"no test yet", {}, wholeLow, wholeHigh},
        {"a cluster, a factor of 2 around it", {{2.7, 3.8}, {4.1, 5.2}}, {1.35, 1.9}, {8.2, 10.4}},
        {"a cluster at the box's corner", {{0.4, 0.55}, {0.5, 0.7}}, wholeLow, {1, 1.4}},
        {"spread over KP", {{1, 3.8}, {12, 5.2}}, wholeLow, wholeHigh},
    };
    for (const auto& c : cases) {
        TTuningMap map;
        map.Lowest = {0.375, 0.5};
        map.Highest = {24, 32};
        map.Start = c.Tests.empty() ? std::array<double, 2>{3, 4} : c.Tests[0];
        map.HasStart = true;
        for (const auto& gains : c.Tests)
            map.Points.push_back({gains, 1, TMapVerdict::Eligible, {}});
        const TMapScale scale(QRect(0, 0, 400, 300), map);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_NEAR(scale.Low()[i] / c.Low[i], 1, 1e-3) << c.Name << ", gain " << i;
            EXPECT_NEAR(scale.High()[i] / c.High[i], 1, 1e-3) << c.Name << ", gain " << i;
        }
    }
}
