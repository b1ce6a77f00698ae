#include "device/zqlink.h"
#include "simport/simulatedports.h"
#include "tests/support/testbytes.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <vector>

namespace {

// Every index opens its simulated drive, time runs on a manual clock, and each test starts from
// drives at power-on.
class SimPortTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const ZQ_HANDLE h : FOpened)
            ZQ_Close(h);
    }

    ZQ_HANDLE Open(std::int32_t index = 0, std::uint32_t baud = 115200, std::uint32_t readTimeout = 300,
                   const QString& portName = "sim") {
        const TOpenResult opened = OpenDevice(FPorts, index, portName);
        EXPECT_EQ(opened.Status, ZQ_OK);
        const ZQ_HANDLE h = opened.Handle;
        FOpened.push_back(h);
        EXPECT_EQ(ZQ_SetBaudRate(h, baud), ZQ_OK);
        EXPECT_EQ(ZQ_SetTimeouts(h, readTimeout, 300), ZQ_OK);
        return h;
    }

    static void Write(ZQ_HANDLE h, const QByteArray& bytes) {
        std::uint32_t written = 0;
        EXPECT_EQ(ZQ_Write(h, bytes.constData(), std::uint32_t(bytes.size()), &written), ZQ_OK);
        EXPECT_EQ(written, std::uint32_t(bytes.size()));
    }

    static QByteArray Read(ZQ_HANDLE h, std::uint32_t count) {
        QByteArray buffer(int(count), '\0');
        std::uint32_t got = 0;
        EXPECT_EQ(ZQ_Read(h, buffer.data(), count, &got), ZQ_OK);
        return buffer.left(int(got));
    }

    static std::uint32_t Waiting(ZQ_HANDLE h) {
        std::uint32_t rx = 0, tx = 0, ev = 0;
        EXPECT_EQ(ZQ_GetStatus(h, &rx, &tx, &ev), ZQ_OK);
        return rx;
    }

    std::shared_ptr<TManualSimClock> FClock = std::make_shared<TManualSimClock>();
    TSimulatedPorts FSimulated{FClock};
    TPortFactory FPorts = MachinePorts({FSimulated.Kind()});
    // Closed at the end, the ones closed already again to no effect.
    std::vector<ZQ_HANDLE> FOpened;
};

} // namespace

TEST_F(SimPortTest, BytesTakeTenBitTimesEachWay) {
    // 1000 bit/s: a byte takes 10 ms on the wire.
    const ZQ_HANDLE h = Open(0, 1000);
    Write(h, "l\r");
    struct Step {
        std::int64_t AtMs;
        std::uint32_t Waiting;
    };
    // "l" lands at 10 ms and its echo is back at 20 ms; CR lands at 20 ms, the reply
    // "\r\nX=100000\r\n" follows back to back.
    const Step steps[] = {{9, 0}, {20, 1}, {29, 1}, {30, 2}, {150, 13}, {200, 13}};
    std::int64_t now = 0;
    for (const Step& s : steps) {
        FClock->Advance((s.AtMs - now) * 1'000'000);
        now = s.AtMs;
        EXPECT_EQ(Waiting(h), s.Waiting) << "at " << s.AtMs << " ms";
    }
    EXPECT_EQ(Read(h, 100), QByteArray("l\r\nX=100000\r\n"));
}

TEST_F(SimPortTest, ReadWaitsUpToItsTimeOut) {
    const ZQ_HANDLE h = Open(0, 115200, 300);
    const std::int64_t start = FClock->NowNs();
    EXPECT_EQ(Read(h, 10), QByteArray());
    EXPECT_EQ(FClock->NowNs() - start, 300'000'000) << "a silent drive: the whole time-out";

    Write(h, "i\r");
    const QByteArray id = Read(h, 1000);
    EXPECT_TRUE(id.startsWith("i\r\n")) << id.constData();
    EXPECT_TRUE(id.endsWith("\r\n"));

    Write(h, "P4\r");
    const std::int64_t before = FClock->NowNs();
    EXPECT_EQ(Read(h, 8), QByteArray("P4\r\n102:"));
    // Three bytes out, the first echo byte back a byte later, eight bytes back to back.
    EXPECT_LT(FClock->NowNs() - before, 11 * 87'000 + 100'000) << "returns as soon as the bytes are there";

    ASSERT_EQ(ZQ_SetTimeouts(h, 0, 0), ZQ_OK);
    Write(h, "\r");
    EXPECT_EQ(Read(h, 2), QByteArray()) << "time-out 0: only what has arrived";
}

TEST_F(SimPortTest, PurgeModemLinesAndStatus) {
    const ZQ_HANDLE h = Open();
    std::uint32_t modem = 0xFF;
    ASSERT_EQ(ZQ_GetModemStatus(h, &modem), ZQ_OK);
    EXPECT_EQ(modem, 0u);
    ZQ_SetRts(h);
    ASSERT_EQ(ZQ_GetModemStatus(h, &modem), ZQ_OK);
    EXPECT_EQ(modem, ZQ_MODEM_STATUS_CTS);
    ZQ_SetDtr(h);
    ZQ_ClrRts(h);
    ASSERT_EQ(ZQ_GetModemStatus(h, &modem), ZQ_OK);
    EXPECT_EQ(modem, ZQ_MODEM_STATUS_DSR);

    Write(h, "l\r");
    FClock->Advance(5'000'000);
    EXPECT_EQ(Waiting(h), 13u);
    ASSERT_EQ(ZQ_Purge(h, ZQ_PURGE_RX), ZQ_OK);
    EXPECT_EQ(Waiting(h), 0u);

    // Bytes purged from the transmit side never reach the drive.
    Write(h, "P2 1\r");
    ASSERT_EQ(ZQ_Purge(h, ZQ_PURGE_TX), ZQ_OK);
    FClock->Advance(5'000'000);
    EXPECT_EQ(FSimulated.Drive(0).Register(2), 768);
    EXPECT_EQ(Read(h, 10), QByteArray("P")) << "only the byte already on the wire";

    EXPECT_NE(ZQ_SetBaudRate(h, 0), ZQ_OK);
    EXPECT_NE(ZQ_Purge(h, 4), ZQ_OK);
}

TEST_F(SimPortTest, HardwareFlowControlHoldsTheDriveWhileRtsIsDown) {
    const ZQ_HANDLE h = Open();
    ASSERT_EQ(ZQ_SetFlowControl(h, ZQ_FLOW_RTS_CTS, 0, 0), ZQ_OK);
    ZQ_SetRts(h);
    Write(h, "l\r");
    // At 0.1 ms "l" has landed and its echo is on the wire; CR lands at 0.17 ms.
    FClock->Advance(100'000);
    ZQ_ClrRts(h);
    FClock->Advance(10'000'000);
    EXPECT_EQ(Read(h, 100), QByteArray("l")) << "CTS is down: the drive's output waits";
    ZQ_SetRts(h);
    EXPECT_EQ(Read(h, 100), QByteArray("\r\nX=100000\r\n")) << "and flows again with RTS";
}

TEST_F(SimPortTest, DriveOutlivesItsPortAndEachIndexHasItsOwn) {
    ZQ_HANDLE h = Open(0);
    Write(h, "P2 999\rW3\r");
    FClock->Advance(5'000'000);
    ASSERT_EQ(ZQ_Close(h), ZQ_OK);

    const ZQ_HANDLE other = Open(1);
    Write(other, "P2\r\r");
    EXPECT_EQ(Read(other, 100), QByteArray("P2\r\n768:\r\n"));

    h = Open(0);
    Write(h, "P2 1\rR3\rP2\r\r");
    EXPECT_EQ(Read(h, 100), QByteArray("P2 1\r\nR3\r\nOK\r\nP2\r\n999:\r\n"));
}

TEST_F(SimPortTest, StepTestExchangeDeliversEverySample) {
    const ZQ_HANDLE h = Open(0, 115200, 1000);
    ZQ_Purge(h, ZQ_PURGE_RX);
    Write(h, "L \r\r");
    EXPECT_EQ(Read(h, 6).size(), 6);
    QByteArray digits;
    for (QByteArray b = Read(h, 1); !b.isEmpty() && b[0] >= '0' && b[0] <= '9'; b = Read(h, 1))
        digits += b;
    EXPECT_EQ(digits, QByteArray("100000"));
    Write(h, "S 500\r");
    ZQ_Purge(h, ZQ_PURGE_RX);
    Write(h, "J 100200\r");
    const std::int64_t start = FClock->NowNs();
    const QByteArray reply = Read(h, 4 * 500 + 10);
    // The records stream, and the late answers to S and J fill the read's first bytes: it is
    // complete a few records before the 250 ms recording ends.
    EXPECT_GT(FClock->NowNs() - start, 248'000'000) << "the recording takes its time";

    const std::vector<std::uint32_t> samples = ParseSampleRecords(reply);
    // The late answer to S and the echo of J come ahead of the records and take the place of the
    // last few.
    EXPECT_GE(samples.size(), 495u);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.front(), 100000u);
    EXPECT_NEAR(double(samples.back()), 100200.0, 2.0);
}

// At 115200 bit/s the records (8000 bytes/s) keep up with the 0.5 ms samples, so the block is in
// one record and CR LF (six byte times, 0.52 ms) after the recording ends, not 174 ms later.
TEST_F(SimPortTest, RecordsStreamWhileTheDriveRecords) {
    const ZQ_HANDLE h = Open(0, 115200, 1000);
    Write(h, "S 500\r");
    EXPECT_EQ(Read(h, 11), QByteArray("S 500\r\nOK\r\n"));
    Write(h, "J 100200\r");
    EXPECT_EQ(Read(h, 10), QByteArray("J 100200\r\n"));
    const std::int64_t end = FClock->NowNs() + FSimulated.Drive(0).NanosUntilRecordingEnds();

    FClock->Advance(125'000'000);
    EXPECT_GE(Waiting(h), 4u * 245) << "half the records are there halfway through";
    const QByteArray block = Read(h, 4 * 500 + 2);
    EXPECT_EQ(ParseSampleRecords(block).size(), 500u);
    EXPECT_TRUE(block.endsWith("\r\n"));
    EXPECT_GE(FClock->NowNs() - end, 0);
    EXPECT_LE(FClock->NowNs() - end, 600'000);
}

// A lossy line loses the drive's bytes, never the host's: every line arrives whole.
TEST_F(SimPortTest, ALossyLineLosesOnlyWhatTheDriveSends) {
    const ZQ_HANDLE h = Open(0, 115200, 300, "sim:drop=0.05,seed=7");
    int whole = 0;
    FSimulated.Drive(0).SetTrace(
        [&](std::int64_t, const std::string& line, std::int32_t) { whole += line == "P4 77"; });
    Write(h, QByteArray("P4 77\r").repeated(200));
    const QByteArray echo = Read(h, 200 * 7);
    EXPECT_EQ(whole, 200);
    EXPECT_GT(echo.size(), 200 * 7 * 93 / 100);
    EXPECT_LT(echo.size(), 200 * 7 * 97 / 100);
    FSimulated.Drive(0).SetTrace({});
}
