#include "link/slotexchange.h"

#include "link/deviceslot.h"

#include <algorithm>
#include <thread>

namespace {

// The most echo a line that loses a byte now and then may have dropped since the last exchange.
constexpr std::size_t KLostOnTheLine = 3;

} // namespace

class TSlotExchange final : public TExchange {
public:
    explicit TSlotExchange(TDeviceSlot& slot) : FSlot(slot) { ++FSlot.FHeld; }
    ~TSlotExchange() override {
        // What is left for the poll counts as come by now, not when the poll finds it.
        std::uint32_t received = 0, sending = 0, events = 0;
        if (Connected() && ZQ_GetStatus(FSlot.FHandle, &received, &sending, &events) == ZQ_OK)
            FSlot.NoteWaiting(received);
        --FSlot.FHeld;
    }

    void SettleAndPurge() override {
        DrainEcho();
        if (!FSlot.FLineClean)
            WaitForQuiet();
        Purge();
    }

    void Purge() override {
        if (!Connected())
            return;
        // What the purge throws away has come, echo or not.
        FSlot.FEcho.Paid(Waiting());
        FSlot.FSeenWaiting = 0;
        Check(ZQ_Purge(FSlot.FHandle, ZQ_PURGE_RX));
    }

    void WriteLine(const QByteArray& line) override {
        if (!Connected())
            return;
        // The time to the first byte of the answer is the device's delay, when nothing else is on its way.
        FWrittenAt.reset();
        if (Waiting() == 0)
            FWrittenAt = Clock::now();
        FLineWrittenAt = Clock::now();
        FSlot.FLineClean = false;
        std::uint32_t written = 0;
        Check(ZQ_Write(FSlot.FHandle, line.constData(), std::uint32_t(line.size()), &written));
        FSlot.NoteSent(line.constData(), std::min(written, std::uint32_t(line.size())));
    }

    std::optional<std::uint8_t> ReadByte() override {
        std::uint8_t byte = 0;
        if (ReadSome(&byte, 1) == 1)
            return byte;
        return std::nullopt;
    }

    QByteArray Read(std::uint32_t count, Clock::time_point deadline) override {
        QByteArray bytes(qsizetype(count), '\0');
        std::uint32_t got = 0;
        while (got < count) {
            const std::uint32_t n = ReadSome(bytes.data() + got, count - got);
            got += n;
            // A read that brings nothing has waited the whole read time-out: the device is silent.
            if (n == 0 || Clock::now() >= deadline)
                break;
        }
        bytes.truncate(qsizetype(got));
        return bytes;
    }

    void EchoSeen(std::uint32_t count) override { FSlot.FEcho.Paid(count); }
    void ReplyComplete() override {
        FSlot.FLineClean = true;
        FSlot.CountReply(false);
    }
    void ReplyFailed() override {
        FSlot.FEcho.Forgive();
        FSlot.FLineClean = false;
        // A reply cut short by the device going away says nothing of how the line carries bytes.
        if (Connected())
            FSlot.CountReply(true);
    }
    void AnswerCame() override {
        if (FLineWrittenAt)
            FSlot.NoteAnswerDelay(Clock::now() - *FLineWrittenAt);
        FLineWrittenAt.reset();
    }
    QByteArray ReadUntilQuiet() override { return WaitForQuiet(); }
    void Show(const QByteArray& bytes) override { FSlot.ShowRead(bytes); }

    std::uint32_t Waiting() override {
        std::uint32_t received = 0;
        std::uint32_t sending = 0;
        std::uint32_t events = 0;
        if (Connected())
            Check(ZQ_GetStatus(FSlot.FHandle, &received, &sending, &events));
        FSlot.NoteWaiting(received);
        return received;
    }

    bool Lost() const override { return !Connected(); }
    std::uint32_t BaudRate() const override { return FSlot.FSettings.BaudRate; }
    std::chrono::milliseconds ReadTimeout() const override {
        return std::chrono::milliseconds(std::max(0, FSlot.FSettings.RxTimeout));
    }

private:
    bool Connected() const { return FSlot.FOpen && FSlot.FHandle != 0; }

    std::uint32_t ReadSome(void* buffer, std::uint32_t count) {
        EndIfExiting();
        if (!Connected())
            return 0;
        std::uint32_t got = 0;
        Check(ZQ_Read(FSlot.FHandle, buffer, count, &got));
        // A read that came back empty because of the wait the exit came in must not read as a
        // silent drive, with a message on the way out.
        EndIfExiting();
        got = std::min(got, count);
        // Only a single byte's read ends when that byte comes; a longer one may wait for more.
        if (got > 0 && FWrittenAt && count == 1)
            FSlot.NoteAnswerDelay(Clock::now() - *FWrittenAt);
        if (got > 0)
            FWrittenAt.reset();
        FSlot.NoteRead(got);
        return got;
    }

    // Reads and drops what comes until the drive has paid its echo. A drive that echoes nothing for the
    // read time-out is not there to answer; one that echoed but fell a few bytes short lost them on the
    // line, and the wait for a quiet line that follows stands in for them.
    void DrainEcho() {
        char buffer[TDeviceSlot::KReadBlock];
        bool echoed = false;
        while (Connected() && FSlot.FEcho.Owed() > 0) {
            const auto owed = std::uint32_t(std::min<std::size_t>(FSlot.FEcho.Owed(), sizeof buffer));
            const std::uint32_t got = ReadSome(buffer, owed);
            if (got == 0 && Connected()) {
                const std::size_t missing = FSlot.FEcho.Owed();
                FSlot.FEcho.Forgive();
                FSlot.FLineClean = false;
                if (!echoed && missing > KLostOnTheLine)
                    throw ENoEcho(missing);
                return;
            }
            echoed = true;
            FSlot.FEcho.Paid(got);
        }
    }

    // Returns what came until nothing had been sent or received for as long as this device answers
    // late (four byte times at least), or until the port's read time-out at the latest.
    QByteArray WaitForQuiet() {
        const auto byteTimes = WireTime(*this, 4);
        const Clock::duration quiet =
            std::max<Clock::duration>(byteTimes, std::chrono::milliseconds(1)) + FSlot.AnswerDelay();
        const Clock::time_point latest = Clock::now() + ReadTimeout();
        QByteArray came;
        char buffer[TDeviceSlot::KReadBlock];
        while (Connected()) {
            EndIfExiting();
            if (const std::uint32_t waiting = Waiting(); waiting > 0) {
                const std::uint32_t got = ReadSome(buffer, std::min<std::uint32_t>(waiting, sizeof buffer));
                FSlot.FEcho.Paid(got);
                came.append(buffer, qsizetype(got));
            }
            const Clock::time_point calm = std::min(FSlot.FLastActivity + quiet, latest);
            if (Clock::now() >= calm)
                break;
            std::this_thread::sleep_until(calm);
        }
        return came;
    }

    void EndIfExiting() const {
        if (FSlot.FExitRequested && FSlot.FExitRequested->load())
            throw EExitRequested();
    }

    void Check(ZQ_STATUS status) {
        if (TDeviceSlot::Gone(status))
            FSlot.Lose();
    }

    TDeviceSlot& FSlot;
    // The last line written, while nothing else was on its way, and the last line at all.
    std::optional<Clock::time_point> FWrittenAt;
    std::optional<Clock::time_point> FLineWrittenAt;
};

std::unique_ptr<TExchange> MakeSlotExchange(TDeviceSlot& slot) {
    return std::make_unique<TSlotExchange>(slot);
}
