// KI in the rounds' table and the recommendation, where the search lowers it and only there.

#include "common/numtext.h"
#include "drive/roundtexts.h"

#include <gtest/gtest.h>

TEST(RoundsTable, SayKiWhereTheSearchLowersIt) {
    TTuningRound round;
    round.TestNumber = 1;
    round.Registers[std::size_t(RegisterTable[KI].Register)] = 51; // KI 0,199…, shown "0,20"
    const struct {
        bool Search;
        std::optional<double> Floor;
        TSettingRow Second;
        QString Ki;
    } cases[] = {{true, 0.2, KV, LocalDecimalText("0,20")},
                 {true, std::nullopt, KV, ""},
                 {true, 0.2, KI, ""},
                 {false, 0.2, KV, ""}};
    for (const auto& c : cases) {
        TTuningPlan plan;
        plan.Search = c.Search;
        plan.KiFloor = c.Floor;
        plan.Rows = {KP, c.Second};
        EXPECT_EQ(RoundTexts(plan, {&round, 1}, {}, DefaultMotorData()).at(0)[KiColumn], c.Ki)
            << c.Search << c.Floor.has_value() << c.Second;
    }
    // The start 0,40, the result's 0,20; a start that is not a number is a search that left KI alone.
    for (const auto& [start, text] :
         {std::pair<double, QString>{0.4, LocalDecimalText("KI 0,40 → 0,20")}, {0.2, ""}, {std::nan(""), ""}})
        EXPECT_EQ(KiChangeText(start, round.Registers, DefaultMotorData()), text) << start;
}
