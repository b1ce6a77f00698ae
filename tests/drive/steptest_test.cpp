#include "drive/steptest.h"

#include "common/errors.h"
#include "device/port.h"
#include "device/simport.h"
#include "link/deviceslot.h"
#include "tests/support/qtprinters.h"
#include "tests/support/scriptedexchange.h"

#include <gtest/gtest.h>

namespace {

// count records of the positions first, first + 1, ...
QByteArray Records(std::uint32_t first, int count) {
    QByteArray block;
    for (std::uint32_t value = first; value < first + std::uint32_t(count); ++value)
        block += QByteArray("l") + char(value >> 16) + char(value >> 8) + char(value);
    return block;
}

QByteArray PositionReply(const char* digits) {
    return QByteArray("L \r\n\r\n") + digits + "\r\n";
}

} // namespace

TEST(StepTest, LinesEntriesAndRecords) {
    const QByteArray purge = TScriptedExchange::PurgeMark();
    const QByteArrayList refused = {purge, "L \r\r"};
    // What a drive says between the purge after "S" and its first record.
    const QByteArray chatter = "S 500\r\nOK\r\nJ 1200\r\n";
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
    } cases[] = {
        {"defaults: 800 samples capped",
         PositionReply("1000") + chatter + Records(1000, 500) + "\r\n",
         "200",
         "400",
         "",
         {purge, "L \r\r", "S 500\r", purge, "J 1200\r"},
         true,
         500,
         2010},
        {"250 ms is not capped", PositionReply("1000") + Records(1000, 500), "200", "250", "",
         QByteArrayList{purge, "L \r\r", "S 500\r", purge, "J 1200\r"}, false, 500, 2010},
        {"1 ms", PositionReply("7") + "J 9\r\n" + Records(7, 2), "2", "1", "",
         QByteArrayList{purge, "L \r\r", "S 2\r", purge, "J 9\r"}, false, 2, 18},
        {"beyond 32 bits when doubled", PositionReply("0") + Records(0, 500), "1", "2147483647", "",
         QByteArrayList{purge, "L \r\r", "S 500\r", purge, "J 1\r"}, true, 500, 2010},
        {"fewer records than asked", PositionReply("1000") + Records(1000, 140), "200", "250", "",
         QByteArrayList{purge, "L \r\r", "S 500\r", purge, "J 1200\r"}, false, 140, 2010},
        {"a record cut short", PositionReply("1000") + Records(1000, 3) + "l\x03", "200", "250", "",
         QByteArrayList{purge, "L \r\r", "S 500\r", purge, "J 1200\r"}, false, 3, 2010},
        {"the last position", PositionReply("16777000"), "215", "250", "",
         QByteArrayList{purge, "L \r\r", "S 500\r", purge, "J 16777215\r"}, false, 0, 2010},
        {"target beyond 24 bits", PositionReply("16777000"), "216", "250",
         "The target position 16777216 lies beyond the drive's last position 16777215", refused, false, 0, 0},
        {"largest amplitude", PositionReply("1000"), "2147483647", "250",
         "The target position 2147484647 lies beyond the drive's last position 16777215", refused, false, 0,
         0},
        {"amplitude 0", PositionReply("1000"), "0", "250", "The amplitude must be at least 1 pulse", refused,
         false, 0, 0},
        {"negative amplitude", PositionReply("1000"), "-5", "250", "The amplitude must be at least 1 pulse",
         refused, false, 0, 0},
        {"amplitude not a number", PositionReply("1000"), "2,5", "250", "'2,5' is not a valid integer value",
         refused, false, 0, 0},
        {"empty amplitude", PositionReply("1000"), "", "250", "'' is not a valid integer value", refused,
         false, 0, 0},
        {"time 0", PositionReply("1000"), "200", "0", "The measurement time must be at least 1 ms", refused,
         false, 0, 0},
        {"time not a number", PositionReply("1000"), "200", "1e3", "'1e3' is not a valid integer value",
         refused, false, 0, 0},
        {"silent drive", "", "200", "250", "' ' is not a valid integer value", refused, false, 0, 0},
    };
    for (const auto& c : cases) {
        TScriptedExchange exchange(c.Incoming);
        QString error;
        TStepMeasurement measurement;
        try {
            measurement = MeasureStep(exchange, c.Amplitude, c.Time);
        } catch (const EKelmorError& e) {
            error = e.Message();
        }
        EXPECT_EQ(error, c.Error) << c.Name;
        EXPECT_EQ(exchange.Log, c.Log) << c.Name;
        if (!error.isEmpty())
            continue;
        EXPECT_EQ(measurement.TimeCapped, c.Capped) << c.Name;
        EXPECT_EQ(measurement.Record.Samples.size(), std::size_t(c.Samples)) << c.Name;
        // The position reply's head is the first read, the block the second.
        ASSERT_GE(exchange.Reads.size(), 2u) << c.Name;
        EXPECT_EQ(exchange.Reads[1].Count, c.FirstRead) << c.Name;
    }
}

TEST(StepTest, FollowsAnotherAtOnceOnTheSimulatedDrive) {
    const QByteArray savedPorts = qgetenv("ZQLINK_PORTS");
    qputenv("ZQLINK_PORTS", "sim");
    ResetSimClock();
    ResetSimulatedDrives();
    {
        TDeviceSlot slot(0);
        ASSERT_TRUE(slot.Open());
        // Each test starts while the CR LF after the records of the one before is still on the wire.
        for (int i = 0; i < 3; ++i) {
            try {
                const TStepMeasurement measurement = MeasureStep(*slot.BeginExchange(), "200", "1");
                EXPECT_EQ(measurement.Record.Samples.size(), 2u) << i;
            } catch (const EKelmorError& e) {
                ADD_FAILURE() << i << ": " << e.Message().toStdString();
            }
        }
    }
    CloseAllPorts();
    ResetSimulatedDrives();
    qputenv("ZQLINK_PORTS", savedPorts);
}
