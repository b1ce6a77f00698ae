#pragma once

#include "device/portfactory.h"
#include "device/portsettings.h"
#include "device/zqlink.h"
#include "link/capturefile.h"
#include "link/deviceline.h"
#include "link/exchange.h"
#include "link/lease.h"
#include "link/linepoll.h"
#include "link/slotexchange.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The drive's replies parsed since the device was opened, and of them those that came garbled: the
// health of the line as the engineer is shown it.
struct TReplyCount {
    // Fewer replies than this say nothing of the line yet.
    static constexpr int KFewestJudged = 50;

    int Replies = 0;
    int Garbled = 0;

    // More than one reply in a hundred garbled, and more than one at all: the cable or the converter
    // is worth a look. A single bad reply is no trend, however few came.
    bool Suspect() const;
};

// The one object of a device index: it owns the open device (handle, port settings, the live
// state of the lines), the capture file, the 50 ms receive poll and the exchanges that hold the
// poll off, and it notices when the device goes away and brings it back. Everything that talks to
// the device goes through here; the device window only listens and shows.
class TDeviceSlot : public QObject, private TExchangeHost {
    Q_OBJECT

public:
    static constexpr int KPollIntervalMs = 50;
    static constexpr int KReconnectIntervalMs = 1000;

    // The device is opened, and reopened after a loss, with the ports of the factory. exitRequested,
    // when given, is set once the program is asked to end (by a signal handler, hence an atomic): the
    // slot's exchanges then end at their next wait.
    explicit TDeviceSlot(std::int32_t index, TPortFactory ports = MachinePorts(), QObject* parent = nullptr,
                         const std::atomic<bool>* exitRequested = nullptr);
    ~TDeviceSlot() override;

    std::int32_t Index() const { return FIndex; }
    // "DEV0" ... "DEV3".
    QString Name() const;

    // The port the device was last opened on, as the machine names it; empty before it was opened.
    const QString& PortName() const { return FPortName; }

    // The device is open: connected, or lost and being tried again.
    bool IsOpen() const { return FOpen; }
    bool IsLost() const { return FOpen && !FLine.Attached(); }

    // Opens the device with the default port settings, applies them and reads the lines; the poll
    // starts. False, with the slot left closed, when any step fails or the slot is open already.
    bool Open();
    // Why the last Open failed, as one line that names the port; empty after one that succeeded.
    const QString& OpenFailure() const { return FOpenFailure; }
    // Closes the device and stops the poll and the reconnection; the capture stays, and so does what
    // is known of a line left unfinished, which the next open takes back.
    void Close();

    // The replies since the last open, across reconnects: a loss is often the same cable's fault.
    const TReplyCount& Replies() const { return FReplies; }

    const TPortSettings& Settings() const override { return FSettings; }
    // Keeps the settings and pushes them into the device. False when the device refused a step
    // (the steps after it are not run) or is not connected.
    bool ApplyNewSettings(const TPortSettings& settings);

    TLineStates Lines() const { return FLines; }
    // The output lines as last set, by the settings or by a switch.
    bool RtsRaised() const { return FRts; }
    bool DtrRaised() const { return FDtr; }
    void SetRts(bool raised);
    void SetDtr(bool raised);

    // Why a lease for use cannot be granted now, or empty: the device is closed or lost, another
    // lease is held (in its holder's words), or the rule of whoever follows the drive's line refuses.
    QString LeaseRefusal(TLeaseUse use) const;
    // What a command hears while the device is closed.
    static QString ClosedText() { return QStringLiteral("The device is closed"); }
    // Lends the drive, or none when LeaseRefusal says why not. While the lease is held, every other
    // request for one is refused with heldText.
    std::optional<TDriveLease> Lease(TLeaseUse use, const QString& heldText = {});
    bool Leased() const { return FLeased; }
    // Who holds the drive for longer than one command: the text a tuning run or a file send took the
    // lease with; empty while the drive is free or lent to one command.
    QString Holder() const { return FLeased && FLeaseNamed ? FLeaseHeldText : QString(); }
    // What the one who follows the drive's line (its model) refuses a lease for, beyond what the slot
    // knows; an empty text lets it be.
    void SetLeaseRule(std::function<QString(TLeaseUse)> rule) { FLeaseRule = std::move(rule); }

    // Hands bytes that no command built (keys typed, a file sent) to the device in one write; returns
    // how many it took within its write time-out, and tells of them with SentRaw. Nothing is sent,
    // nor kept for later, while the device is lost, nor under a lease this slot did not grant. The
    // drive owes the echo of what it took, which the next exchange waits for before it purges.
    std::uint32_t WriteRaw(const TDriveLease& lease, const void* data, std::uint32_t size);
    // A command line, as WriteRaw without SentRaw; under a lease this slot did not grant it throws
    // EKelmorError, as an exchange does, instead of dropping the line. (Raw bytes keep their count of
    // 0: a file send's pacing reads it.)
    void WriteLine(const TDriveLease& lease, const QByteArray& line);

    bool Capturing() const { return FCapture.IsOpen(); }
    // Received bytes go into the file from the next poll on; returns the error text of a capture
    // file it replaced and could not finish.
    QString StartCapture(TFilePtr file);
    QString StopCapture();

    // Holds the poll off while the returned exchange lives. On a closed or lost device its reads
    // come back empty and it reports itself lost. Throws EKelmorError under a lease this slot did
    // not grant.
    std::unique_ptr<TExchange> BeginExchange(const TDriveLease& lease);

    // One poll: the lines, and every byte the device reported waiting, into the capture file while
    // one is open, else out through Received. The timer runs it every 50 ms.
    void Poll();
    // Bytes an exchange read that go to the terminal as the poll's would: into the capture while one
    // is open, else out through Received.
    void ShowRead(const QByteArray& bytes) override;

signals:
    // Every poll ends with this, also with no bytes, so the terminal shows what it holds.
    void Received(const QByteArray& bytes);
    void LinesChanged(TLineStates lines);
    // RTS or DTR was raised or dropped, by a switch or by applied settings.
    void OutputLinesChanged();
    // A capture started or ended, by a command or because its file could not be written.
    void CaptureChanged(bool capturing);
    // The capture file could not be written: the capture has stopped, and the bytes that could not
    // be written went out through Received.
    void CaptureFailed(const QString& message);
    void DeviceLost();
    // The device is open again; a line it may have held unfinished has been taken back with Backspace.
    void DeviceBack();
    // Bytes no command built reached the device: they may set any register or start a line the
    // drive holds.
    void SentRaw(const QByteArray& bytes);
    // Replies() changed: an exchange read a reply.
    void RepliesCounted();
    // The drive was lent or given back: Holder() may have changed.
    void LeaseChanged();

private:
    // A capture that could not be written ends, and says why; nothing when the text is empty.
    void EndCapture(const QString& captureFailure);

    // What the slot's exchanges may touch of it.
    TDeviceLine& Line() override { return FLine; }
    bool Connected() const override { return FOpen && FLine.Attached(); }
    bool ExitRequested() const override { return FExitRequested && FExitRequested->load(); }
    void HoldPoll(bool held) override { FHeld += held ? 1 : -1; }

    void Lose() override;
    void TryReconnect();
    // The one write to the device: the bytes it took are owed back as echo.
    std::uint32_t Send(const void* data, std::uint32_t size);
    // Send, and tell of the bytes with SentRaw.
    std::uint32_t SendRaw(const void* data, std::uint32_t size);
    bool Grants(const TDriveLease& lease) const { return FLeased && lease.Slot() == this; }
    // Throws EKelmorError unless the lease is this slot's, held.
    void RequireGrant(const TDriveLease& lease) const;
    // The lease went: the drive is free again.
    void Released();
    // An open and a reconnect alike: the device opened sets its line up with the settings and reads
    // its input lines, then the slot takes it and polls; else it is closed again. Why it failed, or
    // empty.
    QString Connect(const TOpenResult& opened, const TPortSettings& settings);
    bool ReadLines(ZQ_HANDLE handle);
    // The drive would take the next line for the rest of the one it holds, cut characters long: it is
    // taken back, before anything else goes out.
    void TakeBackLine(std::size_t cut);
    // A reply an exchange read, whole or garbled.
    void CountReply(bool garbled) override;

    std::int32_t FIndex;
    TPortFactory FPorts;
    const std::atomic<bool>* FExitRequested;
    QString FPortName;
    QString FOpenFailure;
    bool FOpen = false;
    TDeviceLine FLine; // detached while lost
    TPortSettings FSettings;
    TLineStates FLines;
    bool FRts = true;
    bool FDtr = true;
    TCaptureFile FCapture;
    int FHeld = 0;
    QTimer FPollTimer;
    QTimer FReconnectTimer;
    bool FLeased = false;
    bool FLeaseNamed = false; // lent with a holder's text, not to one command
    QString FLeaseHeldText;
    std::function<QString(TLeaseUse)> FLeaseRule;
    TReplyCount FReplies;
};
