#include "harness/fakeport.h"
#include "tests/support/testbytes.h"
#include "transfer/filesend.h"

#include <QEventLoop>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

TFilePtr TempFile(const QByteArray& content) {
    TFilePtr file(std::tmpfile());
    std::fwrite(content.constData(), 1, size_t(content.size()), file.get());
    std::rewind(file.get());
    return file;
}

struct TOutcome {
    TSendResult Result = TSendResult::Done;
    std::uint64_t Sent = 0;
    int Progress = 0; // reports of progress
};

// Runs a send to its end from the event loop; cancelAt cancels it once that many bytes are sent.
TOutcome Send(TDeviceSlot& slot, TFilePtr file, std::uint64_t total, std::chrono::milliseconds stallLimit,
              std::uint64_t cancelAt = UINT64_MAX) {
    TFileSend send(*slot.Lease(TLeaseUse::Raw), std::move(file), total, stallLimit);
    TOutcome outcome;
    QEventLoop loop;
    QObject::connect(&send, &TFileSend::Progress, [&](std::uint64_t sent, std::uint64_t all) {
        ++outcome.Progress;
        EXPECT_EQ(all, total);
        if (sent >= cancelAt)
            send.Cancel();
    });
    QObject::connect(&send, &TFileSend::Finished, [&](TSendResult result) {
        outcome.Result = result;
        loop.quit();
    });
    send.Start();
    loop.exec();
    outcome.Sent = send.Sent();
    return outcome;
}

} // namespace

TEST(FileSend, ChunksShortWritesAndStalls) {
    struct Case {
        const char* Name;
        int FileSize;
        std::deque<int> WriteLimits; // then every byte offered
        std::vector<int> Offered;
    };
    const Case cases[] = {
        {"empty file", 0, {}, {}},
        {"600 bytes", 600, {}, {256, 256, 88}},
        {"short writes are retried with the rest", 600, {100, 6, -1, 80}, {256, 156, 150, 256, 176, 88}},
        {"a write that takes nothing waits and is retried", 300, {0, 0, 200}, {256, 256, 256, 56, 44}},
    };
    for (const Case& c : cases) {
        TFakeDeviceLibrary fake;
        TFakeDevice& device = fake.Device(0);
        device.WriteLimits = c.WriteLimits;
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        const QByteArray data = BytePattern(c.FileSize);
        const TOutcome sent = Send(slot, TempFile(data), std::uint64_t(c.FileSize), 5s);
        EXPECT_EQ(sent.Result, TSendResult::Done) << c.Name;
        EXPECT_EQ(WriteSizes(device.Writes()), c.Offered) << c.Name;
        EXPECT_EQ(device.Written, data) << c.Name;
        EXPECT_EQ(sent.Sent, std::uint64_t(c.FileSize)) << c.Name;
        EXPECT_EQ(sent.Progress, (c.FileSize + 255) / 256) << c.Name;
    }
}

TEST(FileSend, ADeviceThatAcceptsNothingStopsTheSendAtTheLimit) {
    for (auto limit : {0ms, 60ms}) {
        TFakeDeviceLibrary fake;
        fake.Device(0).WriteLimit = 0;
        TDeviceSlot slot(0, fake.Ports());
        ASSERT_TRUE(slot.Open());
        const auto start = std::chrono::steady_clock::now();
        const TOutcome sent = Send(slot, TempFile(BytePattern(1000)), 1000, limit);
        EXPECT_EQ(sent.Result, TSendResult::Stalled);
        EXPECT_GE(std::chrono::steady_clock::now() - start, limit);
        const int refused = int(fake.Device(0).Writes().size());
        EXPECT_GE(refused, 1);
        EXPECT_LE(refused, 2 + int(limit / 10ms))
            << "a device that refuses at once is not asked in a busy loop";
        EXPECT_EQ(sent.Sent, 0u);
        EXPECT_TRUE(fake.Device(0).Written.isEmpty());
    }
}

TEST(FileSend, StallLimitFollowsTheWriteTimeout) {
    EXPECT_EQ(SendStallLimit(300), 3000ms);
    EXPECT_EQ(SendStallLimit(2000), 6000ms);
}

TEST(FileSend, CancelStopsAfterTheChunkInProgress) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    const TOutcome sent = Send(slot, TempFile(BytePattern(1000)), 1000, 1s, 512);
    EXPECT_EQ(sent.Result, TSendResult::Cancelled);
    EXPECT_EQ(sent.Sent, 512u);
    EXPECT_EQ(fake.Device(0).Written, BytePattern(1000).left(512));
}

TEST(FileSend, AnUnreadableFileIsAnError) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    TFilePtr directory(std::fopen("/", "rb"));
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(Send(slot, std::move(directory), 0, 1s).Result, TSendResult::ReadError);
}

// A program on its way out may end a send from a handler of its progress, inside the send's step.
TEST(FileSend, AbandonedFromItsProgressItStopsAtOnceWithItsFileClosed) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0, fake.Ports());
    ASSERT_TRUE(slot.Open());
    auto* send = new TFileSend(*slot.Lease(TLeaseUse::Raw), TempFile(BytePattern(1000)), 1000, 1s);
    bool finished = false;
    QObject::connect(send, &TFileSend::Finished, [&] { finished = true; });
    QObject::connect(send, &TFileSend::Progress, send, [send] {
        send->Abandon();
        send->deleteLater();
    });
    QPointer<TFileSend> alive(send);
    send->Start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 1000));
    EXPECT_FALSE(finished);
    EXPECT_EQ(fake.Device(0).Written, BytePattern(1000).left(256)) << "nothing after the chunk under way";
}
