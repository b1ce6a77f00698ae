#include "link/deviceslot.h"

#include "common/errors.h"
#include "device/applysettings.h"
#include "device/openfailure.h"
#include "link/slotexchange.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <thread>

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

bool TReplyCount::Suspect() const {
    return Replies >= KFewestJudged && Garbled > 1 && Garbled * 100 > Replies;
}

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
    // What a closed window, a stopped file send or an earlier loss left of a line, as far as it was sent.
    const std::size_t cut = FEcho.LineLength();
    FOpenFailure = Connect(OpenDevice(FPorts, FIndex), FSettings);
    if (!FOpenFailure.isEmpty())
        return false;
    FRts = FSettings.Rts != 0;
    FDtr = FSettings.Dtr != 0;
    // A lost device is looked for again under this name, not under whatever its index maps to
    // by then (with the converter unplugged, that could be the simulated drive).
    FPortName = PortNameOf(FHandle);
    FOpen = true;
    FReplies = {};
    TakeBackLine(cut);
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

QString TDeviceSlot::LeaseRefusal(TLeaseUse use) const {
    if (!FOpen)
        return TDeviceSlot::ClosedText();
    if (IsLost())
        return QStringLiteral("%1 — connection lost: nothing was sent").arg(Name());
    if (FLeased)
        return FLeaseHeldText;
    return FLeaseRule ? FLeaseRule(use) : QString();
}

std::optional<TDriveLease> TDeviceSlot::Lease(TLeaseUse use, const QString& heldText) {
    if (!LeaseRefusal(use).isEmpty())
        return std::nullopt;
    FLeased = true;
    FLeaseNamed = !heldText.isEmpty();
    FLeaseHeldText = heldText.isEmpty()
                         ? QStringLiteral("%1 is busy with another command: try again").arg(Name())
                         : heldText;
    emit LeaseChanged();
    return TDriveLease(*this);
}

std::uint32_t TDeviceSlot::WriteRaw(const TDriveLease& lease, const void* data, std::uint32_t size) {
    return Grants(lease) ? SendRaw(data, size) : 0;
}

void TDeviceSlot::WriteLine(const TDriveLease& lease, const QByteArray& line) {
    RequireGrant(lease);
    Send(line.constData(), std::uint32_t(line.size()));
}

void TDeviceSlot::RequireGrant(const TDriveLease& lease) const {
    // A line never goes out silently dropped: without the lease it is refused, as an exchange is.
    if (!Grants(lease))
        throw EKelmorError(QStringLiteral("%1 was not lent for this exchange: nothing was sent").arg(Name()));
}

std::uint32_t TDeviceSlot::SendRaw(const void* data, std::uint32_t size) {
    const std::uint32_t written = Send(data, size);
    if (written > 0)
        emit SentRaw(QByteArray(static_cast<const char*>(data), qsizetype(written)));
    return written;
}

std::uint32_t TDeviceSlot::Send(const void* data, std::uint32_t size) {
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

std::unique_ptr<TExchange> TDeviceSlot::BeginExchange(const TDriveLease& lease) {
    RequireGrant(lease);
    return MakeSlotExchange(*this);
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
    EndCapture(captureFailure);
    if (gone)
        Lose();
}

void TDeviceSlot::ShowRead(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return;
    if (FCapture.IsOpen()) {
        const QString error = FCapture.Write(bytes.constData(), std::size_t(bytes.size()));
        if (error.isEmpty())
            return;
        EndCapture(error);
    }
    emit Received(bytes);
}

void TDeviceSlot::EndCapture(const QString& captureFailure) {
    if (captureFailure.isEmpty())
        return;
    emit CaptureChanged(false);
    emit CaptureFailed(captureFailure);
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
    // The line the drive held unfinished when the device went, as far as it was sent.
    const std::size_t cut = FEcho.LineLength();
    if (!Connect(OpenDevice(FPorts, FIndex, FPortName), settings).isEmpty())
        return;
    FReconnectTimer.stop();
    emit LinesChanged(FLines);
    TakeBackLine(cut);
    emit DeviceBack();
}

void TDeviceSlot::TakeBackLine(std::size_t cut) {
    // Character by character, never ended with a CR that would run it. A drive switched off meanwhile
    // ignores Backspace on an empty line. Sent as bytes no command built, so that whoever follows the
    // typed line sees it emptied.
    if (cut == 0)
        return;
    const QByteArray backspaces(qsizetype(cut), '\b');
    SendRaw(backspaces.constData(), std::uint32_t(backspaces.size()));
}

void TDeviceSlot::CountReply(bool garbled) {
    ++FReplies.Replies;
    if (garbled)
        ++FReplies.Garbled;
    emit RepliesCounted();
}
