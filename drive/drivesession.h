#pragma once

#include "drive/controllersettings.h"
#include "drive/registertable.h"
#include "drive/testrecord.h"
#include "link/deviceslot.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The model of one open device that the device window's pages share: the motor data, the nine
// settings as the settings page holds them, what is known of the settings in the drive, and the step
// tests of this session. Pages show its state and call its commands; every byte goes through the slot.
// Commands throw the errors of common/errors.h; what was done before an error stays done.
class TDriveSession : public QObject {
    Q_OBJECT

public:
    explicit TDriveSession(TDeviceSlot& slot, QObject* parent = nullptr);

    // The slot this session commands; none once the slot table is gone.
    TDeviceSlot* Slot() const { return FSlot.data(); }

    const TMotorData& MotorData() const { return FMotor; }
    void SetMotorText(const TMotorField& field, const QString& text);
    void SetMotorData(const TMotorData& motor);

    // The settings as the page holds them: what "Wpisz" writes and "Czytaj" fills.
    const TSettingTexts& SettingTexts() const { return FSettings; }
    void SetSettingText(TSettingRow row, const QString& text);
    void SetSettingTexts(const TSettingTexts& texts);

    const TSettingsSnapshot& Known() const { return FKnown; }
    // Something the session did not build reached the drive and may have changed its registers.
    void ForgetKnownSettings();

    // "Czytaj": the nine registers from the drive into the settings, within the exchange given or
    // one of its own.
    void ReadSettings();
    void ReadSettings(TExchange& exchange);
    // "Wpisz": the settings as held, or the texts given, into the drive's working registers. A lost
    // device gets nothing and says so; the rows a loss found in the middle cut off stay as known as
    // they were.
    void WriteSettings();
    void WriteSettings(const TSettingTexts& texts);
    // Register values as they are, in the order "Wpisz" sends them, such as values read before:
    // nothing is lost to the two decimals of the texts. The settings known become their texts once
    // all nine are out. A restore: a lost device, also one the write itself finds lost, gets them as
    // soon as it is back, and until then they are pending.
    void WriteRegisters(const TRegisterValues& registers);
    bool RestorePending() const { return FPendingRegisters.has_value(); }
    // "Zastosuj": the registers into the drive, and the settings page then shows them; a lost device
    // gets nothing and says so.
    void ApplyRegisters(const TRegisterValues& registers);
    // Throws, with the message the user sees, when a command line cannot go out now: the device is
    // lost, or a line typed in the terminal is not finished (the drive would take the command for
    // the rest of that line).
    void RequireDriveFree() const;
    // The bank store and load; nothing is sent when no bank (0..3) is chosen.
    void StoreBank(int bank);
    void LoadBank(int bank);

    struct TStepOutcome {
        const TTestRecord& Test;
        // The measurement time asked for was longer than the drive records; "250" stands for it.
        bool TimeCapped;
    };
    // One step test, with the read-back first when asked, so the record's settings are exact. The
    // test joins the history, shown on the plot.
    TStepOutcome RunStepTest(const QString& amplitudeText, const QString& timeText, bool readSettingsFirst);
    // The same within an exchange the caller holds.
    TStepOutcome RunStepTest(TExchange& exchange, const QString& amplitudeText, const QString& timeText,
                             bool readSettingsFirst);

    // The diagnostics and the manual moves: each writes its line and reads no reply.
    void SetMode(int mode);
    void SetSetPoint(std::int32_t value);
    void Identify();
    void ShowPosition();
    void RapidMove(const QString& targetText);
    void FeedMove(const QString& targetText, const QString& speedText);
    // A run of tests (a tuning run) has the drive: what else would talk to it waits until it ends.
    bool Busy() const { return FBusy; }
    void SetBusy(bool busy);
    // The device is about to close: what is under way ends while its bytes can still reach the drive.
    void Close() { emit Closing(); }
    // A key typed in the terminal; a line typed there may change any register, and while one is
    // unfinished the drive holds its characters for the next line sent.
    void SendTyped(std::uint8_t byte);
    bool LinePending() const { return FTypedLength > 0; }

    // The history, oldest first.
    const std::vector<TTestRecord>& Tests() const { return FTests; }
    const TTestRecord* Test(int number) const;
    void SetShown(int number, bool shown);
    void ShowOnly(const std::vector<int>& numbers);
    void HideAll();
    void Remove(const std::vector<int>& numbers);
    // Tests read from a session file join the history. They keep their numbers in an empty history,
    // and are numbered on after the last test otherwise.
    void AddTests(std::vector<TTestRecord> tests);

signals:
    void MotorDataChanged();
    void SettingTextsChanged();
    void KnownSettingsChanged();
    void BusyChanged(bool busy);
    // A restore that waited for the device is written.
    void RestoreWritten();
    // Tests were added or removed.
    void HistoryChanged();
    // Tests were ticked or unticked for the plot.
    void ShownChanged();
    void Closing();

private:
    void Send(const QByteArray& line);
    // Sends a line of a write; false when the device is lost, or the line was what found it lost.
    bool SendWritten(const QByteArray& line);
    void Publish(TKnownSettings known);
    TTestRecord* Find(int number);

    QPointer<TDeviceSlot> FSlot;
    TMotorData FMotor;
    TSettingTexts FSettings;
    TSettingsSnapshot FKnown;
    std::vector<TTestRecord> FTests;
    int FNextNumber = 1;
    // Register values waiting for a lost device to come back.
    std::optional<TRegisterValues> FPendingRegisters;
    // Characters of the terminal line being typed that the drive holds: its line editing drops one
    // at each Backspace, and Enter sends them.
    int FTypedLength = 0;
    bool FBusy = false;
};
