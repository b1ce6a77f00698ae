#include "common/errors.h"
#include "harness/fakeport.h"
#include "link/deviceslot.h"

#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <gtest/gtest.h>
#include <type_traits>

using namespace std::chrono_literals;

namespace {

class DeviceSlotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Slot.Open());
        Lent = Slot.Lease(TLeaseUse::Command);
        ASSERT_TRUE(Lent);
    }

    TFakeDeviceLibrary Fake;
    TFakeDevice& Device = Fake.Device(0);
    TDeviceSlot Slot{0, Fake.Ports()};
    std::optional<TDriveLease> Lent;
};

QByteArray Bytes(const QSignalSpy& spy) {
    QByteArray all;
    for (const QList<QVariant>& signal : spy)
        all += signal.at(0).toByteArray();
    return all;
}

} // namespace

TEST_F(DeviceSlotTest, PollReportsBytesLinesAndTheCapture) {
    QSignalSpy received(&Slot, &TDeviceSlot::Received);
    QSignalSpy lines(&Slot, &TDeviceSlot::LinesChanged);
    QSignalSpy capture(&Slot, &TDeviceSlot::CaptureChanged);
    Device.Received = "echo\r\n";
    Device.ModemStatus = ZQ_MODEM_STATUS_CTS | ZQ_MODEM_STATUS_DCD;
    Slot.Poll();
    Slot.Poll();
    EXPECT_EQ(Bytes(received), QByteArray("echo\r\n"));
    ASSERT_EQ(received.size(), 2) << "every poll reports, also with nothing received";
    EXPECT_EQ(lines.size(), 2);
    EXPECT_EQ(Slot.Lines(), (TLineStates{true, false, true, false}));

    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    Slot.StartCapture(TFilePtr(std::fopen(QFile::encodeName(file.fileName()).constData(), "wb")));
    Slot.StopCapture();
    Slot.StopCapture();
    ASSERT_EQ(capture.size(), 2) << "a capture started and ended, once";
    EXPECT_TRUE(capture.at(0).at(0).toBool());
    EXPECT_FALSE(capture.at(1).at(0).toBool());
}

TEST_F(DeviceSlotTest, AnExchangeHoldsThePollOffAndLeavesTheRestForIt) {
    QSignalSpy received(&Slot, &TDeviceSlot::Received);
    Device.Received = "ABCDE";
    {
        const std::unique_ptr<TExchange> exchange = Slot.BeginExchange(*Lent);
        Device.ClearCalls();
        Slot.Poll();
        EXPECT_TRUE(Device.Calls.empty()) << "the poll touches nothing while the exchange lives";
        EXPECT_TRUE(received.isEmpty()) << "nothing is shown while the exchange lives";
        EXPECT_EQ(exchange->ReadByte(), std::optional<std::uint8_t>('A'));
        EXPECT_EQ(exchange->Read(1, TExchange::Clock::now() + 1s), QByteArray("B"));
        exchange->WriteLine("P1\r");
        EXPECT_EQ(Device.Writes(), std::vector<QByteArray>{"P1\r"});
    }
    Slot.Poll();
    ASSERT_EQ(received.size(), 1) << "the exchange has let the poll go";
    EXPECT_EQ(Bytes(received), QByteArray("CDE"));
}

TEST_F(DeviceSlotTest, ExchangeReadsEndByTheirDeadline) {
    const std::unique_ptr<TExchange> exchange = Slot.BeginExchange(*Lent);
    Device.ReadWaitMs = 20;
    const auto start = TExchange::Clock::now();
    EXPECT_EQ(exchange->ReadByte(), std::nullopt) << "a silent device";
    EXPECT_EQ(exchange->Read(100, start + 10s), QByteArray()) << "silence ends the read at once";
    EXPECT_LT(TExchange::Clock::now() - start, 1s);

    // A device that never stops sending, one byte a time-out.
    Device.Received = QByteArray(100000, 'x');
    Device.ReadLimit = 1;
    Device.ReadWaitMs = 5;
    const auto deadline = TExchange::Clock::now() + 100ms;
    const QByteArray got = exchange->Read(100000, deadline);
    EXPECT_GE(TExchange::Clock::now(), deadline);
    EXPECT_LT(TExchange::Clock::now(), deadline + 1s);
    EXPECT_LT(got.size(), 1000);
}

// Before a parsed reply: wait for a quiet line, at most the read time-out, then purge the receive side.
TEST_F(DeviceSlotTest, SettlingEndsByTheReadTimeoutAndPurgesTheReceiveBufferOnly) {
    TPortSettings settings = Slot.Settings();
    settings.RxTimeout = 100;
    ASSERT_TRUE(Slot.ApplyNewSettings(settings));
    Device.Streaming = "x";
    Device.ClearCalls();
    const auto start = TExchange::Clock::now();
    Slot.BeginExchange(*Lent)->SettleAndPurge();
    EXPECT_GE(TExchange::Clock::now() - start, 100ms);
    EXPECT_LT(TExchange::Clock::now() - start, 2s);
    EXPECT_EQ(Device.CallTexts("ZQ_Purge"), QStringList{"ZQ_Purge(1)"});
}

TEST_F(DeviceSlotTest, ALostDeviceComesBackWithItsSettingsAndLines) {
    QSignalSpy lost(&Slot, &TDeviceSlot::DeviceLost);
    QSignalSpy back(&Slot, &TDeviceSlot::DeviceBack);
    TPortSettings settings = Slot.Settings();
    settings.BaudRate = 9600;
    ASSERT_TRUE(Slot.ApplyNewSettings(settings));
    Slot.SetRts(false);
    Device.ModemStatus = ZQ_MODEM_STATUS_CTS;
    Slot.Poll();
    ASSERT_EQ(Slot.WriteRaw(*Lent, "P2 7", 4), 4u) << "a line the loss cuts";
    Slot.BeginExchange(*Lent)->ReplyFailed();

    Device.Statuses["ZQ_GetStatus"] = ZQ_IO_ERROR;
    Slot.Poll();
    ASSERT_EQ(lost.size(), 1);
    EXPECT_TRUE(Slot.IsLost());
    EXPECT_FALSE(Device.Open);
    EXPECT_EQ(Slot.Lines(), TLineStates{});
    EXPECT_EQ(Slot.WriteRaw(*Lent, "typed", 5), 0u);
    EXPECT_TRUE(Slot.BeginExchange(*Lent)->Lost());
    Slot.BeginExchange(*Lent)->ReplyFailed();

    Device.Statuses.clear();
    Device.ClearCalls();
    Device.Written.clear();
    ASSERT_TRUE(QTest::qWaitFor([&] { return back.size() == 1; }, 3000));
    EXPECT_FALSE(Slot.IsLost());
    QSignalSpy polled(&Slot, &TDeviceSlot::Received);
    EXPECT_TRUE(polled.wait(1000)) << "the poll runs again";
    const QStringList calls = Device.CallTexts();
    EXPECT_TRUE(calls.contains("ZQ_SetBaudRate(9600)")) << "the settings applied last, not the defaults";
    EXPECT_EQ(calls.filter("Rts"), QStringList{"ZQ_ClrRts()"}) << "RTS stays dropped, without a glitch";
    EXPECT_EQ(Device.Written, "\b\b\b\b")
        << "the cut line taken back; nothing typed while lost is sent later";
    EXPECT_EQ(Slot.Replies().Garbled, 1) << "kept across the loss; the reply the loss cut not counted";
}

TEST_F(DeviceSlotTest, RepliesAreCountedFromTheOpenOn) {
    Slot.BeginExchange(*Lent)->ReplyComplete();
    Slot.BeginExchange(*Lent)->ReplyFailed();
    EXPECT_EQ(Slot.Replies().Replies, 2);
    EXPECT_EQ(Slot.Replies().Garbled, 1);
    Slot.Close();
    ASSERT_TRUE(Slot.Open());
    EXPECT_EQ(Slot.Replies().Replies, 0);
}

TEST(ReplyCount, SuspectPastOneInAHundredOnceEnoughCame) {
    // Too few to judge, a single bad reply, one in a hundred; then past it.
    const TReplyCount cases[] = {{49, 10}, {50, 1}, {200, 2}, {50, 2}};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].Suspect(), i == 3) << cases[i].Replies << " " << cases[i].Garbled;
}

TEST(DeviceSlotExit, AnExchangeEndsAtItsNextWaitOnceExitIsRequested) {
    TFakeDeviceLibrary fake;
    TFakeDevice& device = fake.Device(0);
    std::atomic<bool> exitRequested{false};
    TDeviceSlot slot(0, fake.Ports(), nullptr, &exitRequested);
    ASSERT_TRUE(slot.Open());
    const std::unique_ptr<TExchange> exchange = slot.BeginExchange(slot.Lease(TLeaseUse::Command).value());
    // The exit comes while a read waits on a silent drive: that read ends the exchange, not as silence.
    device.ReadWaitMs = 1;
    device.WhileReadWaits = [&] { exitRequested = true; };
    EXPECT_THROW(exchange->ReadByte(), EExitRequested);
    static_assert(!std::is_base_of_v<EKelmorError, EExitRequested>, "a shutdown is no error of the drive");
    device.ClearCalls();
    EXPECT_THROW(exchange->Read(4, TExchange::Clock::now() + 1s), EExitRequested);
    EXPECT_THROW(exchange->SettleAndPurge(), EExitRequested);
    EXPECT_TRUE(device.CallTexts("ZQ_Read").isEmpty());
}

TEST(EchoDebt, CountsTheEchoTheDriveOwes) {
    const struct {
        QByteArray Sent;
        std::size_t Owed;
    } cases[] = {
        {"P1 1024\r", 9},             // a CR comes back as CR LF
        {"ab\x08\x08\x08", 8},        // a Backspace on an empty line comes back as nothing
        {"\xC1\xFF\n", 1},            // bytes from 0x80 up are not echoed
        {"ab\rc\x7F\x7F", 4 + 1 + 3}, // a new line starts empty
        {"a\x11"
         "b\x13",
         2},                                  // XON and XOFF are the line's, not echoed
        {QByteArray(64, 'x') + "yz", 64 + 1}, // past the longest line the drive drops it and starts anew
    };
    for (const auto& c : cases) {
        TEchoDebt debt;
        debt.Sent(c.Sent.constData(), std::size_t(c.Sent.size()));
        EXPECT_EQ(debt.Owed(), c.Owed) << c.Sent.constData();
        debt.Paid(c.Owed + 5);
        EXPECT_EQ(debt.Owed(), 0u) << "answers beyond the echo pay nothing more";
    }
}

// Before a parsed reply the echo of what was written must have come, however late; a drive that
// does not echo is an error, once.
TEST_F(DeviceSlotTest, SettlingWaitsForTheEchoOfWhatWasWritten) {
    Device.Echo = true;
    Device.LatencyMs = 16;
    Slot.WriteLine(*Lent, "P2 100\r");
    Slot.BeginExchange(*Lent)->SettleAndPurge();
    EXPECT_TRUE(Device.Held.isEmpty()) << "the echo has come";
    EXPECT_EQ(Device.CallTexts().filter("ZQ_Read").size(), 1) << "and was read before the purge";

    Device.Echo = false;
    Slot.WriteLine(*Lent, "P2 100\r");
    const std::unique_ptr<TExchange> exchange = Slot.BeginExchange(*Lent);
    EXPECT_THROW(
        {
            try {
                exchange->SettleAndPurge();
            } catch (const ENoEcho& e) {
                EXPECT_EQ(e.Message(), "The drive did not echo the last 8 bytes sent to it");
                throw;
            }
        },
        ENoEcho);
    EXPECT_NO_THROW(exchange->SettleAndPurge()) << "what it did not echo is not waited for again";
}

// The drive is lent to one holder at a time, by its own slot, and only under the rule of the model;
// a write or an exchange takes the lease, so none can forget to ask.
template <typename Slot>
concept WritesWithoutALease = requires(Slot& s) {
    s.Write("x", 1u);
};
template <typename Slot>
concept ExchangesWithoutALease = requires(Slot& s) {
    s.BeginExchange();
};
static_assert(!WritesWithoutALease<TDeviceSlot> && !ExchangesWithoutALease<TDeviceSlot>);
static_assert(!std::is_constructible_v<TDriveLease, TDeviceSlot&> &&
              !std::is_copy_constructible_v<TDriveLease>);

TEST_F(DeviceSlotTest, TheDriveIsLentToOneHolderAtATime) {
    Lent.reset();
    std::optional<TDriveLease> run = Slot.Lease(TLeaseUse::Command, "A run has it");
    ASSERT_TRUE(run);
    for (const TLeaseUse use : {TLeaseUse::Command, TLeaseUse::Raw}) {
        EXPECT_FALSE(Slot.Lease(use));
        EXPECT_EQ(Slot.LeaseRefusal(use), "A run has it");
    }
    TDeviceSlot otherSlot(1, Fake.Ports());
    ASSERT_TRUE(otherSlot.Open());
    const std::optional<TDriveLease> foreign = otherSlot.Lease(TLeaseUse::Raw);
    Device.ClearCalls();
    EXPECT_EQ(Slot.WriteRaw(*foreign, "x", 1), 0u) << "another slot's lease lends nothing here";
    EXPECT_THROW(Slot.BeginExchange(*foreign), EKelmorError);
    EXPECT_THROW(Slot.WriteLine(*foreign, "P2 9\r"), EKelmorError) << "a line is refused, not dropped";
    const TDriveLease moved = std::move(*run);
    run.reset();
    EXPECT_FALSE(Slot.Lease(TLeaseUse::Raw)) << "a lease moved on is still held";
    EXPECT_EQ(Slot.WriteRaw(moved, "x", 1), 1u);
    EXPECT_EQ(Device.Writes(), std::vector<QByteArray>{"x"});
}

TEST_F(DeviceSlotTest, TheRuleRefusesOnlyOnceTheLeaseIsBack) {
    Lent.reset();
    Slot.SetLeaseRule(
        [](TLeaseUse use) { return use == TLeaseUse::Command ? QString("line open") : QString(); });
    EXPECT_FALSE(Slot.Lease(TLeaseUse::Command));
    EXPECT_EQ(Slot.LeaseRefusal(TLeaseUse::Command), "line open");
    EXPECT_TRUE(Slot.Lease(TLeaseUse::Raw)) << "keys may finish the line";
    Slot.Close();
    EXPECT_EQ(Slot.LeaseRefusal(TLeaseUse::Raw), "The device is closed");
}
