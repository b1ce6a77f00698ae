#include "common/numtext.h"
#include "drive/figuretexts.h"
#include "drive/samplerecords.h"
#include "harness/qtprinters.h"

#include <gtest/gtest.h>

namespace {

QByteArray Record(std::uint32_t value) {
    return QByteArray("l") + char(value >> 16) + char(value >> 8) + char(value);
}

// A figure as shown, with the locale's decimal separator.
QString Shown(const char* text) {
    return QString::fromLatin1(text).replace(QLatin1Char('.'), DecimalSeparator());
}

// In the moves of Step, a sample that did not come.
constexpr std::int64_t Gap = INT64_MIN;

TStepRecord Step(std::uint32_t amplitude, std::uint32_t start, const std::vector<std::int64_t>& moved) {
    TStepRecord record{amplitude, start, int(moved.size()), {}};
    for (const std::int64_t m : moved)
        record.Samples.push_back(m == Gap ? MissingSample : std::uint32_t(start + m));
    return record;
}

} // namespace

TEST(SampleRecords, ScanOfTheReceivedBlock) {
    const struct {
        QByteArray Block;
        std::size_t Capacity;
        std::vector<std::uint32_t> Samples;
    } cases[] = {
        {"J 100200\r\n" + Record(100003) + Record(0xFFFFFF), 1001, {100003, 0xFFFFFF}},
        {Record(0x6C6C6C) + Record(0x016C02), 1001, {0x6C6C6C, 0x016C02}},
        {Record(5) + Record(6).left(3), 1001, {5}},
        {"OK\r\nl\r\n", 1001, {}},
        // Every mark damaged: a value byte 0x6C is not taken for one.
        {QByteArray("\0\x01\x6C\0\0\x01\x6D\0\0\x01\x6E\0", 12), 1001, {}},
        {Record(1) + Record(2) + Record(3), 2, {1, 2}},
        // A damaged marker is a gap at its own time, also where a value byte is 0x6C.
        {Record(1) + QByteArray("\0\0l\0", 4) + Record(3) + "x" + Record(4).mid(1),
         1001,
         {1, MissingSample, 3}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScanSampleRecords(c.Block, c.Capacity), c.Samples) << c.Block.toHex().toStdString();
}

TEST(StepFigures, FiguresAndTheirTexts) {
    const struct {
        TStepRecord Record;
        std::uint32_t Max;
        std::uint64_t ErrorSum;
        // Overshoot, integral, rise time, settling time.
        std::vector<const char*> Texts;
    } cases[] = {
        {Step(200, 1000, {200, 200}), 200, 0, {"0.00", "0.00", "0.00", "0.00"}},
        {Step(200, 1000, {0, 225, 200}), 225, 225, {"12.50", "112.00", "0.00", "1.00"}},
        {Step(200, 1000, {190}), 190, 10, {"-5.00", "5.00", "0.00", "0.00"}},
        {Step(100, 1000, {0, 50, 75, 100}), 100, 175, {"0.00", "87.00", "1.00", "1.50"}},
        // Below the start counts as on the target for the figures, as below it for the times.
        {Step(100, 1000, {-5, 50, 95}), 100, 55, {"0.00", "27.00", "0.50", "1.00"}},
        {Step(100, 1000, {0, 5, 10, 60, 90, 110, 104, 96}), 110, 353, {"10.00", "176.00", "1.00", "3.00"}},
        {Step(100, 1000, {0, 95, 106}), 106, 111, {"6.00", "55.00", "0.00", "-"}},
        // Each sample at its own time, gaps left out.
        {Step(100, 1000, {0, Gap, 96, Gap, 100}), 100, 104, {"0.00", "52.00", "0.00", "1.00"}},
        {Step(200, 1000, {}), 0, 0, {"-", "-", "-", "-"}},
        {Step(4'000'000'000u, 5, {0, 0, 0}), 0, 12'000'000'000, {"-100.00", "6.00000E+09", "-", "-"}},
    };
    for (const auto& c : cases) {
        const TStepFigures figures = StepFigures(c.Record);
        EXPECT_EQ(std::pair(figures.Max, figures.ErrorSum), std::pair(c.Max, c.ErrorSum));
        const TStepTexts texts = StepTexts(figures);
        EXPECT_EQ(QStringList({texts.Overshoot, texts.Integral, texts.RiseTime, texts.SettlingTime}),
                  QStringList({Shown(c.Texts[0]), Shown(c.Texts[1]), Shown(c.Texts[2]), Shown(c.Texts[3])}));
    }
}
