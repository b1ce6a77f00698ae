#include "drive/drivemodel.h"

#include "common/errors.h"
#include "drive/commandlines.h"
#include "link/deviceslot.h"
#include "link/echodebt.h"

#include <algorithm>
#include <utility>

TDriveModel::TDriveModel(TDeviceSlot& slot, QObject* parent)
    : QObject(parent), FSlot(&slot), FMotor(DefaultMotorData()), FParameters(*this), FTests(*this),
      FMotion(*this) {
    connect(&slot, &TDeviceSlot::DeviceBack, &FParameters, [this] {
        // The drive may have been switched off meanwhile.
        ForgetMode();
        FParameters.DeviceBack();
    });
    connect(&slot, &TDeviceSlot::SentRaw, this, &TDriveModel::TrackRaw);
    slot.SetLeaseRule([this](TLeaseUse use) { return LeaseRule(use); });
    connect(&slot, &TDeviceSlot::Received, this,
            [this](const QByteArray& bytes) { FIdentification.Received(bytes); });
    connect(&slot, &TDeviceSlot::LeaseChanged, this, [this] {
        if (const bool busy = Busy(); busy != FBusyShown) {
            FBusyShown = busy;
            emit BusyChanged(busy);
        }
    });
}

TDriveModel::~TDriveModel() {
    if (FSlot)
        FSlot->SetLeaseRule({});
}

void TDriveModel::SetMotorNumber(const TMotorField& field, const TFigure& number) {
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
    return FSlot ? FSlot->LeaseRefusal(TLeaseUse::Raw) : TDeviceSlot::ClosedText();
}

QString TDriveModel::Refusal() const {
    return FSlot ? FSlot->LeaseRefusal(TLeaseUse::Command) : TDeviceSlot::ClosedText();
}

TDriveLease TDriveModel::Lease(TLeaseUse use, const QString& heldText) {
    std::optional<TDriveLease> lease = FSlot ? FSlot->Lease(use, heldText) : std::nullopt;
    if (!lease)
        throw EKelmorError(use == TLeaseUse::Raw ? RawRefusal() : Refusal());
    return std::move(*lease);
}

QString TDriveModel::LeaseRule(TLeaseUse use) const {
    if (use == TLeaseUse::Command && LinePending())
        return QStringLiteral("A line typed in the terminal is not finished: press Enter or clear it with "
                              "Backspace first");
    return {};
}

QString TDriveModel::StepRefusal() const {
    if (!FMode)
        return QStringLiteral("The drive's mode is not known: choose \"%1\" under Diagnostyka first")
            .arg(ModeName(PositionMode));
    if (*FMode != PositionMode)
        return QStringLiteral("The drive is in the mode \"%1\": a step test runs only in \"%2\"")
            .arg(ModeName(*FMode), ModeName(PositionMode));
    if (FSetPoint != 0)
        return QStringLiteral(
                   "The set-point is %1, not 0: bring the slider under Diagnostyka back to 0 first")
            .arg(FSetPoint ? QString::number(*FSetPoint) : QStringLiteral("not known"));
    return {};
}

void TDriveModel::RequireStepMode() const {
    if (const QString refusal = StepRefusal(); !refusal.isEmpty())
        throw EKelmorError(refusal);
}

void TDriveModel::CommandSent(const QByteArray& line) {
    FIdentification.LineSent(line);
    // Until the drive confirms it, a mode or set-point line may have been taken or not.
    TrackLine(line, false);
}

void TDriveModel::ModeConfirmed(int mode) {
    const std::optional<int> before = std::exchange(FMode, mode);
    SetPointConfirmed(0);
    if (FMode != before)
        emit ModeChanged();
}

void TDriveModel::SetPointConfirmed(std::int32_t value) {
    FSetPoint = value;
    FSamplesStored = false;
}

void TDriveModel::TrackLine(const QByteArray& line, bool whole) {
    const std::optional<int> mode = FMode;
    const TParsedLine read = ParseCommandLine(line);
    if (read.Kind == TParsedLine::Mode || read.Kind == TParsedLine::SetPoint ||
        read.Kind == TParsedLine::Move)
        ForgetWitness();
    if (read.Kind == TParsedLine::Mode) {
        FMode = whole ? read.Value : std::nullopt;
    } else if (read.Kind == TParsedLine::SetPoint) {
        FSetPoint = whole ? read.Value : std::nullopt;
        FSamplesStored = false;
    }
    if (FMode != mode)
        emit ModeChanged();
}

void TDriveModel::ForgetMode() {
    ForgetWitness();
    FSetPoint.reset();
    FSamplesStored = false;
    if (std::exchange(FMode, std::nullopt))
        emit ModeChanged();
}

void TDriveModel::Close() {
    emit Closing();
    ForgetMode();
}

bool TDriveModel::SendTyped(std::uint8_t byte) {
    const std::optional<TDriveLease> lease = FSlot ? FSlot->Lease(TLeaseUse::Raw) : std::nullopt;
    return lease && FSlot->WriteRaw(*lease, &byte, 1) == 1;
}

void TDriveModel::TrackRaw(const QByteArray& bytes) {
    constexpr char CarriageReturn = '\r', Backspace = 0x08, Delete = 0x7F, LineFeed = '\n';
    constexpr std::uint8_t FirstUnheld = 0x80;
    for (const char byte : bytes) {
        if (byte == CarriageReturn) {
            FIdentification.LineSent(FTypedLine);
            TrackLine(FTypedLine, FTypedLength == FTypedLine.size());
            FTypedLength = 0;
            FTypedLine.clear();
        } else if (byte == Backspace || byte == Delete) {
            FTypedLength = std::max(FTypedLength - 1, 0);
            FTypedLine.truncate(FTypedLength);
        } else if (byte != LineFeed && std::uint8_t(byte) < FirstUnheld) {
            // The drive drops a line longer than it takes, with the character past it, and starts anew.
            if (FTypedLength >= int(TEchoDebt::KLongestLine)) {
                FTypedLength = 0;
                FTypedLine.clear();
                continue;
            }
            // The start of the line is all the identification needs: a file with no CR grows no copy.
            if (FTypedLine.size() < KTypedLineKept)
                FTypedLine += byte;
            if (FTypedLength++ == 0) {
                FParameters.ForgetKnown();
                ForgetWitness();
            }
        }
    }
}

bool TDriveModel::Busy() const {
    return FSlot && !FSlot->Holder().isEmpty();
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
