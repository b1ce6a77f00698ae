#include "drive/motion.h"

#include "drive/commandlines.h"
#include "drive/drivemodel.h"
#include "link/deviceslot.h"

QString ModeName(int mode) {
    static const char* const names[ModeCount] = {"Napięcie", "Moment", "Prędkosc", "Droga"};
    return mode >= 0 && mode < ModeCount ? QString::fromUtf8(names[mode]) : QString::number(mode);
}

TMotion::TMotion(TDriveModel& model) : FModel(model) {}

void TMotion::SetMode(int mode) {
    const TDriveLease lease = FModel.Lease();
    if (FModel.SetPointMayMove())
        Send(lease, SetPointLine(0));
    Send(lease, ModeLine(mode));
}

void TMotion::SetSetPoint(std::int32_t value) {
    Send(SetPointLine(value));
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

void TMotion::FeedMove(const QString& targetText, const TTypedNumber& speed) {
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
