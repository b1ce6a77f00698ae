#pragma once

#include "drive/identification.h"
#include "drive/motion.h"
#include "drive/motordata.h"
#include "drive/parameters.h"
#include "drive/stepfiles.h"
#include "drive/steptests.h"
#include "drive/tuning.h"
#include "link/deviceslots.h"

#include <QObject>
#include <QPointer>
#include <array>
#include <cstdint>
#include <memory>

// The model of one device index that the pages of its window show and command: the motor data, the
// parameters, the step tests and the motion, each over the index's slot. It lives as long as the
// program, beside the slot, so that closing a device window and opening the device again finds the
// same history, settings and motor data. Every byte goes through the slot. Commands throw the errors
// of common/errors.h; what was done before an error stays done.
class TDriveModel : public QObject {
    Q_OBJECT

public:
    explicit TDriveModel(TDeviceSlot& slot, QObject* parent = nullptr);
    ~TDriveModel() override;

    // The slot this model commands; none once the slot table is gone.
    TDeviceSlot* Slot() const { return FSlot.data(); }

    const TMotorData& MotorData() const { return FMotor; }
    void SetMotorNumber(const TMotorField& field, const TFigure& number);
    void SetMotorData(const TMotorData& motor);

    TParameters& Parameters() { return FParameters; }
    const TParameters& Parameters() const { return FParameters; }
    TStepTests& Tests() { return FTests; }
    const TStepTests& Tests() const { return FTests; }
    TMotion& Motion() { return FMotion; }

    // A key typed in the terminal; false, with nothing sent, when the drive cannot take one now
    // (RawRefusal).
    bool SendTyped(std::uint8_t byte);
    bool LinePending() const { return FTypedLength > 0; }

    // The one guard of everything that talks to the drive: why a command line cannot go out now, or
    // empty. The device is closed or lost, a tuning run or a file send has the drive, or a line typed
    // in the terminal (or sent in a file) is not finished, so that the drive would take the command
    // for its rest.
    QString Refusal() const;
    // The same for bytes no command builds (keys, a file): they may finish a line.
    QString RawRefusal() const;
    // Lends the drive for a command (or for bytes no command builds): the lease every write and
    // exchange takes. Throws EKelmorError with the refusal; while the lease is held, every other
    // command is refused with heldText.
    TDriveLease Lease(TLeaseUse use = TLeaseUse::Command, const QString& heldText = {});

    // The drive's control mode (0..3, 3 position) as Kelmor last sent it, by a command, a typed line
    // or a file; none when not known, as after the device opened or came back, or after a mode line
    // Kelmor cannot read.
    std::optional<int> Mode() const { return FMode; }
    // The set-point the engineer last sent (the slider, a typed line or a file), read as the drive
    // would; none when not known.
    std::optional<std::int32_t> SetPoint() const { return FSetPoint; }
    // The drive may hold another value for "S" than 0, the set-point of a new mode: a set-point sent,
    // a step test's sample count, or none known.
    bool SetPointMayMove() const { return FSetPoint != 0 || FSamplesStored; }
    // A step test stored its sample count with "S".
    void SamplesStored() { FSamplesStored = true; }
    // The drive confirmed a set-point (or a mode, which starts from 0): it holds that value.
    void SetPointConfirmed(std::int32_t value);

    // Where the last step test's records left the motor, when they showed it at the test's target;
    // none once anything may have moved it or Kelmor cannot see what did: a manual move, a mode or a
    // set-point, a typed line, a file, a reconnect, a test that failed. A test starts from a reading
    // that agrees with it.
    std::optional<std::int32_t> Witness() const { return FWitness; }
    void Witnessed(std::optional<std::int32_t> position) { FWitness = position; }
    void ForgetWitness() { FWitness.reset(); }
    // Why a step test cannot run in the drive's mode: a mode other than position (or none known), or a
    // set-point other than 0, which the other modes would drive the motor with. The Refusal is apart.
    QString StepRefusal() const;
    // Throws EKelmorError with the StepRefusal.
    void RequireStepMode() const;

    // A tuning run or a file send has the drive: what else would talk to it waits until it ends. Read
    // from who holds the slot's lease (they hold it for their whole length), never kept beside it.
    bool Busy() const;
    // What every other command hears while a tuning run holds the drive.
    static QString RunHoldsText() {
        return QStringLiteral("A tuning run has the drive: wait for its end or stop it");
    }
    // The drive's answer to the identification line as it last came, typed or sent by the button;
    // empty when none came since the program started.
    const QString& Identification() const { return FIdentification.Text(); }
    // A command line, without its CR, went out: the identification waits for its answer. A mode or
    // set-point line leaves them unknown until the drive confirms it (ModeConfirmed, SetPointConfirmed),
    // and the motor unwitnessed.
    void CommandSent(const QByteArray& line);
    // The drive confirmed the mode line (0..3); it starts from the set-point 0.
    void ModeConfirmed(int mode);

    // The last tuning run that ended, kept for the report; a new one replaces it.
    const std::optional<TTuningRecord>& LastRun() const { return FLastRun; }
    void KeepRun(TTuningRecord run) { FLastRun = std::move(run); }
    // "Zastosuj" wrote the last run's result.
    void RunApplied() {
        if (FLastRun)
            FLastRun->Applied = true;
    }

    // What a session file keeps of the device beside its tests.
    TSessionDrive SessionDrive() const;

    // The device is about to close: what is under way ends while its bytes can still reach the drive.
    void Close();

signals:
    void MotorDataChanged();
    void BusyChanged(bool busy);
    void Closing();
    // What Kelmor knows of the drive's mode changed.
    void ModeChanged();

private:
    // What the slot asks before it lends the drive, beyond its own refusals.
    QString LeaseRule(TLeaseUse use) const;
    // Follows the drive's line editing through bytes no command built, and forgets what was known of
    // the settings once such a line starts: it may set any register, answer a prompt or load a bank.
    void TrackRaw(const QByteArray& bytes);
    // Mode and set-point as the drive reads a line; a line cut short (`whole` false) leaves them unknown.
    void TrackLine(const QByteArray& line, bool whole);
    void ForgetMode();

    QPointer<TDeviceSlot> FSlot;
    TMotorData FMotor;
    TParameters FParameters;
    TStepTests FTests;
    TMotion FMotion;
    // Characters of the line being typed (or sent) that the drive holds: its line editing drops one
    // at each Backspace, and Enter sends them.
    int FTypedLength = 0;
    // Its first KTypedLineKept characters, enough to tell the identification line.
    static constexpr qsizetype KTypedLineKept = 16;
    QByteArray FTypedLine;
    TIdentification FIdentification;
    bool FBusyShown = false; // what BusyChanged said last
    std::optional<TTuningRecord> FLastRun;
    std::optional<int> FMode;
    std::optional<std::int32_t> FSetPoint;
    bool FSamplesStored = false;
    std::optional<std::int32_t> FWitness;
};

// One model for each slot of the table, made with it and living as long.
class TDriveModels : public QObject {
    Q_OBJECT

public:
    explicit TDriveModels(TDeviceSlots& table, QObject* parent = nullptr);

    // The model of an index, or none outside 0..3.
    TDriveModel* At(std::int32_t index) const;

private:
    std::array<TDriveModel*, TDeviceSlots::KCount> FModels{};
};
