#include "drive/drivemodel.h"

#include "common/errors.h"
#include "link/deviceslot.h"

#include <algorithm>

TDriveModel::TDriveModel(TDeviceSlot& slot, QObject* parent)
    : QObject(parent), FSlot(&slot), FMotor(DefaultMotorData()), FParameters(*this), FTests(*this),
      FMotion(*this) {
    connect(&slot, &TDeviceSlot::DeviceBack, &FParameters, [this] { FParameters.DeviceBack(); });
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

void TDriveModel::RequireDriveFree() const {
    if (FSlot && FSlot->IsLost())
        throw EKelmorError(QStringLiteral("%1 — connection lost: nothing was sent").arg(FSlot->Name()));
    if (LinePending())
        throw EKelmorError(QStringLiteral("A line typed in the terminal is not finished: press Enter or "
                                          "clear it with Backspace first"));
}

void TDriveModel::SendTyped(std::uint8_t byte) {
    if (!FSlot || FSlot->Write(&byte, 1) == 0)
        return;
    constexpr std::uint8_t CarriageReturn = '\r', Backspace = 0x08, Delete = 0x7F, LineFeed = '\n',
                           FirstUnheld = 0x80;
    if (byte == CarriageReturn) {
        FTypedLength = 0;
    } else if (byte == Backspace || byte == Delete) {
        FTypedLength = std::max(FTypedLength - 1, 0);
    } else if (byte != LineFeed && byte < FirstUnheld && FTypedLength++ == 0) {
        // Any line typed may set a register, answer a register prompt or load a bank; while it is
        // unfinished, the next command line would be taken as its end.
        FParameters.ForgetKnown();
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
