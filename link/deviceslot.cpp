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
    FLine.Attach(handle);
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
    FLine.ForgetAnswerDelays();
    // What a closed window, a stopped file send or an earlier loss left of a line, as far as it was sent.
    const std::size_t cut = FLine.Echo().LineLength();
    FOpenFailure = Connect(OpenDevice(FPorts, FIndex), FSettings);
    if (!FOpenFailure.isEmpty())
        return false;
    FRts = FSettings.Rts != 0;
    FDtr = FSettings.Dtr != 0;
    // A lost device is looked for again under this name, not under whatever its index maps to
    // by then (with the converter unplugged, that could be the simulated drive).
    FPortName = PortNameOf(FLine.Handle());
    FOpen = true;
    FReplies = {};
    TakeBackLine(cut);
    return true;
}

void TDeviceSlot::Close() {
    FPollTimer.stop();
    FReconnectTimer.stop();
    FLine.Detach();
    FOpen = false;
    FLines = TLineStates{};
}

bool TDeviceSlot::ReadLines(ZQ_HANDLE handle) {
    const std::optional<TLineStates> lines = ReadLineStates(handle);
    if (lines)
        FLines = *lines;
    return lines.has_value();
}

bool TDeviceSlot::ApplyNewSettings(const TPortSettings& settings) {
    FSettings = settings;
    if (!FLine.Attached())
        return false;
    const bool applied = ApplySettings(FLine.Handle(), FSettings);
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
    if (const ZQ_HANDLE h = FLine.Handle(); h != 0 && TDeviceLine::Gone(raised ? ZQ_SetRts(h) : ZQ_ClrRts(h)))
        Lose();
}

void TDeviceSlot::SetDtr(bool raised) {
    FDtr = raised;
    emit OutputLinesChanged();
    if (const ZQ_HANDLE h = FLine.Handle(); h != 0 && TDeviceLine::Gone(raised ? ZQ_SetDtr(h) : ZQ_ClrDtr(h)))
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
    return TDriveLease(*this, [this] { Released(); });
}

void TDeviceSlot::Released() {
    FLeased = false;
    emit LeaseChanged();
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
    bool gone = false;
    const std::uint32_t written = FLine.Write(data, size, gone);
    if (gone)
        Lose();
    return written;
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
    return MakeSlotExchange(static_cast<TExchangeHost&>(*this));
}

void TDeviceSlot::Poll() {
    if (!FLine.Attached() || FHeld > 0)
        return;
    const TPolled polled = PollLine(FLine, FCapture, KReadBlock);
    if (polled.Lines) {
        FLines = *polled.Lines;
        emit LinesChanged(FLines);
        emit Received(polled.Shown);
        EndCapture(polled.CaptureFailure);
    }
    if (polled.Gone)
        Lose();
}

void TDeviceSlot::ShowRead(const QByteArray& bytes) {
    QByteArray shown;
    EndCapture(FCapture.Take(bytes.constData(), std::size_t(bytes.size()), shown));
    if (!shown.isEmpty())
        emit Received(shown);
}

void TDeviceSlot::EndCapture(const QString& captureFailure) {
    if (captureFailure.isEmpty())
        return;
    emit CaptureChanged(false);
    emit CaptureFailed(captureFailure);
}

void TDeviceSlot::Lose() {
    if (!FLine.Attached())
        return;
    FLine.Detach();
    FPollTimer.stop();
    FLines = TLineStates{};
    emit LinesChanged(FLines);
    emit DeviceLost();
    FReconnectTimer.start();
}

void TDeviceSlot::TryReconnect() {
    if (!FOpen || FLine.Attached()) {
        FReconnectTimer.stop();
        return;
    }
    // The settings the user applied last, with the output lines as the switches left them.
    TPortSettings settings = FSettings;
    settings.Rts = FRts ? 1 : 0;
    settings.Dtr = FDtr ? 1 : 0;
    // The line the drive held unfinished when the device went, as far as it was sent.
    const std::size_t cut = FLine.Echo().LineLength();
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
