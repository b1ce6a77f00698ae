#include "link/slotexchange.h"

#include "link/deviceline.h"

#include <algorithm>
#include <thread>

namespace {

// The most echo a line that loses a byte now and then may have dropped since the last exchange.
constexpr std::size_t KLostOnTheLine = 3;

} // namespace

class TSlotExchange final : public TExchange {
public:
    explicit TSlotExchange(TExchangeHost& host) : FHost(host), FLine(host.Line()) { FHost.HoldPoll(true); }
    ~TSlotExchange() override {
        // What is left for the poll counts as come by now, not when the poll finds it.
        bool gone = false;
        FLine.Waiting(gone);
        FHost.HoldPoll(false);
    }

    void SettleAndPurge() override {
        DrainEcho();
        if (!FLine.Clean())
            WaitForQuiet();
        Purge();
    }

    void Purge() override {
        if (!Connected())
            return;
        bool gone = false;
        FLine.Purge(gone);
        Check(gone);
    }

    void WriteLine(const QByteArray& line) override {
        if (!Connected())
            return;
        // The time to the first byte of the answer is the device's delay, when nothing else is on its way.
        FWrittenAt.reset();
        if (Waiting() == 0)
            FWrittenAt = Clock::now();
        FLineWrittenAt = Clock::now();
        bool gone = false;
        FLine.Write(line.constData(), std::uint32_t(line.size()), gone);
        Check(gone);
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

    void EchoSeen(std::uint32_t count) override { FLine.Echo().Paid(count); }
    void ReplyComplete() override {
        FLine.SetClean(true);
        FHost.CountReply(false);
    }
    void ReplyFailed() override {
        FLine.Echo().Forgive();
        FLine.SetClean(false);
        // A reply cut short by the device going away says nothing of how the line carries bytes.
        if (Connected())
            FHost.CountReply(true);
    }
    void AnswerCame() override {
        if (FLineWrittenAt)
            FLine.NoteAnswerDelay(Clock::now() - *FLineWrittenAt);
        FLineWrittenAt.reset();
    }
    QByteArray ReadUntilQuiet() override { return WaitForQuiet(); }
    void Show(const QByteArray& bytes) override { FHost.ShowRead(bytes); }

    std::uint32_t Waiting() override {
        if (!Connected())
            return 0;
        bool gone = false;
        const std::uint32_t received = FLine.Waiting(gone);
        Check(gone);
        return received;
    }

    bool Lost() const override { return !Connected(); }
    std::uint32_t BaudRate() const override { return FHost.Settings().BaudRate; }
    std::chrono::milliseconds ReadTimeout() const override {
        return std::chrono::milliseconds(std::max(0, FHost.Settings().RxTimeout));
    }

private:
    bool Connected() const { return FHost.Connected(); }

    std::uint32_t ReadSome(void* buffer, std::uint32_t count) {
        EndIfExiting();
        if (!Connected())
            return 0;
        bool gone = false;
        const std::uint32_t got = FLine.Read(buffer, count, gone);
        Check(gone);
        // A read that came back empty because of the wait the exit came in must not read as a
        // silent drive, with a message on the way out.
        EndIfExiting();
        // Only a single byte's read ends when that byte comes; a longer one may wait for more.
        if (got > 0 && FWrittenAt && count == 1)
            FLine.NoteAnswerDelay(Clock::now() - *FWrittenAt);
        if (got > 0)
            FWrittenAt.reset();
        return got;
    }

    // Reads and drops what comes until the drive has paid its echo. A drive that echoes nothing for the
    // read time-out is not there to answer; one that echoed but fell a few bytes short lost them on the
    // line, and the wait for a quiet line that follows stands in for them.
    void DrainEcho() {
        char buffer[TDeviceLine::ReadBlock];
        bool echoed = false;
        TEchoDebt& echo = FLine.Echo();
        while (Connected() && echo.Owed() > 0) {
            const auto owed = std::uint32_t(std::min<std::size_t>(echo.Owed(), sizeof buffer));
            const std::uint32_t got = ReadSome(buffer, owed);
            if (got == 0 && Connected()) {
                const std::size_t missing = echo.Owed();
                echo.Forgive();
                FLine.SetClean(false);
                if (!echoed && missing > KLostOnTheLine)
                    throw ENoEcho(missing);
                return;
            }
            echoed = true;
            echo.Paid(got);
        }
    }

    // Returns what came until nothing had been sent or received for as long as this device answers
    // late (four byte times at least), or until the port's read time-out at the latest.
    QByteArray WaitForQuiet() {
        const auto byteTimes = WireTime(*this, 4);
        const Clock::duration quiet =
            std::max<Clock::duration>(byteTimes, std::chrono::milliseconds(1)) + FLine.AnswerDelay();
        const Clock::time_point latest = Clock::now() + ReadTimeout();
        QByteArray came;
        char buffer[TDeviceLine::ReadBlock];
        while (Connected()) {
            EndIfExiting();
            if (const std::uint32_t waiting = Waiting(); waiting > 0) {
                const std::uint32_t got = ReadSome(buffer, std::min<std::uint32_t>(waiting, sizeof buffer));
                FLine.Echo().Paid(got);
                came.append(buffer, qsizetype(got));
            }
            const Clock::time_point calm = std::min(FLine.LastActivity() + quiet, latest);
            if (Clock::now() >= calm)
                break;
            std::this_thread::sleep_until(calm);
        }
        return came;
    }

    void EndIfExiting() const {
        if (FHost.ExitRequested())
            throw EExitRequested();
    }

    void Check(bool gone) {
        if (gone)
            FHost.Lose();
    }

    TExchangeHost& FHost;
    TDeviceLine& FLine;
    // The last line written, while nothing else was on its way, and the last line at all.
    std::optional<Clock::time_point> FWrittenAt;
    std::optional<Clock::time_point> FLineWrittenAt;
};

std::unique_ptr<TExchange> MakeSlotExchange(TExchangeHost& host) {
    return std::make_unique<TSlotExchange>(host);
}
