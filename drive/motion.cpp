#include "drive/motion.h"

#include "drive/commandlines.h"
#include "drive/drivemodel.h"
#include "drive/replyreaders.h"
#include "link/deviceslot.h"

#include <memory>

QString ModeName(int mode) {
    static const char* const names[ModeCount] = {"Napięcie", "Moment", "Prędkosc", "Droga"};
    return mode >= 0 && mode < ModeCount ? QString::fromUtf8(names[mode]) : QString::number(mode);
}

TMotion::TMotion(TDriveModel& model) : FModel(model) {}

void TMotion::SetMode(int mode) {
    const TDriveLease lease = FModel.Lease();
    const std::unique_ptr<TExchange> exchange = lease.Slot()->BeginExchange(lease);
    if (FModel.SetPointMayMove()) {
        Confirm(*exchange, SetPointLine(0), QStringLiteral("set-point"));
        FModel.SetPointConfirmed(0);
    }
    Confirm(*exchange, ModeLine(mode), QStringLiteral("mode"));
    FModel.ModeConfirmed(mode);
}

void TMotion::SetSetPoint(std::int32_t value) {
    const TDriveLease lease = FModel.Lease();
    Confirm(*lease.Slot()->BeginExchange(lease), SetPointLine(value), QStringLiteral("set-point"));
    FModel.SetPointConfirmed(value);
}

void TMotion::Confirm(TExchange& exchange, const QByteArray& line, const QString& what) {
    // Unknown from the moment it goes out: the drive may take it or not.
    FModel.CommandSent(line.chopped(1));
    try {
        exchange.SettleAndPurge();
        // The terminal shows the answer as it shows the answers to the page's other lines.
        exchange.Show(ConfirmLine(exchange, line));
    } catch (const EKelmorError& error) {
        throw EKelmorError(QStringLiteral("%1: the drive's %2 is not known").arg(error.Message(), what));
    }
}

void TMotion::Identify() {
    Send(IdentifyLine());
}

void TMotion::ShowPosition() {
    Send(PositionLine());
}

void TMotion::RapidMove(const QString& targetText) {
    Send(RapidMoveLine(MoveTargetBytes(targetText)));
}

void TMotion::FeedMove(const QString& targetText, const TFigure& speed) {
    const QByteArray line =
        FeedMoveLine(MoveTargetBytes(targetText), FeedSpeed(speed, FModel.MotorData().EncoderPulses));
    Send(line);
}

void TMotion::Send(const QByteArray& line) {
    Send(FModel.Lease(), line);
}

void TMotion::Send(const TDriveLease& lease, const QByteArray& line) {
    lease.Slot()->WriteLine(lease, line);
    FModel.CommandSent(line.chopped(1));
}
