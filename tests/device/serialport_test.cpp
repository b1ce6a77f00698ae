// The serial backend against a pseudo-terminal: the backend opens the terminal end, the test
// plays the device on the controlling end. A pseudo-terminal pair shares one set of terminal
// settings, so the test reads back from its end what the backend really set.

#include "device/port.h"
#include "device/portfactory.h"
#include "device/zqlink.h"
#include "tests/support/pty.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <array>
#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Opens device index 0 on the pseudo-terminal through the library, as the program reopens a lost one.
class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FPty.Ok());
        ASSERT_EQ(ZQ_OpenByName(0, FPty.SlavePath().toLocal8Bit().constData(), &FHandle), ZQ_OK);
    }
    void TearDown() override { ZQ_Close(FHandle); }

    // Waits (bounded) until the backend reports at least count bytes received.
    std::uint32_t WaitForReceived(std::uint32_t count) {
        std::uint32_t rx = 0, tx = 0, events = 0;
        QElapsedTimer timer;
        timer.start();
        while (ZQ_GetStatus(FHandle, &rx, &tx, &events) == ZQ_OK && rx < count && timer.elapsed() < 2000)
            ::usleep(5000);
        return rx;
    }

    TPty FPty;
    ZQ_HANDLE FHandle = 0;
};

// The user "nobody" of Debian: no group, no privilege.
constexpr uid_t KNobody = 65534;

// What the serial backend reports when an ordinary user opens path, in a child process that first
// gives up root when the test runs as root.
TOpenFailure OpenAsOrdinaryUser(const QByteArray& path) {
    TOpenFailure failure{ZQ_OK, -1, {}};
    int channel[2];
    if (::pipe(channel) != 0)
        return failure;
    const pid_t child = ::fork();
    if (child == 0) {
        TOpenFailure got;
        if (::geteuid() != 0 ||
            (::setgroups(0, nullptr) == 0 && ::setresgid(KNobody, KNobody, KNobody) == 0 &&
             ::setresuid(KNobody, KNobody, KNobody) == 0))
            OpenSerialPort(QString::fromLocal8Bit(path), got);
        const std::array<std::int64_t, 2> sent = {std::int64_t(got.Status), got.SystemError};
        [[maybe_unused]] const auto written = ::write(channel[1], sent.data(), sizeof sent);
        ::_exit(0);
    }
    ::close(channel[1]);
    if (child > 0) {
        std::array<std::int64_t, 2> received{};
        if (::read(channel[0], received.data(), sizeof received) == sizeof received)
            failure = {ZQ_STATUS(received[0]), int(received[1]), {}};
        ::waitpid(child, nullptr, 0);
    }
    ::close(channel[0]);
    return failure;
}

QByteArray AllByteValues() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

TEST(SerialPortOpen, MissingPortIsRefused) {
    TOpenFailure failure;
    EXPECT_EQ(OpenSerialPort("/dev/kelmor-no-such-port", failure), nullptr);
    EXPECT_NE(failure.Status, ZQ_OK);
    EXPECT_EQ(failure.SystemError, ENOENT);
}

// The two refusals an ordinary user meets: a port of a group they are not in, and a port that
// another program holds (here the fixture's open device).
TEST_F(SerialPortTest, AnOrdinaryUserIsToldWhyThePortIsRefused) {
    char lockedPath[] = "/tmp/kelmor-lockedXXXXXX";
    const int locked = ::mkstemp(lockedPath);
    ASSERT_GE(locked, 0);
    ::close(locked);
    ASSERT_EQ(::chmod(lockedPath, 0), 0);
    const QByteArray held = FPty.SlavePath().toLocal8Bit();
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(held.constData(), KNobody, KNobody), 0);
    }

    struct Case {
        QByteArray Path;
        ZQ_STATUS Status;
        int SystemError;
    };
    const Case cases[] = {
        {lockedPath, ZQ_ACCESS_DENIED, EACCES},
        {held, ZQ_DEVICE_BUSY, EBUSY},
    };
    for (const Case& c : cases) {
        const TOpenFailure failure = OpenAsOrdinaryUser(c.Path);
        EXPECT_EQ(failure.Status, c.Status) << c.Path.constData();
        EXPECT_EQ(failure.SystemError, c.SystemError) << c.Path.constData();
    }
    ::unlink(lockedPath);
}

TEST_F(SerialPortTest, EveryByteValueTravelsBothWaysUnchanged) {
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 1000, 1000), ZQ_OK);
    const QByteArray bytes = AllByteValues();

    std::uint32_t written = 0;
    ASSERT_EQ(ZQ_Write(FHandle, bytes.constData(), bytes.size(), &written), ZQ_OK);
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(FPty.Drain(), bytes);

    FPty.Send(bytes);
    QByteArray got(256, '\0');
    std::uint32_t read = 0;
    ASSERT_EQ(ZQ_Read(FHandle, got.data(), got.size(), &read), ZQ_OK);
    EXPECT_EQ(read, 256u);
    EXPECT_EQ(got, bytes);
}

TEST_F(SerialPortTest, ShortReadReturnsWhatArrivedAtTheTimeout) {
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 300, 300), ZQ_OK);
    FPty.Send("OK\r");
    char got[16] = {};
    std::uint32_t read = 99;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(ZQ_Read(FHandle, got, sizeof got, &read), ZQ_OK);
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(QByteArray(got, read), "OK\r");
    EXPECT_GE(elapsed, 250);
    EXPECT_LT(elapsed, 2300);

    // Nothing waiting and no time-out: back at once with nothing.
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 0, 0), ZQ_OK);
    EXPECT_EQ(ZQ_Read(FHandle, got, sizeof got, &read), ZQ_OK);
    EXPECT_EQ(read, 0u);
}

// The receive count takes in what has arrived; those bytes and the ones the system still holds
// must both be counted and delivered, in order.
TEST_F(SerialPortTest, ReceiveCountCoversEveryBufferAndPurgeEmptiesThem) {
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 0, 0), ZQ_OK);
    FPty.Send("first ");
    ASSERT_EQ(WaitForReceived(6), 6u);
    QCoreApplication::processEvents();
    FPty.Send("second");
    EXPECT_EQ(WaitForReceived(12), 12u);

    char got[32] = {};
    std::uint32_t read = 0;
    EXPECT_EQ(ZQ_Read(FHandle, got, 8, &read), ZQ_OK);
    EXPECT_EQ(QByteArray(got, read), "first se");
    EXPECT_EQ(WaitForReceived(4), 4u);
    EXPECT_EQ(ZQ_Read(FHandle, got, sizeof got, &read), ZQ_OK);
    EXPECT_EQ(QByteArray(got, read), "cond");

    FPty.Send("stale ");
    ASSERT_EQ(WaitForReceived(6), 6u);
    QCoreApplication::processEvents();
    FPty.Send("bytes");
    ASSERT_EQ(WaitForReceived(11), 11u);
    EXPECT_EQ(ZQ_Purge(FHandle, ZQ_PURGE_RX), ZQ_OK);
    std::uint32_t rx = 99, tx = 0, events = 0;
    EXPECT_EQ(ZQ_GetStatus(FHandle, &rx, &tx, &events), ZQ_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(ZQ_Read(FHandle, got, sizeof got, &read), ZQ_OK);
    EXPECT_EQ(read, 0u);

    EXPECT_NE(ZQ_Purge(FHandle, 4), ZQ_OK);
    EXPECT_EQ(ZQ_Purge(FHandle, ZQ_PURGE_RX | ZQ_PURGE_TX), ZQ_OK);
}

// A write that cannot finish in time says how many bytes the system took, and no more reach the
// line afterwards: a caller that sends the rest again must not duplicate anything.
TEST_F(SerialPortTest, TimedOutWriteCountsExactlyWhatWasSent) {
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 0, 200), ZQ_OK);
    QByteArray block;
    for (int i = 0; i < 4096; ++i)
        block += AllByteValues();
    std::uint32_t written = 0;
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(ZQ_Write(FHandle, block.constData(), block.size(), &written), ZQ_OK);
    EXPECT_LT(timer.elapsed(), 2200);
    ASSERT_LT(written, static_cast<std::uint32_t>(block.size())) << "the peer never read";
    EXPECT_GT(written, 0u);
    EXPECT_EQ(FPty.Drain(), block.left(written));
}

TEST_F(SerialPortTest, PseudoTerminalHasNoModemLines) {
    std::uint32_t modem = 99;
    EXPECT_EQ(ZQ_GetModemStatus(FHandle, &modem), ZQ_OK);
    EXPECT_EQ(modem, 0u);
    EXPECT_EQ(ZQ_SetEventNotification(FHandle, ZQ_EVENT_RXCHAR | ZQ_EVENT_MODEM_STAT, nullptr), ZQ_OK);
}

TEST_F(SerialPortTest, RatesReachTheLine) {
    struct Case {
        std::uint32_t Rate;
        speed_t Speed; // 0: a rate the terminal driver holds as a custom one
    };
    const Case cases[] = {{300, B300},       {600, B600},      {1200, B1200},     {2400, B2400},
                          {4800, B4800},     {9600, B9600},    {14400, 0},        {19200, B19200},
                          {38400, B38400},   {57600, B57600},  {115200, B115200}, {230400, B230400},
                          {460800, B460800}, {921600, B921600}};
    for (const Case& c : cases) {
        EXPECT_EQ(ZQ_SetBaudRate(FHandle, c.Rate), ZQ_OK) << c.Rate;
        const termios tio = FPty.Settings();
        if (c.Speed != 0) {
            EXPECT_EQ(::cfgetospeed(&tio), c.Speed) << c.Rate;
        }
    }
    EXPECT_NE(ZQ_SetBaudRate(FHandle, 0), ZQ_OK);
    EXPECT_NE(ZQ_SetBaudRate(FHandle, 0x80000000u), ZQ_OK);
}

// A pseudo-terminal keeps 8 data bits without parity whatever it is asked; the backend must say
// so rather than claim a framing the line does not have.
TEST_F(SerialPortTest, DataCharacteristicsReachTheLineOrAreRefused) {
    struct Case {
        std::uint8_t WordLength, StopBits, Parity;
        ZQ_STATUS Expected;
        tcflag_t Stop; // when accepted
    };
    const Case cases[] = {
        {8, 0, 0, ZQ_OK, 0},
        {8, 2, 0, ZQ_OK, CSTOPB},
        {8, 0, 0, ZQ_OK, 0},
        {7, 0, 0, ZQ_NOT_SUPPORTED, 0},
        {8, 0, 1, ZQ_NOT_SUPPORTED, 0},
        {8, 2, 2, ZQ_NOT_SUPPORTED, 0},
        {8, 0, 3, ZQ_NOT_SUPPORTED, 0},
        {8, 0, 4, ZQ_NOT_SUPPORTED, 0},
        {6, 0, 0, ZQ_INVALID_PARAMETER, 0},
        {9, 0, 0, ZQ_INVALID_PARAMETER, 0},
        {8, 1, 0, ZQ_INVALID_PARAMETER, 0},
        {8, 0, 5, ZQ_INVALID_PARAMETER, 0},
    };
    for (const Case& c : cases) {
        const std::string what =
            std::to_string(c.WordLength) + "/" + std::to_string(c.StopBits) + "/" + std::to_string(c.Parity);
        EXPECT_EQ(ZQ_SetDataCharacteristics(FHandle, c.WordLength, c.StopBits, c.Parity), c.Expected) << what;
        if (c.Expected == ZQ_OK) {
            EXPECT_EQ(FPty.Settings().c_cflag & (CSIZE | CSTOPB | PARENB), CS8 | c.Stop) << what;
        }
    }
}

TEST_F(SerialPortTest, FlowControlReachesTheLine) {
    struct Case {
        std::uint16_t Mode;
        std::uint8_t Xon, Xoff;
        ZQ_STATUS Expected;
        bool Rts, Xonoff;
    };
    const Case cases[] = {
        {ZQ_FLOW_RTS_CTS, 0, 0, ZQ_OK, true, false},
        {ZQ_FLOW_NONE, 0, 0, ZQ_OK, false, false},
        {ZQ_FLOW_XON_XOFF, 0x11, 0x13, ZQ_OK, false, true},
        {ZQ_FLOW_XON_XOFF, 'A', 'B', ZQ_OK, false, true},
        {ZQ_FLOW_DTR_DSR, 0, 0, ZQ_NOT_SUPPORTED, false, true}, // refused: the line keeps XON/XOFF
        {ZQ_FLOW_XON_XOFF, 0x11, 0x11, ZQ_INVALID_PARAMETER, false, true},
        {0x0300, 0, 0, ZQ_INVALID_PARAMETER, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZQ_SetFlowControl(FHandle, c.Mode, c.Xon, c.Xoff), c.Expected) << c.Mode;
        const termios tio = FPty.Settings();
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.Rts) << c.Mode;
        EXPECT_EQ((tio.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), c.Xonoff) << c.Mode;
    }
    // The last accepted characters stay through later changes of the other settings.
    ASSERT_EQ(ZQ_SetBaudRate(FHandle, 57600), ZQ_OK);
    ASSERT_EQ(ZQ_SetDataCharacteristics(FHandle, 8, 2, 0), ZQ_OK);
    EXPECT_EQ(FPty.Settings().c_cc[VSTART], 'A');
    EXPECT_EQ(FPty.Settings().c_cc[VSTOP], 'B');
}

TEST_F(SerialPortTest, ResetRestoresTheLineAndEmptiesTheBuffers) {
    ASSERT_EQ(ZQ_SetBaudRate(FHandle, 115200), ZQ_OK);
    ASSERT_EQ(ZQ_SetDataCharacteristics(FHandle, 8, 2, 0), ZQ_OK);
    ASSERT_EQ(ZQ_SetFlowControl(FHandle, ZQ_FLOW_XON_XOFF, 'A', 'B'), ZQ_OK);
    FPty.Send("pending");
    ASSERT_EQ(WaitForReceived(7), 7u);

    EXPECT_EQ(ZQ_ResetDevice(FHandle), ZQ_OK);
    const termios tio = FPty.Settings();
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B9600));
    EXPECT_EQ(tio.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_cc[VSTART], 0x11);
    std::uint32_t rx = 99, tx = 0, events = 0;
    EXPECT_EQ(ZQ_GetStatus(FHandle, &rx, &tx, &events), ZQ_OK);
    EXPECT_EQ(rx, 0u);
}

// A peer that goes away (an unplugged converter looks the same) ends every call at once with a
// failure, however long the time-outs.
TEST_F(SerialPortTest, PeerGoingAwayFailsCallsWithoutWaiting) {
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 5000, 5000), ZQ_OK);
    FPty.CloseMaster();
    char buffer[16] = {};
    std::uint32_t count = 99;
    QElapsedTimer timer;
    timer.start();
    EXPECT_NE(ZQ_Read(FHandle, buffer, sizeof buffer, &count), ZQ_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(ZQ_Write(FHandle, "P1\r", 3, &count), ZQ_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_LT(timer.elapsed(), 2000);
    std::uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_NE(ZQ_GetStatus(FHandle, &rx, &tx, &events), ZQ_OK);
    EXPECT_NE(ZQ_GetModemStatus(FHandle, &rx), ZQ_OK);
    EXPECT_NE(ZQ_SetBaudRate(FHandle, 9600), ZQ_OK);
    EXPECT_EQ(ZQ_Close(FHandle), ZQ_OK);
}

// Between the program's calls its event loop runs; a hung-up port must not keep it busy.
TEST_F(SerialPortTest, PeerGoingAwayLeavesTheEventLoopIdle) {
    FPty.CloseMaster();
    const std::clock_t before = std::clock();
    QTest::qWait(300);
    const double busy = double(std::clock() - before) / CLOCKS_PER_SEC;
    EXPECT_LT(busy, 0.15) << "processor seconds spent while the loop had nothing to do";
    std::uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_NE(ZQ_GetStatus(FHandle, &rx, &tx, &events), ZQ_OK);
}

// What the receive count took in before the hang-up is still handed over.
TEST_F(SerialPortTest, BytesBeforeTheHangUpAreStillDelivered) {
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 0, 0), ZQ_OK);
    FPty.Send("last words");
    ASSERT_EQ(WaitForReceived(10), 10u);
    QCoreApplication::processEvents();
    FPty.CloseMaster();
    // The receive poll asks for the count first and then reads that many.
    std::uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_NE(ZQ_GetStatus(FHandle, &rx, &tx, &events), ZQ_OK);
    EXPECT_EQ(rx, 10u);
    char buffer[32] = {};
    std::uint32_t count = 0;
    ZQ_Read(FHandle, buffer, rx, &count);
    EXPECT_EQ(QByteArray(buffer, count), "last words");
}

// The port is this program's alone while open (another program that is not privileged gets EBUSY),
// and a device lost with its port is reopened on that same port, not on what the index maps to now.
TEST_F(SerialPortTest, PortIsHeldExclusivelyAndReopenedByName) {
    const QByteArray path = FPty.SlavePath().toLocal8Bit();
    const auto exclusive = [&] {
        const int other = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        int held = -1;
        EXPECT_EQ(::ioctl(other, TIOCGEXCL, &held), 0);
        ::close(other);
        return held != 0;
    };
    EXPECT_TRUE(exclusive());
    ZQ_HANDLE second = 0;
    EXPECT_EQ(ZQ_OpenByName(1, path.constData(), &second), ZQ_DEVICE_BUSY);
    EXPECT_EQ(OpenDevice(MachinePorts(), 1, FPty.SlavePath()).Reason,
              FPty.SlavePath() + ": open already as DEV0");

    char name[256] = {};
    ASSERT_EQ(ZQ_GetPortName(FHandle, name, sizeof name), ZQ_OK);
    EXPECT_EQ(QByteArray(name), path);
    EXPECT_EQ(ZQ_GetPortName(FHandle, name, std::uint32_t(path.size())), ZQ_INVALID_PARAMETER)
        << "no room for the NUL";
    EXPECT_EQ(QByteArray(name), QByteArray());

    ASSERT_EQ(ZQ_Close(FHandle), ZQ_OK);
    EXPECT_FALSE(exclusive()) << "released at close";
    ASSERT_EQ(ZQ_OpenByName(0, path.constData(), &FHandle), ZQ_OK);
    ASSERT_EQ(ZQ_GetPortName(FHandle, name, sizeof name), ZQ_OK);
    EXPECT_EQ(QByteArray(name), path);
    ASSERT_EQ(ZQ_SetTimeouts(FHandle, 1000, 1000), ZQ_OK);
    FPty.Send("back");
    char got[4] = {};
    std::uint32_t read = 0;
    EXPECT_EQ(ZQ_Read(FHandle, got, sizeof got, &read), ZQ_OK);
    EXPECT_EQ(QByteArray(got, int(read)), "back");
}

} // namespace
