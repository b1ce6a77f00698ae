#include "drive/commandlines.h"

#include "harness/qtprinters.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

// A bank line exists only for a selected bank, 0 to 3.
TEST(CommandLines, BytesOfEachLine) {
    const auto bank = [](const std::optional<QByteArray>& line) { return line.value_or("(none)"); };
    const struct {
        QByteArray Line;
        QByteArray Bytes;
    } cases[] = {
        {RegisterQueryLine(8), "\x50\x38\x0D"},
        {PromptCloseLine(), "\x0D"},
        {RegisterWriteLine(1, 1024), "\x50\x31\x20\x31\x30\x32\x34\x0D"},
        {RegisterWriteLine(3, -5), "\x50\x33\x20\x2D\x35\x0D"},
        {RegisterWriteLine(8, std::numeric_limits<std::int32_t>::min()), "P8 -2147483648\r"},
        {ModeLine(3), "M3\r"},
        {SetPointLine(-500), "S -500\r"},
        {IdentifyLine(), "i\r"},
        {PositionLine(), "l\r"},
        {PositionQueryLine(), "\x4C\x20\x0D\x0D"},
        {StepLine(100), "J 100\r"},
        {RapidMoveLine(" -2,5x"), "G0  -2,5x\r"},
        {RapidMoveLine(""), "G0 \r"},
        {FeedMoveLine("-250", 12820), "G1 -250 12820\r"},
        {bank(BankStoreLine(0)), "\x57\x30\x0D"},
        {bank(BankLoadLine(0)), "R0\r"},
        {bank(BankStoreLine(3)), "W3\r"},
        {bank(BankLoadLine(3)), "R3\r"},
        {bank(BankStoreLine(-1)), "(none)"},
        {bank(BankLoadLine(-1)), "(none)"},
        {bank(BankStoreLine(4)), "(none)"},
        {bank(BankLoadLine(4)), "(none)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Line, c.Bytes) << c.Bytes.toStdString();
}

// The lines built above read back as the drive reads them, and so do lines typed by hand.
TEST(CommandLines, ReadAsTheDriveReadsThem) {
    using K = TParsedLine;
    const struct {
        QByteArray Line;
        TParsedLine::TKind Kind;
        std::optional<std::int32_t> Value;
    } cases[] = {
        {ModeLine(3).chopped(1), K::Mode, 3},
        {"M4", K::Mode, std::nullopt},
        {"M31", K::Mode, std::nullopt},
        {SetPointLine(-500).chopped(1), K::SetPoint, -500},
        {"S 12 ", K::SetPoint, 12},
        {"S +5", K::SetPoint, std::nullopt},
        {"S 1x", K::SetPoint, std::nullopt},
        {RapidMoveLine("100").chopped(1), K::Move, std::nullopt},
        {IdentifyLine().chopped(1), K::Identify, std::nullopt},
        {RegisterWriteLine(1, 5).chopped(1), K::Other, std::nullopt},
    };
    for (const auto& c : cases) {
        const TParsedLine read = ParseCommandLine(c.Line);
        EXPECT_EQ(read.Kind, c.Kind) << c.Line.toStdString();
        EXPECT_EQ(read.Value, c.Value) << c.Line.toStdString();
    }
}

} // namespace
