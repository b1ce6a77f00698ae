#include "common/errors.h"
#include "common/numtext.h"
#include "drive/stepfigures.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Record(std::uint32_t value) {
    return QByteArray("l") + char(value >> 16) + char(value >> 8) + char(value);
}

// A figure text as shown, with the locale's decimal separator.
QString Shown(const char* text) {
    return QString::fromLatin1(text).replace(QLatin1Char('.'), DecimalSeparator());
}

TStepRecord Step(std::uint32_t amplitude, std::uint32_t start, std::vector<std::int64_t> moved) {
    TStepRecord record{amplitude, start, int(moved.size()), {}};
    for (const std::int64_t m : moved)
        record.Samples.push_back(std::uint32_t(start + m));
    return record;
}

} // namespace

TEST(SampleRecords, ScanOfTheReceivedBlock) {
    const struct {
        const char* What;
        QByteArray Block;
        std::size_t Capacity;
        std::vector<std::uint32_t> Samples;
    } cases[] = {
        {"echo ahead", "J 100200\r\n" + Record(100003) + Record(0xFFFFFF), 1001, {100003, 0xFFFFFF}},
        {"0x6C in a value", Record(0x6C6C6C) + Record(0x016C02), 1001, {0x6C6C6C, 0x016C02}},
        {"cut short", Record(5) + Record(6).left(3), 1001, {5}},
        {"none", "OK\r\nl\r\n", 1001, {}},
        {"full", Record(1) + Record(2) + Record(3), 2, {1, 2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScanSampleRecords(c.Block, c.Capacity), c.Samples) << c.What;
}

TEST(StepFigures, OvershootAndErrorIntegral) {
    const struct {
        TStepRecord Record;
        std::uint32_t Max;
        std::uint64_t ErrorSum;
        const char* Overshoot;
        const char* Integral;
    } cases[] = {
        {Step(200, 1000, {200, 200, 200}), 200, 0, "0.00", "0.00"},
        {Step(200, 1000, {0, 225, 200}), 225, 225, "12.50", "112.00"},
        {Step(200, 1000, {190}), 190, 10, "-5.00", "5.00"},
        {Step(100, 1000, {0, 50, 75, 100}), 100, 175, "0.00", "87.00"},
        // A sample below the start counts as on the target.
        {Step(100, 1000, {-5, 50}), 100, 50, "0.00", "25.00"},
        {Step(200, 1000, {}), 0, 0, "-100.00", "0.00"},
        {Step(4'000'000'000u, 5, {0, 0, 0}), 0, 12'000'000'000, "-100.00", "6.00000E+09"},
    };
    for (const auto& c : cases) {
        const TStepFigures figures = StepFigures(c.Record);
        EXPECT_EQ(figures.Max, c.Max);
        EXPECT_EQ(figures.ErrorSum, c.ErrorSum);
        EXPECT_EQ(figures.Integral, c.ErrorSum / 2);
        const TStepTexts texts = StepTexts(figures);
        EXPECT_EQ(texts.Overshoot, Shown(c.Overshoot));
        EXPECT_EQ(texts.Integral, Shown(c.Integral));
    }
}

TEST(StepFigures, RiseAndSettlingTime) {
    const struct {
        std::vector<std::int64_t> Moved;
        const char* Rise;
        const char* Settling;
    } cases[] = {
        {{0, 5, 10, 30, 60, 90, 100, 110, 104, 96, 100}, "1.50", "4.00"},
        {{100, 100}, "0.00", "0.00"},
        {{0, 50, 80}, "-", "-"},
        {{0, 95, 106}, "0.00", "-"},
        // Below the start is below the target for these two.
        {{0, 40, 100, -3, 100}, "0.50", "2.00"},
        {{}, "-", "-"},
    };
    for (const auto& c : cases) {
        const TStepTexts texts = StepTexts(StepFigures(Step(100, 70000, c.Moved)));
        EXPECT_EQ(texts.RiseTime, Shown(c.Rise));
        EXPECT_EQ(texts.SettlingTime, Shown(c.Settling));
    }
}

TEST(StepCsv, WritesTheWholeFileOrSaysWhy) {
    QTemporaryDir dir;
    const QString path = dir.filePath("step.csv");
    WriteStepCsv(path, Step(200, 100000, {0, 3, -2}));
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(),
              QByteArray("time_ms,position,relative,commanded,amplitude=200,start=100000,samples=3\n"
                         "0.0,100000,0,100200\n"
                         "0.5,100003,3,100200\n"
                         "1.0,99998,-2,100200\n"));

    const QString missing = dir.filePath("no such folder/step.csv");
    try {
        WriteStepCsv(missing, Step(200, 100000, {0}));
        ADD_FAILURE() << "no error";
    } catch (const EKelmorError& error) {
        EXPECT_TRUE(error.Message().startsWith("Cannot write the file \"" + missing + "\": "))
            << error.Message().toStdString();
    }
    EXPECT_FALSE(QFile::exists(missing));
}
