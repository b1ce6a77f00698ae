#include "drive/commandlines.h"

#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(CommandLines, BytesOfEachLine) {
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.Line, c.Bytes) << c.Bytes.toStdString();
}

TEST(CommandLines, BankLinesOnlyForASelectedBank) {
    const struct {
        int Selected;
        std::optional<QByteArray> Store, Load;
    } cases[] = {
        {-1, std::nullopt, std::nullopt},
        {0, "\x57\x30\x0D", "R0\r"},
        {3, "W3\r", "R3\r"},
        {4, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BankStoreLine(c.Selected), c.Store) << c.Selected;
        EXPECT_EQ(BankLoadLine(c.Selected), c.Load) << c.Selected;
    }
}

} // namespace
