#include "drive/steptest.h"

#include "drive/controllersettings.h"
#include "drive/drivemodel.h"
#include "drive/readingvote.h"

#include "harness/qtprinters.h"
#include "link/deviceslot.h"
#include "sim/drivesim.h"
#include "tests/support/outcome.h"
#include "tests/support/portsscope.h"
#include "tests/support/scriptedexchange.h"
#include "tests/support/simulatedlines.h"

#include <atomic>
#include <gtest/gtest.h>

namespace {

// count records of the positions first, first + 1, ...
QByteArray Records(std::uint32_t first, int count) {
    QByteArray block;
    for (std::uint32_t value = first; value < first + std::uint32_t(count); ++value)
        block += QByteArray("l") + char(value >> 16) + char(value >> 8) + char(value);
    return block;
}

// The replies to readings asked at once: the first of each digits given, the rest as many of `digits`
// as a confirmation without a witness asks at first.
QByteArray PositionReply(const char* digits, const std::vector<const char*>& first = {},
                         int count = AgreeingReadings) {
    QByteArray replies;
    for (int i = 0; i < count; ++i) {
        const char* d = std::size_t(i) < first.size() ? first[std::size_t(i)] : digits;
        replies += (i == 0 ? QByteArray("L \r\n\r\n") : QByteArray("\r\nL \r\n\r\n")) + d + "\r\n";
    }
    return replies;
}

QByteArrayList Queries(int count) {
    QByteArrayList queries = {TScriptedExchange::PurgeMark()};
    for (int i = 0; i < count; ++i)
        queries << "L \r\r";
    return queries;
}

} // namespace

TEST(StepTest, LinesEntriesAndRecords) {
    const QByteArray purge = TScriptedExchange::PurgeMark();
    const QByteArrayList refused = Queries(AgreeingReadings);
    const auto measured = [&](const char* samples, const char* step, QByteArrayList queries = {}) {
        return (queries.isEmpty() ? refused : queries) + QByteArrayList{samples, purge, step, "S 0\r"};
    };
    // Replies that break their frame are asked again, a vote's worth a time, until the bound.
    QByteArrayList askedAgain;
    for (int i = 0; i < MostConfirmingQueries / AgreeingReadings; ++i)
        askedAgain += refused;
    // Three readings that disagree, then silence: each time the five missing, until the bound.
    const QByteArray neverAgree = PositionReply("", {"100000", "200000", "300000"}, 3);
    const QByteArrayList askedOnAfterThree =
        refused + Queries(5) + Queries(5) + Queries(5) + Queries(MostConfirmingQueries - 21);
    // What a drive says between the purge after "S" and its first record, more than the spare bytes.
    const QByteArray chatter = "S 500\r\nOK\r\nJ 1200\r\n";
    const QString notWhereLeft = "The motor is not where the last test left it: its records left it at 1000, "
                                 "the drive says %1: nothing was moved";
    const struct {
        const char* Name;
        QByteArray Incoming;
        QString Amplitude;
        QString Time;
        QString Error;
        QByteArrayList Log;
        bool Capped;
        int Samples;
        std::uint32_t FirstRead;
        std::optional<std::int32_t> Witness = std::nullopt;
    } cases[] = {
        {"defaults", PositionReply("1000") + chatter + Records(1000, 500) + "\r\n", "200", "400", "",
         measured("S 500\r", "J 1200\r"), true, 500, 2010},
        {"250 ms", PositionReply("1000") + Records(1000, 500), "200", "250", "",
         measured("S 500\r", "J 1200\r"), false, 500, 2010},
        {"1 ms", PositionReply("7") + "J 9\r\n" + Records(7, 2), "2", "1", "", measured("S 2\r", "J 9\r"),
         false, 2, 18},
        {"doubled beyond 32 bits", PositionReply("0"), "1", "2147483647", "", measured("S 500\r", "J 1\r"),
         true, 0, 2010},
        {"the last position", PositionReply("16777000"), "215", "250", "",
         measured("S 500\r", "J 16777215\r"), false, 0, 2010},
        {"beyond 24 bits", PositionReply("16777000"), "216", "250",
         "The target position 16777216 lies beyond the drive's last position 16777215", refused, false, 0, 0},
        {"beyond 32 bits", PositionReply("1000"), "2147483647", "250",
         "The target position 2147484647 lies beyond the drive's last position 16777215", refused, false, 0,
         0},
        {"amplitude 0",
         PositionReply("1000"),
         "0",
         "250",
         "The amplitude must be at least 1 pulse",
         {},
         false,
         0,
         0},
        {"time 0",
         PositionReply("1000"),
         "200",
         "0",
         "The measurement time must be at least 1 ms",
         {},
         false,
         0,
         0},
        {"silent drive", "", "200", "250", "' ' is not a valid integer value", askedAgain, false, 0, 0},
        {"the tail of a settings write's echo", QByteArray("64\r\nL ").repeated(MostConfirmingQueries), "200",
         "250", "' 64\\r\\nL 64\\r\\nL 64\\r\\n' is not a valid integer value", askedAgain, false, 0, 0},
        // Only the longest readings count: two short ones ahead of the whole ones must not be taken.
        {"readings that lost a digit",
         PositionReply("100000", {"10000", "10000"}) + PositionReply("100000", {}, 2), "200", "250", "",
         measured("S 500\r", "J 100200\r", refused + Queries(2)), false, 0, 2010},
        {"readings that never agree", neverAgree, "200", "250",
         "The positions read do not agree: 100000, 200000, 300000: nothing was moved", askedOnAfterThree,
         false, 0, 0},
        {"a witness one reading agrees with", PositionReply("1002", {}, 1), "200", "250", "",
         measured("S 500\r", "J 1202\r", Queries(1)), false, 0, 2010, 1000},
        {"a witness after a reading that lost a digit",
         PositionReply("1000", {"100"}, 1) + PositionReply("1000", {}, 1), "200", "250", "",
         measured("S 500\r", "J 1200\r", Queries(1) + Queries(1)), false, 0, 2010, 1000},
        {"a witness the drive keeps contradicting", PositionReply("5000", {}, 1).repeated(3), "200", "250",
         notWhereLeft.arg("5000, 5000, 5000"), Queries(1) + Queries(1) + Queries(1), false, 0, 0, 1000},
        // A converter that loses the same digit of every reply: the witness catches it.
        {"the same digit lost from every reading", PositionReply("100", {}, 1).repeated(3), "200", "250",
         notWhereLeft.arg("100, 100, 100"), Queries(1) + Queries(1) + Queries(1), false, 0, 0, 1000},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        // The set-point put back to 0 after the records, confirmed.
        exchange.Answers["S 0\r"] = "S 0\r\nOK\r\n";
        TStepMeasurement measurement;
        EXPECT_EQ(Outcome([&] {
                      measurement = MeasureStep(exchange, TFigure(c.Amplitude), TFigure(c.Time), c.Witness);
                  }),
                  c.Error)
            << c.Name;
        EXPECT_EQ(exchange.Log, c.Log) << c.Name;
        if (!c.Error.isEmpty())
            continue;
        EXPECT_EQ(measurement.TimeCapped, c.Capped) << c.Name;
        EXPECT_EQ(measurement.Record.Samples.size(), std::size_t(c.Samples)) << c.Name;
        // The block is the first read longer than a position reply's head.
        const auto block = std::find_if(exchange.Reads.begin(), exchange.Reads.end(),
                                        [](const TScriptedExchange::TRead& r) { return r.Count > 8; });
        ASSERT_NE(block, exchange.Reads.end()) << c.Name;
        EXPECT_EQ(block->Count, c.FirstRead) << c.Name;
    }
}

class StepTestOnALine : public ::testing::TestWithParam<TSimulatedLine> {};
INSTANTIATE_TEST_SUITE_P(Lines, StepTestOnALine, ::testing::ValuesIn(SimulatedLines), LineName);

TEST_P(StepTestOnALine, FollowsAnotherAtOnceOnTheSimulatedDrive) {
    TPortsScope simulated(GetParam().Ports());
    TDeviceSlot slot(0, simulated.Ports());
    ASSERT_TRUE(slot.Open());
    // Each test starts while the CR LF after the records of the one before is still on the wire, the
    // motor at rest by then.
    for (int i = 0; i < 3; ++i) {
        TStepMeasurement m;
        EXPECT_EQ(Outcome([&] {
                      m = MeasureStep(*slot.BeginExchange(slot.Lease(TLeaseUse::Command).value()),
                                      TFigure("200"), TFigure("100"));
                  }),
                  "")
            << i;
        EXPECT_EQ(m.Record.Samples.size(), 200u) << i;
    }
}

// On a line that loses one of the drive's bytes in twenty, at random or every twentieth, a series of
// tests through the model either fails with a message or steps from where the motor stands: every step
// the drive takes is the motor's position plus the amplitude; no test writes more queries than its
// bound, and most of them measure.
TEST_P(StepTestOnALine, StepsOnlyFromTheMotorsPositionOnALossyLine) {
    for (const char* loss : {"drop=0.05,seed=11", "drop=0.05,seed=12", "drop=0.05,seed=13", "dropevery=20"}) {
        TPortsScope simulated(GetParam().Ports(loss));
        TDeviceSlot slot(0, simulated.Ports());
        ASSERT_TRUE(slot.Open());
        TDriveModel model(slot);
        model.ModeConfirmed(PositionMode);
        std::vector<std::pair<std::int64_t, std::int32_t>> steps;
        std::atomic<int> queries = 0;
        simulated.Drive(0).SetTrace([&](std::int64_t, const std::string& line, std::int32_t position) {
            queries += line.rfind("L", 0) == 0;
            if (line.rfind("J ", 0) == 0)
                steps.emplace_back(std::atoll(line.c_str() + 2), position);
        });
        int measured = 0;
        int mostQueries = 0;
        for (int i = 0; i < 10; ++i) {
            const int before = queries;
            const QString why = Outcome([&] { model.Tests().Run(TFigure("200"), TFigure("20"), false); });
            measured += why.isEmpty();
            mostQueries = std::max(mostQueries, queries - before);
        }
        simulated.Drive(0).SetTrace({});
        EXPECT_GE(measured, 7) << loss;
        EXPECT_LE(mostQueries, MostConfirmingQueries) << loss;
        for (const auto& [target, position] : steps)
            EXPECT_NEAR(target, position + 200, 2) << loss << ": J " << target << " @" << position;
    }
}
