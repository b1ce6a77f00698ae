#include "link/deviceslot.h"

#include "common/errors.h"
#include "device/applysettings.h"
#include "device/openfailure.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <thread>

namespace {

// One start bit, eight data bits and one stop bit per byte.
constexpr long long KBitsPerByte = 10;

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
        if (!FSlot.FLineClean) {
            const long long rate = std::max<long long>(BaudRate(), 1);
            const auto byteTimes = std::chrono::microseconds(4 * KBitsPerByte * 1'000'000 / rate);
            WaitForQuiet(std::max<Clock::duration>(byteTimes, std::chrono::milliseconds(1)) +
                         FSlot.AnswerDelay());
        }
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
    void ReplyComplete() override { FSlot.FLineClean = true; }

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

    // Reads and drops what comes until the drive has paid its echo.
    void DrainEcho() {
        char buffer[TDeviceSlot::KReadBlock];
        while (Connected() && FSlot.FEcho.Owed() > 0) {
            const auto owed = std::uint32_t(std::min<std::size_t>(FSlot.FEcho.Owed(), sizeof buffer));
            const std::uint32_t got = ReadSome(buffer, owed);
            if (got == 0 && Connected()) {
                const std::size_t missing = FSlot.FEcho.Owed();
                FSlot.FEcho.Forgive();
                throw ENoEcho(missing);
            }
            FSlot.FEcho.Paid(got);
        }
    }

    // Returns once nothing has been sent or received for `quiet`, dropping what arrives meanwhile,
    // or after the port's read time-out at the latest.
    void WaitForQuiet(Clock::duration quiet) {
        const Clock::time_point latest = Clock::now() + ReadTimeout();
        char buffer[TDeviceSlot::KReadBlock];
        while (Connected()) {
            EndIfExiting();
            if (const std::uint32_t waiting = Waiting(); waiting > 0)
                FSlot.FEcho.Paid(ReadSome(buffer, std::min<std::uint32_t>(waiting, sizeof buffer)));
            const Clock::time_point calm = std::min(FSlot.FLastActivity + quiet, latest);
            if (Clock::now() >= calm)
                return;
            std::this_thread::sleep_until(calm);
        }
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
    std::optional<Clock::time_point> FWrittenAt;
};

TDeviceSlot::TDeviceSlot(std::int32_t index, TPortFactory ports, QObject* parent,
                         const std::atomic<bool>* exitRequested)
    : QObject(parent), FIndex(index), FPorts(std::move(ports)), FExitRequested(exitRequested) {
    FPollTimer.setInterval(KPollIntervalMs);
    FReconnectTimer.setInterval(KReconnectIntervalMs);
    connect(&FPollTimer, &QTimer::timeout, this, &TDeviceSlot::Poll);
    connect(&FReconnectTimer, &QTimer::timeout, this, &TDeviceSlot::TryReconnect);
}

TDeviceSlot::~TDeviceSlot() {
    Close();
    FCapture.Stop();
}

QString TDeviceSlot::Name() const {
    return QStringLiteral("DEV%1").arg(FIndex);
}

namespace {

TLineStates LinesFromWord(std::uint32_t word) {
    return TLineStates{(word & ZQ_MODEM_STATUS_CTS) != 0, (word & ZQ_MODEM_STATUS_DSR) != 0,
                       (word & ZQ_MODEM_STATUS_DCD) != 0, (word & ZQ_MODEM_STATUS_RI) != 0};
}

QString PortNameOf(ZQ_HANDLE handle) {
    std::array<char, 4096> name{};
    return ZQ_GetPortName(handle, name.data(), std::uint32_t(name.size())) == ZQ_OK
               ? QFile::decodeName(name.data())
               : QString();
}

} // namespace

QString TDeviceSlot::Connect(const TOpenResult& opened, const TPortSettings& settings) {
    if (opened.Status != ZQ_OK)
        return opened.Reason;
    const ZQ_HANDLE handle = opened.Handle;
    const QString portName = PortNameOf(handle);
    const QString failure = !ApplySettings(handle, settings) ? SettingsRefusedText(portName)
                            : !ReadLines(handle)             ? LinesUnreadText(portName)
                                                             : QString();
    if (!failure.isEmpty()) {
        ZQ_Close(handle);
        return failure;
    }
    FHandle = handle;
    // A new device owes nothing yet; what a lost one owed will not come.
    ForgetLine();
    FPollTimer.start();
    return {};
}

bool TDeviceSlot::Open() {
    if (FOpen) {
        FOpenFailure = OpenAlreadyText(FIndex);
        return false;
    }
    // Every open starts from the defaults, whatever was applied before.
    FSettings = TPortSettings{};
    FAnswerDelays = {};
    FOpenFailure = Connect(OpenDevice(FPorts, FIndex), FSettings);
    if (!FOpenFailure.isEmpty())
        return false;
    FRts = FSettings.Rts != 0;
    FDtr = FSettings.Dtr != 0;
    // A lost device is looked for again under this name, not under whatever its index maps to
    // by then (with the converter unplugged, that could be the simulated drive).
    FPortName = PortNameOf(FHandle);
    FOpen = true;
    return true;
}

void TDeviceSlot::Close() {
    FPollTimer.stop();
    FReconnectTimer.stop();
    if (FHandle != 0)
        ZQ_Close(FHandle);
    FHandle = 0;
    FOpen = false;
    FLines = TLineStates{};
}

bool TDeviceSlot::ReadLines(ZQ_HANDLE handle) {
    std::uint32_t word = 0;
    if (ZQ_GetModemStatus(handle, &word) != ZQ_OK)
        return false;
    FLines = LinesFromWord(word);
    return true;
}

bool TDeviceSlot::ApplyNewSettings(const TPortSettings& settings) {
    FSettings = settings;
    if (FHandle == 0)
        return false;
    const bool applied = ApplySettings(FHandle, FSettings);
    if (applied) {
        FRts = FSettings.Rts != 0;
        FDtr = FSettings.Dtr != 0;
        emit OutputLinesChanged();
    }
    return applied;
}

void TDeviceSlot::SetRts(bool raised) {
    FRts = raised;
    emit OutputLinesChanged();
    if (FHandle != 0 && Gone(raised ? ZQ_SetRts(FHandle) : ZQ_ClrRts(FHandle)))
        Lose();
}

void TDeviceSlot::SetDtr(bool raised) {
    FDtr = raised;
    emit OutputLinesChanged();
    if (FHandle != 0 && Gone(raised ? ZQ_SetDtr(FHandle) : ZQ_ClrDtr(FHandle)))
        Lose();
}

std::uint32_t TDeviceSlot::Write(const void* data, std::uint32_t size) {
    const std::uint32_t written = Put(data, size);
    if (written > 0)
        emit SentRaw(QByteArray(static_cast<const char*>(data), qsizetype(written)));
    return written;
}

std::uint32_t TDeviceSlot::Put(const void* data, std::uint32_t size) {
    if (FHandle == 0)
        return 0;
    std::uint32_t written = 0;
    if (Gone(ZQ_Write(FHandle, data, size, &written)))
        Lose();
    written = std::min(written, size);
    NoteSent(data, written);
    return written;
}

void TDeviceSlot::ForgetLine() {
    FEcho = {};
    FSeenWaiting = 0;
    FLineClean = false;
}

void TDeviceSlot::NoteSent(const void* data, std::uint32_t size) {
    FEcho.Sent(data, size);
    FLastActivity = Clock::now();
    FLineClean = false;
}

void TDeviceSlot::NoteWaiting(std::uint32_t waiting) {
    if (waiting > FSeenWaiting)
        FLastActivity = Clock::now();
    FSeenWaiting = waiting;
}

void TDeviceSlot::NoteRead(std::uint32_t count) {
    // Bytes read beyond those seen waiting have just come.
    if (count > FSeenWaiting)
        FLastActivity = Clock::now();
    FSeenWaiting -= std::min(count, FSeenWaiting);
}

void TDeviceSlot::NoteAnswerDelay(Clock::duration delay) {
    FAnswerDelays[FNextAnswerDelay++ % FAnswerDelays.size()] = delay;
}

TDeviceSlot::Clock::duration TDeviceSlot::AnswerDelay() const {
    // A delay beyond this is a drive that stalled once, not one to wait for before every reply.
    constexpr Clock::duration Longest = std::chrono::milliseconds(100);
    return std::min(*std::max_element(FAnswerDelays.begin(), FAnswerDelays.end()), Longest);
}

QString TDeviceSlot::StartCapture(TFilePtr file) {
    const QString error = FCapture.Start(std::move(file));
    emit CaptureChanged(FCapture.IsOpen());
    return error;
}

QString TDeviceSlot::StopCapture() {
    const bool was = FCapture.IsOpen();
    const QString error = FCapture.Stop();
    if (was)
        emit CaptureChanged(false);
    return error;
}

std::unique_ptr<TExchange> TDeviceSlot::BeginExchange() {
    return std::make_unique<TSlotExchange>(*this);
}

void TDeviceSlot::Poll() {
    if (FHandle == 0 || FHeld > 0)
        return;

    std::uint32_t waiting = 0;
    std::uint32_t sending = 0;
    std::uint32_t events = 0;
    if (Gone(ZQ_GetStatus(FHandle, &waiting, &sending, &events))) {
        Lose();
        return;
    }
    NoteWaiting(waiting);
    // A failing query leaves the word at zero: every line reads inactive.
    std::uint32_t word = 0;
    ZQ_GetModemStatus(FHandle, &word);
    FLines = LinesFromWord(word);
    emit LinesChanged(FLines);

    QByteArray shown;
    QString captureFailure;
    std::array<char, KReadBlock> buffer;
    bool gone = false;
    while (waiting > 0 && !gone) {
        const std::uint32_t asked = std::min(waiting, KReadBlock);
        std::uint32_t got = 0;
        gone = Gone(ZQ_Read(FHandle, buffer.data(), asked, &got));
        got = std::min(got, asked);
        // A device that reports bytes and then yields none must not hold the tick: what remains
        // is asked for again at the next one.
        if (got == 0)
            break;
        waiting -= got;
        NoteRead(got);
        // More than echo: the drive said something of its own, and may say more.
        if (got > FEcho.Owed())
            FLineClean = false;
        FEcho.Paid(got);
        if (FCapture.IsOpen()) {
            const QString error = FCapture.Write(buffer.data(), got);
            if (error.isEmpty())
                continue;
            captureFailure = error;
        }
        // Bytes the capture file refused are shown rather than lost.
        shown.append(buffer.data(), qsizetype(got));
    }
    emit Received(shown);
    if (!captureFailure.isEmpty()) {
        emit CaptureChanged(false);
        emit CaptureFailed(captureFailure);
    }
    if (gone)
        Lose();
}

void TDeviceSlot::Lose() {
    if (FHandle == 0)
        return;
    ZQ_Close(FHandle);
    FHandle = 0;
    FPollTimer.stop();
    FLines = TLineStates{};
    emit LinesChanged(FLines);
    emit DeviceLost();
    FReconnectTimer.start();
}

void TDeviceSlot::TryReconnect() {
    if (!FOpen || FHandle != 0) {
        FReconnectTimer.stop();
        return;
    }
    // The settings the user applied last, with the output lines as the switches left them.
    TPortSettings settings = FSettings;
    settings.Rts = FRts ? 1 : 0;
    settings.Dtr = FDtr ? 1 : 0;
    if (!Connect(OpenDevice(FPorts, FIndex, FPortName), settings).isEmpty())
        return;
    FReconnectTimer.stop();
    emit LinesChanged(FLines);
    emit DeviceBack();
}
