#include "drive/parameters.h"

#include "common/errors.h"
#include "drive/commandlines.h"
#include "drive/controllersettings.h"
#include "drive/drivemodel.h"
#include "drive/replyreaders.h"
#include "drive/registertable.h"
#include "link/deviceslot.h"

#include <QStringList>
#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

TParameters::TParameters(TDriveModel& model)
    : FModel(model), FWanted(DefaultSettings()), FKnown(std::make_shared<const TKnownSettings>()) {}

void TParameters::DeviceBack() {
    // The drive may have been switched off meanwhile.
    ForgetKnown();
    if (!FPending)
        return;
    // What the loss cut off (a run, a file) has ended by now, and the slot took the unfinished line back.
    const std::optional<TDriveLease> lease = FModel.Slot()->Lease(TLeaseUse::Command);
    if (!lease) {
        emit RestoreFailed(FModel.Refusal());
        return;
    }
    Restore(*lease, *std::exchange(FPending, std::nullopt));
    if (FPending)
        return;
    if (FRestoreFailure.isEmpty())
        emit RestoreWritten();
    else
        emit RestoreFailed(FRestoreFailure);
}

void TParameters::Restore(const TDriveLease& lease, const TRegisterValues& registers) {
    FRestoreFailure.clear();
    try {
        WriteRegisters(lease, registers);
        if (!FPending)
            CheckRestored(lease, registers);
    } catch (const EExitRequested&) {
        // The program is ending and waits for no confirmation: the lines still go out.
        for (const TRegisterRow& row : RegisterTable)
            lease.Slot()->WriteLine(lease,
                                    RegisterWriteLine(row.Register, registers[std::size_t(row.Register)]));
        ForgetKnown();
    } catch (const EKelmorError& error) {
        FRestoreFailure = error.Message();
    }
}

void TParameters::CheckRestored(const TDriveLease& lease, const TRegisterValues& registers) {
    const TRegisterValues held = ConfirmedRegisters(*lease.Slot()->BeginExchange(lease), FKnown->Registers);
    Publish(TKnownSettings::All(held));
    for (const TRegisterRow& row : RegisterTable) {
        const auto n = std::size_t(row.Register);
        if (held[n] != registers[n])
            throw EKelmorError(QStringLiteral("The drive holds %1 in P%2 where %3 was written back")
                                   .arg(held[n])
                                   .arg(row.Register)
                                   .arg(registers[n]));
    }
}

void TParameters::Want(TSettingRow row, const TFigure& figure) {
    FWanted[std::size_t(row)] = figure;
    FEdited[std::size_t(row)] = true;
    FUnconfirmed[std::size_t(row)] = false;
}

void TParameters::WantAll(const TSettingNumbers& figures) {
    FWanted = figures;
    FEdited.fill(true);
    FUnconfirmed.fill(false);
    emit WantedChanged();
}

QString TParameters::UnconfirmedRows() const {
    QStringList rows;
    for (int row = 0; row < SettingCount; ++row)
        if (FUnconfirmed[std::size_t(row)])
            rows << QStringLiteral("%1 (P%2)")
                        .arg(SettingLabel(TSettingRow(row)))
                        .arg(RegisterTable[row].Register);
    return rows.join(QStringLiteral(", "));
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
        // An untouched row holds what was last read or written: it has nothing to send.
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
    const TDriveLease lease = FModel.Lease();
    // The exchange holds the poll off, so no byte of the dialogues reaches the terminal.
    Read(*lease.Slot()->BeginExchange(lease));
}

void TParameters::Read(TExchange& exchange) {
    const TConfirmedRead read = ConfirmRegisters(exchange, FKnown->Registers);
    TKnownSettings known;
    known.Registers = read.Values;
    Publish(std::move(known));
    const QString why = read.Why();
    if (why.isEmpty())
        return WantFiguresOf(read.Values);
    // As a read-back that broke off, no field changes; but a row whose register was not confirmed shows
    // nothing the drive is known to hold, and "Wpisz" refuses it until it is typed or read.
    for (int row = 0; row < SettingCount; ++row)
        FUnconfirmed[std::size_t(row)] = !RowKnown(read.Values, TSettingRow(row));
    throw EConvertError(why);
}

void TParameters::WantFiguresOf(const TKnownRegisters& registers) {
    FUnconfirmed.fill(false);
    TSettingNumbers figures = FWanted;
    const auto publish = [&] {
        FWanted = figures;
        emit WantedChanged();
    };
    try {
        EachFigureOf(registers, FModel.MotorData(), [&](TSettingRow row, const TFigure& figure) {
            figures[std::size_t(row)] = figure;
            FEdited[std::size_t(row)] = false;
        });
    } catch (...) {
        publish();
        throw;
    }
    publish();
}

void TParameters::Write() {
    const TDriveLease lease = FModel.Lease();
    // A row whose register Czytaj could not confirm shows what it showed before: writing it back could
    // change the drive with a figure nobody meant.
    if (const QString rows = UnconfirmedRows(); !rows.isEmpty())
        throw EKelmorError(QStringLiteral("Nothing was written: %1 could not be confirmed when read; read "
                                          "again or type the value")
                               .arg(rows));
    // The lines go out in row order, each once its value is known: a row that does not convert leaves
    // the rows before it written.
    std::vector<TRegisterWrite> writes;
    std::exception_ptr unconverted;
    try {
        ConvertSettings(FWanted, FModel.MotorData(), [&](TSettingRow row, std::int32_t value) {
            writes.push_back({row, RegisterTable[std::size_t(row)].Register, value});
        });
    } catch (const EKelmorError&) {
        unconverted = std::current_exception();
    }
    if (!writes.empty() && !SendConfirmed(lease, writes, true))
        ThrowGone();
    if (unconverted)
        std::rethrow_exception(unconverted);
}

void TParameters::ThrowGone() const {
    const TDeviceSlot* slot = FModel.Slot();
    throw EKelmorError(slot ? slot->LeaseRefusal(TLeaseUse::Command) : TDeviceSlot::ClosedText());
}

void TParameters::WriteRegisters(const TDriveLease& lease, const TRegisterValues& registers) {
    std::vector<TRegisterWrite> writes;
    for (int row = 0; row < SettingCount; ++row) {
        const int n = RegisterTable[std::size_t(row)].Register;
        writes.push_back({TSettingRow(row), n, registers[std::size_t(n)]});
    }
    if (!SendConfirmed(lease, writes, false)) {
        // All nine again once the device is back: which of them arrived is not known.
        FPending = registers;
        return;
    }
    FPending.reset();
}

void TParameters::Apply(const TRegisterValues& registers) {
    const TDriveLease lease = FModel.Lease();
    WriteRegisters(lease, registers);
    if (FPending) {
        // A loss found by the write itself: nothing is kept for later that the user did not ask to wait.
        FPending.reset();
        ThrowGone();
    }
    try {
        WantFiguresOf(AllKnown(registers));
    } catch (const EKelmorError&) {
        // The rows the motor data cannot show keep their figures.
    }
}

void TParameters::StoreBank(int bank) {
    if (const std::optional<QByteArray> line = BankStoreLine(bank)) {
        const TDriveLease lease = FModel.Lease();
        lease.Slot()->WriteLine(lease, *line);
    }
}

void TParameters::LoadBank(int bank) {
    if (const std::optional<QByteArray> line = BankLoadLine(bank)) {
        const TDriveLease lease = FModel.Lease();
        lease.Slot()->WriteLine(lease, *line);
        ForgetKnown();
    }
}

bool TParameters::SendConfirmed(const TDriveLease& lease, const std::vector<TRegisterWrite>& writes,
                                bool edited) {
    TDeviceSlot* slot = lease.Slot();
    if (!slot || slot->IsLost())
        return false;
    // A register written holds what the drive took, which is known only once it confirmed the line.
    TKnownSettings known = *FKnown;
    std::vector<QByteArray> lines;
    for (const TRegisterWrite& write : writes) {
        lines.push_back(RegisterWriteLine(write.Register, write.Value));
        known.Registers[std::size_t(write.Register)].reset();
    }
    try {
        WriteConfirmed(*slot->BeginExchange(lease), lines, [&](std::size_t i) {
            known.Registers[std::size_t(writes[i].Register)] = writes[i].Value;
            if (edited)
                FEdited[std::size_t(writes[i].Row)] = false;
        });
    } catch (const EExitRequested&) {
        // What the drive confirmed before the program was asked to end is known all the same.
        Publish(std::move(known));
        throw;
    } catch (const EKelmorError&) {
        Publish(std::move(known));
        if (slot->IsLost())
            return false;
        throw;
    }
    Publish(std::move(known));
    return true;
}
