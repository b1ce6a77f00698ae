#pragma once

#include "drive/registertable.h"
#include "drive/testrecord.h"

#include <QObject>
#include <optional>

class TDriveModel;
class TExchange;

// The drive's nine controller settings: the texts the settings page holds until "Wpisz" converts
// them, what is known of the registers in the drive (register values, "not known" per register),
// "Czytaj", "Wpisz", the banks, and a restore that waits for a lost device.
class TParameters : public QObject {
    Q_OBJECT

public:
    explicit TParameters(TDriveModel& model);

    // The settings as the page holds them: what "Wpisz" writes and "Czytaj" fills.
    const TSettingTexts& Texts() const { return FTexts; }
    void SetText(TSettingRow row, const QString& text);
    void SetTexts(const TSettingTexts& texts);

    const TSettingsSnapshot& Known() const { return FKnown; }
    // Something Kelmor did not build reached the drive, or the drive may have been switched off.
    void ForgetKnown();

    // "Czytaj": the nine registers from the drive into the texts, within the exchange given or one of
    // its own.
    void Read();
    void Read(TExchange& exchange);
    // "Wpisz": the texts as held, or those given, into the drive's working registers. A lost device
    // gets nothing and says so; the rows a loss found in the middle cut off stay as known as they were.
    void Write();
    void Write(const TSettingTexts& texts);
    // Register values as they are, in the order "Wpisz" sends them, such as values read before:
    // nothing is lost to the two decimals of the texts. They become known once all nine are out. A
    // restore: a lost device, also one the write itself finds lost, gets them as soon as it is back,
    // and until then they are pending.
    void WriteRegisters(const TRegisterValues& registers);
    bool RestorePending() const { return FPending.has_value(); }
    // "Zastosuj": the registers into the drive, and the texts then show them; a lost device gets
    // nothing and says so.
    void Apply(const TRegisterValues& registers);
    // The bank store and load; nothing is sent when no bank (0..3) is chosen.
    void StoreBank(int bank);
    void LoadBank(int bank);

signals:
    // The texts changed other than by SetText: "Czytaj", "Zastosuj" or a parameter file.
    void TextsChanged();
    void KnownChanged();
    // A restore that waited for the device is written.
    void RestoreWritten();

private:
    friend class TDriveModel;

    void Publish(TKnownSettings known);
    // The settings page's texts for the registers; a conversion that fails leaves the rows before it
    // filled and is thrown on.
    void ShowTexts(const TRegisterValues& registers);
    // Sends a line of a write; false when the device is lost, or the line was what found it lost.
    bool SendWritten(const QByteArray& line);
    void DeviceBack();

    TDriveModel& FModel;
    TSettingTexts FTexts;
    TSettingsSnapshot FKnown;
    std::optional<TRegisterValues> FPending;
};
