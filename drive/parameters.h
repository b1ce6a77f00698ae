#pragma once

#include "drive/controllersettings.h"
#include "drive/registertable.h"
#include "drive/testrecord.h"

#include <QObject>
#include <QString>
#include <array>
#include <optional>
#include <vector>

class TDriveLease;
class TDriveModel;
class TExchange;

// The drive's nine controller settings: the figures the engineer wants, which "Wpisz" converts to
// register values with the motor data of the moment, what is known of the registers in the drive
// (register values, "not known" per register), "Czytaj", "Wpisz", the banks, and a restore that waits
// for a lost device.
class TParameters : public QObject {
    Q_OBJECT

public:
    explicit TParameters(TDriveModel& model);

    // The settings as wanted: what "Wpisz" writes and "Czytaj" fills. A figure typed or loaded keeps
    // its text (one that is no number stays, so that "Wpisz" names it at its row); one read is the
    // register's own figure, shown as the read-back shows it, so that "Wpisz" writes back what was read.
    const TSettingNumbers& Wanted() const { return FWanted; }
    void Want(TSettingRow row, const TFigure& figure);
    void WantAll(const TSettingNumbers& figures);
    // Why a row's wanted figure would not convert with the motor data of the moment (a text that is
    // no number, a zero divisor, a register beyond the drive's); empty when it converts.
    QString Problem(TSettingRow row) const;
    // The rows "Wpisz" has yet to send: those edited (or loaded from a file) since they were last
    // read or written whose figure would write another register than the drive is known to hold,
    // does not convert, or whose register is not known.
    std::vector<TSettingRow> Unsent() const;

    // The rows whose register "Czytaj" could not confirm and that were not typed since, as a message
    // names them ("KP (P2), KI (P4)"); empty when none. "Wpisz" refuses while there are any.
    QString UnconfirmedRows() const;

    const TSettingsSnapshot& Known() const { return FKnown; }
    // Something Kelmor did not build reached the drive, or the drive may have been switched off.
    void ForgetKnown();

    // "Czytaj": the nine registers from the drive, each confirmed (ConfirmRegisters), into the texts,
    // within the exchange given or one of its own. Unless all nine were confirmed no text changes: those
    // confirmed become known, the rows of the others are marked unconfirmed, and EConvertError says why.
    void Read();
    void Read(TExchange& exchange);
    // "Wpisz": the wanted settings into the drive's working registers. A lost device gets nothing and
    // says so; the rows a loss found in the middle cut off stay as known as they were.
    void Write();
    // Register values as they are, in the order "Wpisz" sends them, such as values read before. They
    // become known once all nine are out. A restore: a lost device, also one the write itself finds
    // lost, gets them as soon as it is back, and until then they are pending. Under the lease of
    // whoever writes them.
    void WriteRegisters(const TDriveLease& lease, const TRegisterValues& registers);
    bool RestorePending() const { return FPending.has_value(); }
    // A tuning run's restore: the registers written as WriteRegisters does, then read back. Why the
    // drive does not hold them (it refused a line, or holds other values), or empty; the error is kept,
    // not thrown, as a restore happens however a run ends.
    void Restore(const TDriveLease& lease, const TRegisterValues& registers);
    const QString& RestoreFailure() const { return FRestoreFailure; }
    // "Zastosuj": the registers into the drive, and the wanted settings then show them; a lost device
    // gets nothing and says so.
    void Apply(const TRegisterValues& registers);
    // The bank store and load; nothing is sent when no bank (0..3) is chosen.
    void StoreBank(int bank);
    void LoadBank(int bank);

signals:
    // The wanted settings changed other than by Want: "Czytaj", "Zastosuj" or a parameter file.
    void WantedChanged();
    void KnownChanged();
    // A restore that waited for the device is written and read back.
    void RestoreWritten();
    // A restore that waited for the device failed: why.
    void RestoreFailed(const QString& why);

private:
    friend class TDriveModel;

    void Publish(TKnownSettings known);
    // The wanted settings as the figures of the registers (EachFigureOf); a conversion that fails leaves
    // the rows before it filled and is thrown on.
    void WantFiguresOf(const TKnownRegisters& registers);
    std::int32_t WantedRegister(TSettingRow row) const;
    struct TRegisterWrite {
        TSettingRow Row;
        int Register;
        std::int32_t Value;
    };
    // Writes registers, each known once the drive confirmed its line, and the rows no longer edited
    // when `edited`; false when the device is lost, or was found lost by the write; throws
    // ELineNotConfirmed when the drive did not confirm a line.
    bool SendConfirmed(const TDriveLease& lease, const std::vector<TRegisterWrite>& writes, bool edited);
    // Throws EKelmorError when the drive does not hold the registers.
    void CheckRestored(const TDriveLease& lease, const TRegisterValues& registers);
    // Why a write found the device gone: closed or lost.
    [[noreturn]] void ThrowGone() const;
    void DeviceBack();

    TDriveModel& FModel;
    TSettingNumbers FWanted;
    // Rows given by the engineer (or a parameter file) since they were read or written.
    std::array<bool, SettingCount> FEdited{};
    // Rows whose register the last read could not confirm, not typed since.
    std::array<bool, SettingCount> FUnconfirmed{};
    TSettingsSnapshot FKnown;
    std::optional<TRegisterValues> FPending;
    QString FRestoreFailure;
};
