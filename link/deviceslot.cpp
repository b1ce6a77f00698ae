#include "link/deviceslot.h"

#include "common/errors.h"
#include "device/applysettings.h"
#include "link/slotexchange.h"

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

bool TReplyCount::Suspect() const {
    return Replies >= KFewestJudged && Garbled > 1 && Garbled * 100 > Replies;
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
    const TPolled polled = PollLine(FLine, FCapture);
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

void TDeviceSlot::CountReply(bool garbled) {
    ++FReplies.Replies;
    if (garbled)
        ++FReplies.Garbled;
    emit RepliesCounted();
}
