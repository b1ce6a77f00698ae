#include "drive/parameters.h"

#include "common/errors.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/drivemodel.h"
#include "link/deviceslot.h"

#include <memory>
#include <utility>

TParameters::TParameters(TDriveModel& model)
    : FModel(model), FTexts(DefaultSettingTexts()), FKnown(std::make_shared<const TKnownSettings>()) {}

void TParameters::DeviceBack() {
    // The drive may have been switched off meanwhile.
    ForgetKnown();
    if (const std::optional<TRegisterValues> registers = std::exchange(FPending, std::nullopt)) {
        WriteRegisters(*registers);
        if (!FPending)
            emit RestoreWritten();
    }
}

void TParameters::SetText(TSettingRow row, const QString& text) {
    FTexts[std::size_t(row)] = text;
}

void TParameters::SetTexts(const TSettingTexts& texts) {
    FTexts = texts;
    emit TextsChanged();
}

void TParameters::Publish(TKnownSettings known) {
    known.At = QDateTime::currentDateTime();
    FKnown = std::make_shared<const TKnownSettings>(std::move(known));
    emit KnownChanged();
}

void TParameters::ForgetKnown() {
    TKnownSettings none;
    none.At = FKnown->At;
    FKnown = std::make_shared<const TKnownSettings>(std::move(none));
    emit KnownChanged();
}

void TParameters::Read() {
    TDeviceSlot* slot = FModel.Slot();
    if (!slot)
        return;
    FModel.RequireDriveFree();
    // The exchange holds the poll off, so no byte of the dialogues reaches the terminal.
    const std::unique_ptr<TExchange> exchange = slot->BeginExchange();
    Read(*exchange);
}

void TParameters::Read(TExchange& exchange) {
    const TRegisterValues registers = QueryRegisters(exchange);
    Publish(TKnownSettings::All(registers));
    ShowTexts(registers);
}

void TParameters::ShowTexts(const TRegisterValues& registers) {
    TSettingTexts texts = FTexts;
    try {
        ShowRegisters(registers, FModel.MotorData(),
                      [&](TSettingRow row, const QString& text) { texts[std::size_t(row)] = text; });
    } catch (...) {
        SetTexts(texts);
        throw;
    }
    SetTexts(texts);
}

void TParameters::Write() {
    Write(FTexts);
}

void TParameters::Write(const TSettingTexts& texts) {
    FModel.RequireDriveFree();
    TKnownSettings known = *FKnown;
    int row = 0;
    try {
        // The lines go out in row order, each once its value is known; a row is known once sent.
        WriteSettings(texts, FModel.MotorData(), [&](const QByteArray& line) {
            if (!SendWritten(line))
                FModel.RequireDriveFree();
            const TRegisterRow& r = RegisterTable[std::size_t(row)];
            known.Registers[std::size_t(r.Register)] =
                r.ToRegister(texts[std::size_t(row)], FModel.MotorData(), texts[KV]);
            ++row;
        });
    } catch (...) {
        if (row > 0)
            Publish(std::move(known));
        throw;
    }
    Publish(std::move(known));
}

void TParameters::WriteRegisters(const TRegisterValues& registers) {
    for (const TRegisterRow& row : RegisterTable)
        if (!SendWritten(RegisterWriteLine(row.Register, registers[std::size_t(row.Register)]))) {
            // All nine again once the device is back: which of them arrived is not known.
            FPending = registers;
            return;
        }
    FPending.reset();
    Publish(TKnownSettings::All(registers));
}

void TParameters::Apply(const TRegisterValues& registers) {
    FModel.RequireDriveFree();
    WriteRegisters(registers);
    if (FPending) {
        // A loss found by the write itself: nothing is kept for later that the user did not ask to wait.
        FPending.reset();
        FModel.RequireDriveFree();
    }
    try {
        ShowTexts(registers);
    } catch (const EKelmorError&) {
        // The rows the motor data cannot show keep their texts.
    }
}

void TParameters::StoreBank(int bank) {
    if (const std::optional<QByteArray> line = BankStoreLine(bank)) {
        FModel.RequireDriveFree();
        FModel.Slot()->WriteLine(*line);
    }
}

void TParameters::LoadBank(int bank) {
    if (const std::optional<QByteArray> line = BankLoadLine(bank)) {
        FModel.RequireDriveFree();
        FModel.Slot()->WriteLine(*line);
        ForgetKnown();
    }
}

bool TParameters::SendWritten(const QByteArray& line) {
    TDeviceSlot* slot = FModel.Slot();
    if (!slot || slot->IsLost())
        return false;
    slot->WriteLine(line);
    return !slot->IsLost();
}
