// kelmor-drive-sim on its pseudo-terminal, reached through the device library's serial backend
// as the tool reaches a real drive.

#include "device/zqlink.h"
#include "tests/support/testbytes.h"

#include <QByteArray>
#include <QProcess>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class DriveSimProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        FProgram.start(QStringLiteral(KELMOR_DRIVE_SIM), {});
        ASSERT_TRUE(FProgram.waitForStarted(5000));
        // The first line is the terminal's path.
        while (!FProgram.canReadLine())
            ASSERT_TRUE(FProgram.waitForReadyRead(5000));
        const QByteArray path = FProgram.readLine().trimmed();
        ASSERT_FALSE(path.isEmpty());
        ASSERT_EQ(ZQ_OpenByName(0, path.constData(), &FHandle), ZQ_OK);
        ASSERT_EQ(ZQ_SetBaudRate(FHandle, 115200), ZQ_OK);
        ASSERT_EQ(ZQ_SetDataCharacteristics(FHandle, ZQ_BITS_8, ZQ_STOP_BITS_1, ZQ_PARITY_NONE), ZQ_OK);
        ASSERT_EQ(ZQ_SetTimeouts(FHandle, 1000, 1000), ZQ_OK);
        ASSERT_EQ(ZQ_Purge(FHandle, ZQ_PURGE_RX | ZQ_PURGE_TX), ZQ_OK);
    }

    void TearDown() override {
        ZQ_Close(FHandle);
        // Its peer has gone, so the program ends by itself.
        if (!FProgram.waitForFinished(5000)) {
            ADD_FAILURE() << "kelmor-drive-sim did not end when its peer closed";
            FProgram.kill();
            FProgram.waitForFinished(5000);
        }
    }

    void Write(const QByteArray& bytes) const {
        std::uint32_t written = 0;
        ASSERT_EQ(ZQ_Write(FHandle, bytes.constData(), std::uint32_t(bytes.size()), &written), ZQ_OK);
        ASSERT_EQ(written, std::uint32_t(bytes.size()));
    }

    QByteArray Read(std::uint32_t count) const {
        QByteArray buffer(int(count), '\0');
        std::uint32_t got = 0;
        EXPECT_EQ(ZQ_Read(FHandle, buffer.data(), count, &got), ZQ_OK);
        return buffer.left(int(got));
    }

    // The register dialogue as the settings read-back runs it: skip the echo to its CR, drop one
    // byte, collect to the colon, close the prompt with a CR and drop its two-byte echo.
    QByteArray ReadRegister(int n) const {
        Write("P" + QByteArray::number(n) + "\r");
        for (QByteArray b = Read(1); b != "\r"; b = Read(1))
            if (b.isEmpty())
                return "no echo";
        Read(1);
        QByteArray value;
        for (QByteArray b = Read(1); b != ":"; b = Read(1)) {
            if (b.isEmpty() || value.size() > 20)
                return "no prompt";
            value += b;
        }
        Write("\r");
        EXPECT_EQ(Read(2), QByteArray("\r\n"));
        return value;
    }

    QProcess FProgram;
    ZQ_HANDLE FHandle = 0;
};

} // namespace

TEST_F(DriveSimProgramTest, RegistersAndBanksOverTheSerialBackend) {
    EXPECT_EQ(ReadRegister(0), QByteArray("213"));
    EXPECT_EQ(ReadRegister(8), QByteArray("64"));

    Write("P2 1000\r");
    EXPECT_EQ(Read(9), QByteArray("P2 1000\r\n"));
    EXPECT_EQ(ReadRegister(2), QByteArray("1000"));

    Write("W1\rP2 5\r");
    EXPECT_EQ(Read(14), QByteArray("W1\r\nOK\r\nP2 5\r\n"));
    EXPECT_EQ(ReadRegister(2), QByteArray("5"));
    Write("R1\r");
    EXPECT_EQ(Read(8), QByteArray("R1\r\nOK\r\n"));
    EXPECT_EQ(ReadRegister(2), QByteArray("1000"));
}

TEST_F(DriveSimProgramTest, StepTestRecordsAPlausibleResponse) {
    Write("L \r\r");
    EXPECT_EQ(Read(6).size(), 6);
    QByteArray digits;
    for (QByteArray b = Read(1); !b.isEmpty() && b[0] >= '0' && b[0] <= '9'; b = Read(1))
        digits += b;
    const std::uint32_t start = digits.toUInt();
    ASSERT_GT(start, 0u) << digits.constData();

    const int count = 200;
    const int amplitude = 200;
    Write("S " + QByteArray::number(count) + "\r");
    ZQ_Purge(FHandle, ZQ_PURGE_RX);
    Write("J " + QByteArray::number(start + amplitude) + "\r");
    const QByteArray reply = Read(4 * count + 10);

    const std::vector<std::uint32_t> samples = ParseSampleRecords(reply);
    ASSERT_GE(samples.size(), std::size_t(count) - 5);
    EXPECT_NEAR(double(samples.front()), double(start), 1.0);
    EXPECT_NEAR(double(samples.back()), double(start + amplitude), 3.0) << "settled within 100 ms";
    const double overshoot =
        100.0 * (double(*std::max_element(samples.begin(), samples.end())) - start - amplitude) / amplitude;
    EXPECT_GT(overshoot, 1.0);
    EXPECT_LT(overshoot, 30.0);
    EXPECT_TRUE(std::is_sorted(samples.begin(), samples.begin() + 10)) << "it sets off towards the target";
}
