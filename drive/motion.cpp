#include "drive/motion.h"

#include "drive/commandlines.h"
#include "drive/drivemodel.h"
#include "link/deviceslot.h"

TMotion::TMotion(TDriveModel& model) : FModel(model) {}

void TMotion::SetMode(int mode) {
    Send(ModeLine(mode));
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
    const QByteArray line = RapidMoveLine(MoveTargetBytes(targetText));
    FModel.RequireDriveFree();
    Send(line);
}

void TMotion::FeedMove(const QString& targetText, const QString& speedText) {
    const std::int32_t speed = FeedSpeed(speedText, FModel.MotorData().EncoderPulses);
    const QByteArray line = FeedMoveLine(MoveTargetBytes(targetText), speed);
    FModel.RequireDriveFree();
    Send(line);
}

void TMotion::Send(const QByteArray& line) {
    if (TDeviceSlot* slot = FModel.Slot())
        slot->WriteLine(line);
}
