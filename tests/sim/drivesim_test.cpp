#include "sim/converter.h"
#include "sim/drivesim.h"
#include "tests/support/testbytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Sends the bytes and returns what the drive answers at once, without letting time pass.
std::string Exchange(TDriveSim& drive, const std::string& bytes) {
    for (char c : bytes)
        drive.Receive(static_cast<std::uint8_t>(c));
    return drive.TakeOutput(TDriveSim::KMaxOutput);
}

struct TStep {
    std::vector<std::uint32_t> Samples;
    std::uint32_t Start = 0;
    double Overshoot = 0.0;
    // Half the peak-to-peak movement over the last 50 ms, in pulses.
    double FinalSwing = 0.0;
    std::int64_t FinalError = 0;
};

// The step test as the tool runs it: L, S, J, then the block after its measurement time.
TStep RunStep(TDriveSim& drive, int amplitude, const std::string& setup = {}) {
    Exchange(drive, setup);
    const std::string position = Exchange(drive, "L \r\r").substr(6);
    TStep step;
    step.Start = static_cast<std::uint32_t>(std::stoul(position));
    Exchange(drive, "S 500\r");
    const std::string echo = Exchange(drive, "J " + std::to_string(step.Start + amplitude) + "\r");
    drive.Advance(250'000'000);
    step.Samples = ParseSampleRecords(drive.TakeOutput(TDriveSim::KMaxOutput));
    const auto max = *std::max_element(step.Samples.begin(), step.Samples.end());
    step.Overshoot = 100.0 * (double(max) - step.Start - amplitude) / amplitude;
    const auto [lo, hi] = std::minmax_element(step.Samples.end() - 100, step.Samples.end());
    step.FinalSwing = (double(*hi) - double(*lo)) / 2.0;
    step.FinalError = std::int64_t{step.Samples.back()} - step.Start - amplitude;
    return step;
}

} // namespace

TEST(DriveSimInterpreter, AnswersEveryCommandByteForByte) {
    struct Case {
        std::string Input;
        std::string Expected;
    };
    const Case cases[] = {
        {"P0\r\r", "P0\r\n213:\r\n"},
        {"P8\r\r", "P8\r\n64:\r\n"},
        {"P3 -5\rP3\r\r", "P3 -5\r\nP3\r\n-5:\r\n"},
        {"P1\r2048\rP1\r\r", "P1\r\n1024:2048\r\nP1\r\n2048:\r\n"},
        {"P1\rx\rP1\r\r", "P1\r\n1024:x\r\n?\r\nP1\r\n1024:\r\n"},
        {"P9\r", "P9\r\n?\r\n"},
        {"P1 \r", "P1 \r\n?\r\n"},
        {"P1  5\r", "P1  5\r\n?\r\n"},
        {"P1 +5\r", "P1 +5\r\n?\r\n"},
        {"P1 2147483648\r", "P1 2147483648\r\n?\r\n"},
        {"P1 -2147483648\rP1\r\r", "P1 -2147483648\r\nP1\r\n-2147483648:\r\n"},
        {"W2\rR3\r", "W2\r\nOK\r\nR3\r\nOK\r\n"},
        {"W4\rR\rW22\r", "W4\r\n?\r\nR\r\n?\r\nW22\r\n?\r\n"},
        {"M0\rM3\rM4\r", "M0\r\nOK\r\nM3\r\nOK\r\nM4\r\n?\r\n"},
        {"S 500\rS -500\rS 1000\rS 1001\rS -501\rS\r",
         "S 500\r\nOK\r\nS -500\r\nOK\r\nS 1000\r\nOK\r\nS 1001\r\n?\r\n"
         "S -501\r\n?\r\nS\r\n?\r\n"},
        {"l\r", "l\r\nX=100000\r\n"},
        {"L \r\r", "L \r\n\r\n100000\r\n\r\n"},
        {"L\r", "L\r\n\r\n100000\r\n"},
        {"L  \r", "L  \r\n?\r\n"},
        {"x\r\r", "x\r\n?\r\n\r\n"},
        {"p0\r", "p0\r\n?\r\n"},
        {"G0 \rG0 12,5\rG1 100\rG1 100 0\rG2 5\r",
         "G0 \r\n?\r\nG0 12,5\r\n?\r\nG1 100\r\n?\r\nG1 100 0\r\n?\r\n"
         "G2 5\r\n?\r\n"},
        {"P2\x08\x08\x08 7\rP\x7f\rP2\r\r", "P2\b \b\b \b 7\r\n?\r\nP\b \b\r\nP2\r\n768:\r\n"},
        {"\xC1P\xFF"
         "0\r\r",
         "P0\r\n213:\r\n"},
        {"l\r\nl\r\n", "l\r\nX=100000\r\n\nl\r\nX=100000\r\n\n"},
    };
    for (const Case& c : cases) {
        TDriveSim drive;
        EXPECT_EQ(Exchange(drive, c.Input), c.Expected) << c.Input;
    }
}

TEST(DriveSimInterpreter, IdentifiesItselfAndKeepsRegistersInBanks) {
    TDriveSim drive;
    const std::string id = Exchange(drive, "i\r");
    EXPECT_TRUE(id.starts_with("i\r\n")) << id;
    EXPECT_TRUE(id.ends_with("\r\n"));
    EXPECT_NE(id.find("firmware"), std::string::npos) << id;

    Exchange(drive, "P2 1000\rW1\rP2 5\r");
    EXPECT_EQ(drive.BankRegister(1, 2), 1000);
    EXPECT_EQ(drive.BankRegister(0, 2), 768) << "other banks keep their power-on copies";
    EXPECT_EQ(Exchange(drive, "R1\rP2\r\r"), "R1\r\nOK\r\nP2\r\n1000:\r\n");
    EXPECT_EQ(Exchange(drive, "R0\rP2\r\r"), "R0\r\nOK\r\nP2\r\n768:\r\n");
}

TEST(DriveSimInterpreter, EndlessInputStaysBounded) {
    TDriveSim drive;
    std::string out = Exchange(drive, std::string(TDriveSim::KMaxLineLength, '1'));
    EXPECT_EQ(out, std::string(TDriveSim::KMaxLineLength, '1'));
    out = Exchange(drive, "2");
    EXPECT_EQ(out, "2\r\n?\r\n") << "the line is cut and refused";
    EXPECT_EQ(Exchange(drive, "l\r"), "l\r\nX=100000\r\n") << "and the next line is whole again";

    // Nobody takes the output: it stops growing at the buffer's size.
    for (int i = 0; i < 100000; ++i)
        drive.Receive('l');
    EXPECT_EQ(drive.OutputSize(), TDriveSim::KMaxOutput);
}

TEST(DriveSimRecording, StreamsEachRecordAsItsSampleIsTaken) {
    TDriveSim drive;
    EXPECT_EQ(Exchange(drive, "S 4\r"), "S 4\r\nOK\r\n");
    EXPECT_EQ(Exchange(drive, "J 100010\r"), "J 100010\r\n");
    EXPECT_TRUE(drive.Recording());
    EXPECT_EQ(drive.NanosUntilRecordingEnds(), 2'000'000);
    EXPECT_EQ(Exchange(drive, "l\r"), "") << "input waits while the drive records";
    drive.Advance(499'999);
    EXPECT_EQ(drive.OutputSize(), 0u);
    drive.Advance(1);
    EXPECT_EQ(drive.TakeOutput(TDriveSim::KMaxOutput), std::string("l\x01\x86\xa0", 4))
        << "the first sample, the start, goes out at once";
    drive.Advance(1'000'000);
    const std::string middle = drive.TakeOutput(TDriveSim::KMaxOutput);
    ASSERT_EQ(middle.size(), 8u);
    EXPECT_EQ(middle[0], 'l');
    EXPECT_EQ(middle[4], 'l');
    drive.Advance(499'999);
    EXPECT_EQ(drive.OutputSize(), 0u);
    drive.Advance(1);
    const std::string out = drive.TakeOutput(TDriveSim::KMaxOutput);
    ASSERT_GE(out.size(), 6u);
    EXPECT_EQ(out[0], 'l');
    EXPECT_EQ(out.substr(4, 2), "\r\n") << "CR LF right after the last record";
    EXPECT_EQ(out.substr(6), "l\r\nX=" + std::to_string(drive.Position()) + "\r\n")
        << "held input runs afterwards";
    EXPECT_FALSE(drive.Recording());
}

TEST(DriveSimRecording, RecordsTheStoredSampleCount) {
    struct Case {
        std::string SetUp;
        std::size_t Records;
    };
    const Case cases[] = {{"", 500}, {"S 1\r", 1}, {"S 1000\r", 1000}, {"S 7\rS -200\rS 0\r", 7}};
    for (const Case& c : cases) {
        TDriveSim drive;
        Exchange(drive, c.SetUp);
        Exchange(drive, "J 100000\r");
        drive.Advance(600'000'000);
        const std::string out = drive.TakeOutput(TDriveSim::KMaxOutput);
        EXPECT_EQ(out.size(), 4 * c.Records + 2) << c.SetUp;
        EXPECT_EQ(ParseSampleRecords(out).size(), c.Records) << c.SetUp;
    }
}

TEST(DriveSimPhysics, StepResponseFollowsTheGains) {
    struct Case {
        const char* Name;
        std::string Registers;
        double MinOvershoot;
        double MaxOvershoot;
        bool Settles;
    };
    const Case cases[] = {
        {"defaults", "", 1.0, 30.0, true},
        {"KD 1.0", "P3 256\r", 0.0, 30.0, true},
        {"KP 6", "P2 1536\r", 15.0, 40.0, true},
        {"KP 30", "P2 7680\r", 15.0, 100.0, false},
        {"all gains x10", "P1 10240\rP2 7680\rP4 1020\rP0 2130\r", 0.0, 100.0, false},
    };
    double defaults = 0.0;
    for (const Case& c : cases) {
        TDriveSim drive;
        const TStep step = RunStep(drive, 200, c.Registers);
        ASSERT_EQ(step.Samples.size(), 500u) << c.Name;
        EXPECT_EQ(step.Samples.front(), step.Start) << c.Name;
        EXPECT_GE(step.Overshoot, c.MinOvershoot) << c.Name;
        EXPECT_LE(step.Overshoot, c.MaxOvershoot) << c.Name;
        if (c.Settles) {
            EXPECT_LE(std::abs(step.FinalError), 2) << c.Name << ": settled within 2 pulses";
            EXPECT_LE(step.FinalSwing, 1.0) << c.Name;
        } else {
            EXPECT_GE(step.FinalSwing, 2.0) << c.Name << ": still oscillating at the end";
        }
        if (c.Registers.empty()) {
            defaults = step.Overshoot;
        } else if (c.Registers == "P3 256\r") {
            EXPECT_LT(step.Overshoot, defaults) << "a moderate KD damps";
        } else if (c.Registers == "P2 1536\r") {
            EXPECT_GT(step.Overshoot, defaults) << "doubling KP overshoots more";
        }
    }
}

TEST(DriveSimPhysics, IsDeterministicAndStepsAgainFromWhereItStands) {
    TDriveSim a;
    TDriveSim b;
    const TStep first = RunStep(a, 200);
    EXPECT_EQ(RunStep(b, 200).Samples, first.Samples);
    const TStep second = RunStep(a, -150);
    EXPECT_EQ(second.Start, first.Samples.back());
    EXPECT_LE(std::abs(second.FinalError), 2);
}

TEST(DriveSimMotion, MovesAndModes) {
    TDriveSim drive;
    // G0 at Vj 3000 rev/min and aj 3000 rev/min/s: 5000 pulses take about 1.2 s.
    EXPECT_EQ(Exchange(drive, "G0 105000\r"), "G0 105000\r\nOK\r\n");
    drive.Advance(600'000'000);
    EXPECT_GT(drive.Position(), 100500);
    EXPECT_LT(drive.Position(), 104500);
    drive.Advance(1'000'000'000);
    EXPECT_NEAR(drive.Position(), 105000, 2);

    // A slow feed: 100 units of 117/500 rev/min are 195 pulses/s.
    Exchange(drive, "G1 104000 100\r");
    drive.Advance(2'000'000'000);
    EXPECT_NEAR(drive.Position(), 105000 - 2 * 195, 20);
    drive.Advance(4'000'000'000);
    EXPECT_NEAR(drive.Position(), 104000, 2);

    // Speed mode turns at a speed that follows the set-point's sign; a new mode starts at zero.
    Exchange(drive, "M2\rS -250\r");
    drive.Advance(200'000'000);
    EXPECT_LT(drive.Model().SpeedRpm(), -500.0);
    Exchange(drive, "M0\r");
    drive.Advance(300'000'000);
    EXPECT_NEAR(drive.Model().SpeedRpm(), 0.0, 1.0);
    Exchange(drive, "S 250\r");
    drive.Advance(300'000'000);
    EXPECT_NEAR(drive.Model().SpeedRpm(), 2000.0, 300.0) << "half voltage, about half the rated speed";
    Exchange(drive, "M3\r");
    const std::int32_t held = drive.Position();
    drive.Advance(300'000'000);
    EXPECT_NEAR(drive.Position(), held, 100) << "position mode holds where the motor was";
}

// A firmware that answers late echoes at once, holds what comes meanwhile and answers it in turn.
TEST(DriveSimInterpreter, ALateFirmwareEchoesAtOnceAndAnswersLater) {
    TPlantParameters plant;
    plant.AnswerMs = 2;
    TDriveSim drive(plant);
    EXPECT_EQ(Exchange(drive, "P4\rl\r"), "P4\r\n");
    drive.Advance(1'500'000);
    EXPECT_EQ(drive.OutputSize(), 0u);
    drive.Advance(500'000);
    EXPECT_EQ(drive.TakeOutput(TDriveSim::KMaxOutput), "102:l\r\n") << "the held line answers the prompt";
    drive.Advance(2'000'000);
    EXPECT_EQ(drive.TakeOutput(TDriveSim::KMaxOutput), "?\r\n");
    EXPECT_TRUE(drive.Idle());
}

TEST(Converter, HandsOnWhatItHoldsAtItsTimersTickOrAFullPacket) {
    constexpr std::int64_t Ms = 1'000'000;
    TConverter direct;
    direct.Take('a', 5 * Ms);
    EXPECT_EQ(direct.Deliver(5 * Ms), "a");

    TConverter converter(16 * Ms);
    converter.Take('a', 5 * Ms);
    converter.Take('b', 15 * Ms);
    EXPECT_EQ(converter.NextDelivery(), 16 * Ms);
    EXPECT_EQ(converter.Deliver(15 * Ms), "");
    EXPECT_EQ(converter.Deliver(16 * Ms), "ab");
    for (std::size_t i = 0; i < TConverter::KPacketBytes; ++i)
        converter.Take('x', 17 * Ms);
    EXPECT_EQ(converter.Deliver(17 * Ms).size(), TConverter::KPacketBytes) << "a full packet goes at once";
    EXPECT_FALSE(converter.Holding());
}

// What reaches the host of 20000 bytes the drive sends back to back at 115200 bit/s.
static std::string OverTheLine(const TPlantParameters& plant) {
    TConverter converter(plant);
    std::string delivered;
    for (int i = 0; i < 20000; ++i) {
        converter.Take(char('a' + i % 26), i * 86'800LL);
        delivered += converter.Deliver(i * 86'800LL);
    }
    return delivered + converter.Deliver(std::int64_t{1} << 40);
}

TEST(Converter, ALossyLineLosesItsShareOfTheDrivesBytesAsItsSeedSays) {
    struct Case {
        const char* Plant;
        double Fewest, Most; // share lost
    };
    const Case cases[] = {{"", 0, 0}, {"drop=0.05", 0.03, 0.07}, {"drop=0.05,latency=16", 0.03, 0.07}};
    for (const Case& c : cases) {
        TPlantParameters plant = *ParsePlantParameters(c.Plant).Plant;
        const std::string delivered = OverTheLine(plant);
        const double lost = 1 - double(delivered.size()) / 20000;
        EXPECT_GE(lost, c.Fewest) << c.Plant;
        EXPECT_LE(lost, c.Most) << c.Plant;
        EXPECT_EQ(OverTheLine(plant), delivered) << c.Plant << ": the same seed loses the same bytes";
        ++plant.Seed;
        EXPECT_EQ(OverTheLine(plant) == delivered, c.Most == 0) << c.Plant << ": another seed, others";
    }
}

// What reaches the host of `sent`, the drive's bytes back to back at 115200 bit/s.
static std::string Through(const char* plant, const std::string& sent) {
    TConverter converter(*ParsePlantParameters(plant).Plant);
    for (std::size_t i = 0; i < sent.size(); ++i)
        converter.Take(sent[i], std::int64_t(i) * 86'800);
    return converter.Deliver(std::int64_t{1} << 40);
}

TEST(Converter, LosesTheBytesItsPatternNamesOnTopOfTheLinesDraws) {
    // A position query's echo and reply, and a register line's echo.
    const std::string sent = "L \r\n\r\n100000\r\nP2 768\r\n";
    struct Case {
        const char* Plant;
        std::string Delivered;
    };
    const Case cases[] = {
        {"dropevery=4", "L \r\r\n1000\r\nP 76\r\n"},
        {"dropafter=5", "L \r\n\r\n10000\r\nP2 78\r\n"},
        {"dropafter=5,dropends=2", "L \r\n\r\n10000\r\nP2 768\r\n"},
        // The converter saw the line end it lost: it still counts from it.
        {"dropafter=2", "L \r\n\r10000\r\nP 768\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Through(c.Plant, sent), c.Delivered) << c.Plant;

    std::string many;
    for (int i = 0; i < 50; ++i)
        many += sent;
    std::string third = Through("drop=0.2,seed=5", many);
    for (std::size_t i = third.size() - third.size() % 3; i > 0; i -= 3)
        third.erase(i - 1, 1);
    EXPECT_EQ(Through("drop=0.2,seed=5,dropevery=3", many), third)
        << "the pattern counts what the line let through, and the line loses what it would without it";
}
