#pragma once

#include "drive/drivemodel.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// A commissioning report: which drive, which motor data, which settings went in, which tests showed
// what, and how the gains were found. All of it is what Kelmor knows; what it does not know is said.
struct TReport {
    QDateTime MadeAt;
    QString Device; // "DEV0"
    QString Port;   // empty when not known
    bool Lost = false;
    // When the report is made from a session file: its name and when it was saved.
    QString SessionFile;
    QDateTime SavedAt;
    QString Identification; // the drive's answer to "i"; empty when none came
    QString Note;           // the engineer's
    TMotorData Motor;
    // A session file of an older Kelmor keeps no motor data: the defaults convert its settings.
    bool MotorKnown = true;
    TKnownSettings Known;
    std::optional<int> Bank; // the bank the engineer notes the settings are stored in
    std::vector<TTestRecord> Tests;
    std::optional<TTuningRecord> Run;
};

// What the engineer asks of a report: where to write it, a note for its head, the bank to note and
// which tests it covers.
struct TReportChoice {
    QString Path;
    QString Note;
    std::optional<int> Bank;
    enum TTests { Ticked, All, None } Tests = Ticked;
};

// The report of a device as it stands, as asked: the tests chosen of its history (ticked says whether
// the history ticks a test, by its number), the settings known, the last tuning run.
TReport DeviceReport(const TDriveModel& model, const std::function<bool(int number)>& ticked,
                     const TReportChoice& choice);

// The report of a session file, as asked: what it keeps of the device, and the tests chosen (ticked:
// those its plot showed).
TReport SessionReport(const TSession& session, const QString& path, const TReportChoice& choice);

// The report as the bytes of a PDF of A4 pages, and how many pages it has.
QByteArray ReportPdf(const TReport& report, int* pages = nullptr);
// Writes it; the file is replaced only once all of it is written. EKelmorError says why it could not.
void WriteReport(const QString& path, const TReport& report);
