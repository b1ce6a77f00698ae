#include "tests/support/fakeport.h"
#include "tests/support/testbytes.h"
#include "transfer/filesend.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;

namespace {

struct TTempFile {
    explicit TTempFile(const QByteArray& content) : File(std::tmpfile()) {
        std::fwrite(content.constData(), 1, size_t(content.size()), File);
        std::rewind(File);
    }
    ~TTempFile() { std::fclose(File); }
    std::FILE* File;
};

} // namespace

TEST(FileSend, ChunksShortWritesAndStalls) {
    struct Case {
        const char* Name;
        int FileSize;
        std::deque<int> WriteLimits; // then every byte offered
        std::vector<int> Offered;
        int Polls;
    };
    const Case cases[] = {
        {"empty file", 0, {}, {}, 0},
        {"600 bytes", 600, {}, {256, 256, 88}, 0},
        {"short writes are retried with the rest", 600, {100, 6, -1, 80}, {256, 156, 150, 256, 176, 88}, 0},
        {"a write that takes nothing waits and is retried", 300, {0, 0, 200}, {256, 256, 256, 56, 44}, 2},
    };
    for (const Case& c : cases) {
        TFakeDeviceLibrary fake;
        TFakeDevice& device = fake.Device(0);
        device.WriteLimits = c.WriteLimits;
        TDeviceSlot slot(0);
        ASSERT_TRUE(slot.Open());
        const QByteArray data = BytePattern(c.FileSize);
        TTempFile file(data);
        int polls = 0, progressCalls = 0;
        TSendHooks hooks{[&] { ++polls; },
                         [&](const TSendProgress& p) {
                             ++progressCalls;
                             EXPECT_EQ(p.Total, std::uint64_t(c.FileSize));
                             return true;
                         }};
        TSendProgress sent;
        EXPECT_EQ(SendFile(file.File, slot, std::uint64_t(c.FileSize), hooks, 5s, &sent), TSendResult::Done)
            << c.Name;
        EXPECT_EQ(WriteSizes(device.Writes()), c.Offered) << c.Name;
        EXPECT_EQ(device.Written, data) << c.Name;
        EXPECT_EQ(sent.Sent, std::uint64_t(c.FileSize)) << c.Name;
        EXPECT_EQ(polls, c.Polls) << c.Name;
        EXPECT_EQ(progressCalls, (c.FileSize + 255) / 256) << c.Name;
    }
}

TEST(FileSend, ADeviceThatAcceptsNothingStopsTheSendAtTheLimit) {
    for (auto limit : {0ms, 60ms}) {
        TFakeDeviceLibrary fake;
        fake.Device(0).WriteLimit = 0;
        TDeviceSlot slot(0);
        ASSERT_TRUE(slot.Open());
        TTempFile file(BytePattern(1000));
        int polls = 0;
        TSendProgress sent;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(SendFile(file.File, slot, 1000, TSendHooks{[&] { ++polls; }, {}}, limit, &sent),
                  TSendResult::Stalled);
        EXPECT_GE(std::chrono::steady_clock::now() - start, limit);
        EXPECT_GE(polls, 1) << "every refused write lets the polls run";
        EXPECT_LE(polls, 1 + int(limit / 10ms))
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
    TDeviceSlot slot(0);
    ASSERT_TRUE(slot.Open());
    TTempFile file(BytePattern(1000));
    TSendProgress sent;
    TSendHooks hooks{{}, [](const TSendProgress& p) { return p.Sent < 512; }};
    EXPECT_EQ(SendFile(file.File, slot, 1000, hooks, 1s, &sent), TSendResult::Cancelled);
    EXPECT_EQ(sent.Sent, 512u);
    EXPECT_EQ(fake.Device(0).Written, BytePattern(1000).left(512));
}

TEST(FileSend, AnUnreadableFileIsAnError) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0);
    ASSERT_TRUE(slot.Open());
    std::FILE* directory = std::fopen("/", "rb");
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(SendFile(directory, slot, 0, {}, 1s), TSendResult::ReadError);
    std::fclose(directory);
}
