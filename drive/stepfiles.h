#pragma once

#include "drive/testrecord.h"
#include "drive/tuning.h"

#include <QString>
#include <functional>
#include <span>
#include <vector>

// The files of step tests.
//
// One test as comma-separated values ("Zapisz dane…" of the plot): a header line naming the columns
// and stating the amplitude, the start position and the number of samples that came, then one line
// per sample that came, at its own time:
//
//     time_ms,position,relative,commanded,amplitude=200,start=100000,samples=500
//     0.0,100000,0,100200
//
// Chosen tests of the history as comma-separated values: a header naming the columns, then one line
// per sample that arrived, test by test:
//
//     test,time_ms,position,relative,commanded
//     3,0.0,100000,0,100200
//
// time_ms is the sample's time from the step, position the drive's absolute position, relative the
// position less the start position, commanded the start position plus the amplitude.
//
// The session file holds the whole history as JSON (UTF-8):
//
//     {"format": "Kelmor session", "version": 2, "tests": [
//       {"number": 1, "ranAt": "2026-12-08T10:15:30.123+01:00", "amplitude": 200,
//        "startPosition": 100000, "samplesAsked": 500, "shown": true,
//        "samples": [100000, 100003, null, …],
//        "settings": {"at": "2026-12-08T10:14:02.000+01:00", "KV": "4.00", "KP": "3.00", "KD": null, …,
//                     "registers": {"KV": 1024, "KP": 768, "KD": null, …}}},
//       …]}
//
// samples holds the absolute positions at 0.5 ms apart from the step, null for one whose record did
// not arrive whole; settings the register values known when the test ran, by the keys of parameter
// files, null where not known, beside them their texts as the settings page showed them with the
// motor data of the save (a decimal point whatever the locale), and "at" when they were written or
// read (null if never). Version 1 files, which kept only the texts, are read too: their texts are
// converted with the standard motor data. The figures are not stored: they follow from the samples.

// The writers replace the file only once all of it is written; EKelmorError says why they could not.
void WriteStepCsv(const QString& path, const TStepRecord& record);
void WriteTestsCsv(const QString& path, std::span<const TTestRecord* const> tests);
// shown says whether the plot shows a test, by its number; motor converts the settings' texts.
void SaveSessionFile(const QString& path, std::span<const TTestRecord> tests,
                     const std::function<bool(int number)>& shown, const TMotorData& motor);

// What a session file keeps of the device beside its tests, so that a report can be made from the
// file later, without the drive: under "drive", its name, port and identification, the motor data
// (texts with a decimal point), the settings known as each test's are kept, and the last tuning run;
// beside it "savedAt". Files without it are read as before.
struct TSessionDrive {
    QString Device;
    QString Port;
    QString Identification;
    TMotorData Motor;
    TKnownSettings Known;
    std::optional<TTuningRecord> Run;
};
void SaveSessionFile(const QString& path, std::span<const TTestRecord> tests,
                     const std::function<bool(int number)>& shown, const TSessionDrive& drive);

// A test of a session file, and whether the plot showed it.
struct TSessionTest {
    TTestRecord Test;
    bool Shown = true;
};

// The tests of a session file, whole or not at all: EKelmorError says why a file cannot be read, is
// not a session file, or is damaged.
std::vector<TSessionTest> LoadSessionFile(const QString& path);
std::vector<TSessionTest> ParseSession(const QByteArray& content, const QString& path);

// The whole of a session file: its tests and, when it keeps them, the device's and when it was saved.
struct TSession {
    std::vector<TSessionTest> Tests;
    std::optional<TSessionDrive> Drive;
    QDateTime SavedAt;
};
TSession LoadWholeSession(const QString& path);
TSession ParseWholeSession(const QByteArray& content, const QString& path);
