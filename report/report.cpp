#include "report/report.h"

#include "common/savefile.h"
#include "link/deviceslot.h"
#include "report/reportflow.h"
#include "report/reportsections.h"

#include <QBuffer>
#include <QFileInfo>
#include <QPdfWriter>

namespace {

void Describe(TReport& report, const TSessionDrive& drive) {
    report.Device = drive.Device;
    report.Port = drive.Port;
    report.Identification = drive.Identification;
    report.Motor = drive.Motor;
    report.Known = drive.Known;
    report.Run = drive.Run;
}

// A report made now, with what the engineer asked for in its head.
TReport Asked(const TReportChoice& choice) {
    TReport report;
    report.MadeAt = QDateTime::currentDateTime();
    report.Note = choice.Note;
    report.Bank = choice.Bank;
    return report;
}

bool Covers(const TReportChoice& choice, bool ticked) {
    return choice.Tests == TReportChoice::All || (choice.Tests == TReportChoice::Ticked && ticked);
}

} // namespace

TReport DeviceReport(const TDriveModel& model, const std::function<bool(int number)>& ticked,
                     const TReportChoice& choice) {
    TReport report = Asked(choice);
    Describe(report, model.SessionDrive());
    report.Lost = model.Slot() && model.Slot()->IsLost();
    for (const TTestRecord& test : model.Tests().All())
        if (Covers(choice, ticked(test.Number)))
            report.Tests.push_back(test);
    return report;
}

TReport SessionReport(const TSession& session, const QString& path, const TReportChoice& choice) {
    TReport report = Asked(choice);
    report.SessionFile = QFileInfo(path).fileName();
    if (session.Drive) {
        Describe(report, *session.Drive);
        report.SavedAt = session.SavedAt;
    } else {
        report.Motor = DefaultMotorData();
        report.MotorKnown = false;
    }
    for (const TSessionTest& test : session.Tests)
        if (Covers(choice, test.Shown))
            report.Tests.push_back(test.Test);
    return report;
}

QByteArray ReportPdf(const TReport& report, int* pages) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(QStringLiteral("Raport z uruchomienia napędu %1").arg(report.Device));
        writer.setCreator(QStringLiteral("Kelmor v." KELMOR_VERSION));
        TReportFlow flow(writer,
                         QStringLiteral("Kelmor v." KELMOR_VERSION " · raport %1 · %2")
                             .arg(report.Device, report.MadeAt.toString(QStringLiteral("dd.MM.yyyy HH:mm"))));
        ReportHead(flow, report);
        ReportMotor(flow, report);
        ReportSettings(flow, report);
        ReportTests(flow, report);
        ReportRun(flow, report);
        flow.End();
        if (pages)
            *pages = flow.Pages();
    }
    return buffer.data();
}

void WriteReport(const QString& path, const TReport& report) {
    WriteWholeFile(path, ReportPdf(report));
}
