#include "drive/parameters.h"

#include "common/errors.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/drivemodel.h"
#include "link/deviceslot.h"

#include <algorithm>
#include <memory>
#include <utility>

TParameters::TParameters(TDriveModel& model)
    : FModel(model), FWanted(DefaultSettings()), FKnown(std::make_shared<const TKnownSettings>()) {}

void TParameters::DeviceBack() {
    // The drive may have been switched off meanwhile.
    ForgetKnown();
    if (const std::optional<TRegisterValues> registers = std::exchange(FPending, std::nullopt)) {
        WriteRegisters(*registers);
        if (!FPending)
            emit RestoreWritten();
    }
}

void TParameters::Want(TSettingRow row, const TTypedNumber& figure) {
    FWanted[std::size_t(row)] = figure;
    FEdited[std::size_t(row)] = true;
}

void TParameters::WantAll(const TSettingNumbers& figures) {
    FWanted = figures;
    FEdited.fill(true);
    emit WantedChanged();
}

std::int32_t TParameters::WantedRegister(TSettingRow row) const {
    return RegisterTable[std::size_t(row)].ToRegister(FWanted[std::size_t(row)], FModel.MotorData(),
                                                      FWanted[KV]);
}

QString TParameters::Problem(TSettingRow row) const {
    try {
        WantedRegister(row);
    } catch (const EKelmorError& error) {
        return error.Message();
    }
    return {};
}

std::vector<TSettingRow> TParameters::Unsent() const {
    std::vector<TSettingRow> rows;
    for (int row = 0; row < SettingCount; ++row) {
        if (!FEdited[std::size_t(row)])
            continue;
        // An untouched row is not compared: its text, shown to two decimals, may stand for a register
        // next to the one it was read from.
        bool differs = true;
        if (const std::optional<std::int32_t> known = FKnown->Register(TSettingRow(row))) {
            try {
                differs = WantedRegister(TSettingRow(row)) != *known;
            } catch (const EKelmorError&) {
            }
        }
        if (differs)
            rows.push_back(TSettingRow(row));
    }
    return rows;
}

void TParameters::Publish(TKnownSettings known) {
    known.At = QDateTime::currentDateTime();
    FKnown = std::make_shared<const TKnownSettings>(std::move(known));
    emit KnownChanged();
}

void TParameters::ForgetKnown() {
    if (std::none_of(FKnown->Registers.begin(), FKnown->Registers.end(),
                     [](const auto& r) { return r.has_value(); }))
        return;
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
    WantShown(registers);
}

void TParameters::WantShown(const TRegisterValues& registers) {
    TSettingNumbers figures = FWanted;
    try {
        ShowRegisters(registers, FModel.MotorData(), [&](TSettingRow row, const QString& text) {
            figures[std::size_t(row)] = TTypedNumber(text);
        });
    } catch (...) {
        FWanted = figures;
        emit WantedChanged();
        throw;
    }
    FWanted = figures;
    FEdited.fill(false);
    emit WantedChanged();
}

void TParameters::Write() {
    FModel.RequireDriveFree();
    TKnownSettings known = *FKnown;
    bool sent = false;
    try {
        // The lines go out in row order, each once its value is known; a row is known once sent.
        ConvertSettings(FWanted, FModel.MotorData(), [&](TSettingRow row, std::int32_t value) {
            const int n = RegisterTable[std::size_t(row)].Register;
            if (!SendWritten(RegisterWriteLine(n, value)))
                FModel.RequireDriveFree();
            known.Registers[std::size_t(n)] = value;
            FEdited[std::size_t(row)] = false;
            sent = true;
        });
    } catch (...) {
        if (sent)
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
        WantShown(registers);
    } catch (const EKelmorError&) {
        // The rows the motor data cannot show keep their figures.
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
