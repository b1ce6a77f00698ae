#include "sim/drivesim.h"
#include "sim/plant.h"
#include "sim/plantbank.h"

#include <algorithm>
#include <gtest/gtest.h>

TEST(PlantParameters, TextSetsWhatItNamesOverTheDefaults) {
    struct Case {
        const char* Text;
        std::string Error;
        std::string Canonical; // PlantText of the result
    };
    const Case cases[] = {
        {"", "", ""},
        {" load = 5 , delay=2", "", "load=5,delay=2"},
        {"encoder=2000,noise=1,seed=7,current=1.5", "", "current=1.5,encoder=2000,noise=1,seed=7"},
        {"load=5,", "'' is not key=value", ""},
        {"weight=3", "'weight' is not a plant parameter", ""},
        {"delay=4", "delay must be a number from 1 to 3, not '4'", ""},
        {"delay=1.5,cascade=1,kpscale=0.5", "", "delay=1.5,kpscale=0.5,cascade=1"},
        {"delay=3.5", "delay must be a number from 1 to 3, not '3.5'", ""},
        {"load=x", "load must be a number from 0 to 50, not 'x'", ""},
        {"drop=0.05,latency=16", "", "latency=16,drop=0.05"},
        {"drop=0.9", "drop must be a number from 0 to 0.5, not '0.9'", ""},
    };
    for (const Case& c : cases) {
        const TPlantParse parse = ParsePlantParameters(c.Text);
        EXPECT_EQ(parse.Error, c.Error) << c.Text;
        EXPECT_EQ(parse.Plant.has_value(), c.Error.empty()) << c.Text;
        if (parse.Plant) {
            EXPECT_EQ(PlantText(*parse.Plant), c.Canonical) << c.Text;
        }
    }
}

TEST(PlantBank, IsTheSameEverywhereAndEveryDriveStartsWithinThreeTimesTheLimit) {
    const std::vector<TPlantParameters> bank = PlantBank(30, 2026);
    ASSERT_EQ(bank.size(), 30u);
    EXPECT_EQ(PlantBank(30, 2026), bank);
    int heavy = 0;
    for (TPlantParameters plant : bank) {
        heavy += plant.LoadRatio >= 5;
        const std::int32_t noise = plant.Noise;
        plant.Noise = 0;
        const std::vector<std::int32_t> counts = SimulateStep(plant, TDriveSim::KDefaultRegisters, 200, 500);
        const std::int32_t highest =
            *std::max_element(counts.begin(), counts.end()) - TDriveSim::KStartPosition;
        EXPECT_LE(highest + noise, 260) << PlantText(plant) << ": a default step shows at most 30 %";
    }
    EXPECT_GE(heavy, 5) << "the bank spans large load ratios";
}
