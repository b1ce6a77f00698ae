// What the tuner believes, on known ground: the bound is signed by every model still in the running,
// the misses widen the spread but never narrow it, and a test that lost samples teaches no figures.

#include "tuner/tunerbeliefs.h"

#include "sim/drivesim.h"
#include "sim/plantbank.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

constexpr int KAmplitude = 200;
constexpr double KLimit = 10;

TLoopRegisters Registers(double kp) {
    TLoopRegisters r = TDriveSim::KDefaultRegisters;
    r[2] = std::int32_t(kp * 256);
    return r;
}

// A test of the standard drive at KP, as the beliefs learn from it.
TTunerBeliefs::TTest DriveTest(double kp) {
    TTunerBeliefs::TTest test;
    test.Point = {std::log2(kp), 2, 0};
    test.Registers = Registers(kp);
    for (const std::int32_t count : SimulateStep(TPlantParameters{}, test.Registers, KAmplitude, 500))
        test.Positions.push_back(count - TDriveSim::KStartPosition);
    test.Figures = LoopFigures(test.Positions, KAmplitude);
    return test;
}

} // namespace

TEST(TunerBeliefs, EveryModelStillInTheRunningSignsTheBound) {
    const TTunerBeliefs beliefs(KAmplitude, 500, KLimit);
    // The likelier model sees no risk; the other expects 30 %.
    const struct {
        std::array<double, 2> Weights;
        bool Risky;
    } cases[] = {{{0.8, 0.2}, true}, {{0.96, 0.04}, false}, {{1, 0}, false}};
    for (const auto& c : cases) {
        TTunerBeliefs::TGuess guess;
        guess.Weights = c.Weights;
        guess.Members[0] = {{5, 3, 0.5}, {1, 0.1, 0.1}};
        guess.Members[1] = {{30, 3, 0.5}, {2, 0.1, 0.1}};
        const double risk = beliefs.Prediction(guess).OverTwiceLimit;
        EXPECT_EQ(risk > 0.9, c.Risky) << c.Weights[1] << ": " << risk;
        EXPECT_EQ(risk < 0.05, !c.Risky) << c.Weights[1];
    }
    // A risk that is not a number, from either model, is no chance of safety.
    for (std::size_t m = 0; m < 2; ++m) {
        TTunerBeliefs::TGuess guess;
        guess.Weights = {0.8, 0.2};
        guess.Members[0] = guess.Members[1] = {{5, 3, 0.5}, {1, 0.1, 0.1}};
        guess.Members[m].Mean[0] = std::nan("");
        EXPECT_FALSE(beliefs.Prediction(guess).OverTwiceLimit <= 0.05) << m;
    }
}

// Tests at one KV cannot tell the arrangements apart (each runs the other's loop there): however
// their fits happen to land, the weights stay where they started.
TEST(TunerBeliefs, TestsAtOneKvLeaveTheWeightsAsTheyWere) {
    const std::vector<TTunerBeliefs::TTest> tests = {DriveTest(3), DriveTest(2), DriveTest(5)};
    TTunerBeliefs beliefs(KAmplitude, 500, KLimit);
    beliefs.Learn(tests, 0);
    EXPECT_DOUBLE_EQ(beliefs.Weights()[1], 0.2);
}

TEST(TunerBeliefs, MissesWidenTheSpreadButHitsNeverNarrowIt) {
    for (const double miss : {0.0, 3.0}) {
        std::vector<TTunerBeliefs::TTest> tests = {DriveTest(3), DriveTest(2), DriveTest(4), DriveTest(5),
                                                   DriveTest(2.5)};
        // The later tests were expected exactly, or three spreads off.
        for (std::size_t i = 1; i < tests.size(); ++i) {
            TTunerBeliefs::TGuess guess;
            guess.Weights = {0.8, 0.2};
            const TTunerBeliefs::TFigures3 measured = TTunerBeliefs::Targets(tests[i].Figures);
            for (TTunerBeliefs::TMemberGuess& m : guess.Members)
                for (std::size_t k = 0; k < 3; ++k) {
                    m.Sd[k] = 0.1;
                    m.Mean[k] = measured[k] + miss * m.Sd[k];
                }
            tests[i].Guess = guess;
        }
        TTunerBeliefs beliefs(KAmplitude, 500, KLimit);
        beliefs.Learn(tests, 0);
        for (std::size_t k = 0; k < 3; ++k)
            if (miss == 0) {
                EXPECT_EQ(beliefs.Calibration()[k], 1) << k;
            } else {
                EXPECT_GT(beliefs.Calibration()[k], 1.5) << k;
            }
    }
}

TEST(TunerBeliefs, ATestThatLostSamplesTeachesNoFigures) {
    // The same registers twice: the repeat lost every sample after the 20th, where its figures would
    // read an overshoot of about -100 %.
    TTunerBeliefs::TTest whole = DriveTest(3);
    TTunerBeliefs::TTest cut = whole;
    cut.Point[0] += 0.25;
    for (std::size_t i = 20; i < cut.Positions.size(); ++i)
        cut.Positions[i] = std::nan("");
    cut.Figures = LoopFigures(cut.Positions, KAmplitude);
    cut.Complete = false;
    ASSERT_LT(cut.Figures.Overshoot, -50);
    TTunerBeliefs beliefs(KAmplitude, 500, KLimit);
    const std::vector<TTunerBeliefs::TTest> tests = {whole, cut};
    beliefs.Learn(tests, 0);
    EXPECT_NEAR(beliefs.Predict(cut.Point, cut.Registers).Overshoot, whole.Figures.Overshoot, 3);
}
