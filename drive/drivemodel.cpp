#include "drive/drivemodel.h"

#include "common/errors.h"
#include "link/deviceslot.h"

#include <algorithm>

TDriveModel::TDriveModel(TDeviceSlot& slot, QObject* parent)
    : QObject(parent), FSlot(&slot), FMotor(DefaultMotorData()), FParameters(*this), FTests(*this),
      FMotion(*this) {
    connect(&slot, &TDeviceSlot::DeviceBack, &FParameters, [this] { FParameters.DeviceBack(); });
    connect(&slot, &TDeviceSlot::SentRaw, this, &TDriveModel::TrackRaw);
    connect(&slot, &TDeviceSlot::Received, this,
            [this](const QByteArray& bytes) { FIdentification.Received(bytes); });
}

void TDriveModel::SetMotorNumber(const TMotorField& field, const TTypedNumber& number) {
    if (FMotor.*field.Number == number)
        return;
    FMotor.*field.Number = number;
    emit MotorDataChanged();
}

void TDriveModel::SetMotorData(const TMotorData& motor) {
    FMotor = motor;
    emit MotorDataChanged();
}

QString TDriveModel::RawRefusal() const {
    if (!FSlot || !FSlot->IsOpen())
        return QStringLiteral("The device is closed");
    if (FSlot->IsLost())
        return QStringLiteral("%1 — connection lost: nothing was sent").arg(FSlot->Name());
    if (FBusy)
        return QStringLiteral("A tuning run has the drive: wait for its end or stop it");
    return {};
}

QString TDriveModel::Refusal() const {
    if (QString refusal = RawRefusal(); !refusal.isEmpty())
        return refusal;
    if (LinePending())
        return QStringLiteral("A line typed in the terminal is not finished: press Enter or clear it with "
                              "Backspace first");
    return {};
}

void TDriveModel::RequireDriveFree() const {
    if (const QString refusal = Refusal(); !refusal.isEmpty())
        throw EKelmorError(refusal);
}

bool TDriveModel::SendTyped(std::uint8_t byte) {
    return RawRefusal().isEmpty() && FSlot->Write(&byte, 1) == 1;
}

void TDriveModel::TrackRaw(const QByteArray& bytes) {
    constexpr char CarriageReturn = '\r', Backspace = 0x08, Delete = 0x7F, LineFeed = '\n';
    constexpr std::uint8_t FirstUnheld = 0x80;
    for (const char byte : bytes) {
        if (byte == CarriageReturn) {
            FIdentification.LineSent(FTypedLine);
            FTypedLength = 0;
            FTypedLine.clear();
        } else if (byte == Backspace || byte == Delete) {
            FTypedLength = std::max(FTypedLength - 1, 0);
            FTypedLine.truncate(FTypedLength);
        } else if (byte != LineFeed && std::uint8_t(byte) < FirstUnheld) {
            // The start of the line is all the identification needs: a file with no CR grows no copy.
            if (FTypedLine.size() < KTypedLineKept)
                FTypedLine += byte;
            if (FTypedLength++ == 0)
                FParameters.ForgetKnown();
        }
    }
}

void TDriveModel::SetBusy(bool busy) {
    if (FBusy == busy)
        return;
    FBusy = busy;
    emit BusyChanged(busy);
}

TDriveModels::TDriveModels(TDeviceSlots& table, QObject* parent) : QObject(parent) {
    for (std::int32_t i = 0; i < TDeviceSlots::KCount; ++i)
        FModels[std::size_t(i)] = new TDriveModel(*table.At(i), this);
}

TDriveModel* TDriveModels::At(std::int32_t index) const {
    return index >= 0 && index < TDeviceSlots::KCount ? FModels[std::size_t(index)] : nullptr;
}

TSessionDrive TDriveModel::SessionDrive() const {
    TSessionDrive drive;
    if (FSlot) {
        drive.Device = FSlot->Name();
        drive.Port = FSlot->PortName();
    }
    drive.Identification = Identification();
    drive.Motor = FMotor;
    drive.Known = *FParameters.Known();
    drive.Run = FLastRun;
    return drive;
}
