#include "ui/report/report.h"

#include "common/numtext.h"
#include "common/savefile.h"
#include "drive/figuretexts.h"
#include "link/deviceslot.h"
#include "plot/tuningmap.h"
#include "plot/vectorcanvas.h"
#include "ui/report/reportflow.h"
#include "ui/report/reportsections.h"

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

} // namespace

TReport DeviceReport(const TDriveModel& model, const std::vector<const TTestRecord*>& tests) {
    TReport report;
    report.MadeAt = QDateTime::currentDateTime();
    Describe(report, model.SessionDrive());
    report.Lost = model.Slot() && model.Slot()->IsLost();
    for (const TTestRecord* test : tests)
        report.Tests.push_back(*test);
    return report;
}

TReport SessionReport(const TSession& session, const QString& path) {
    TReport report;
    report.MadeAt = QDateTime::currentDateTime();
    report.SessionFile = QFileInfo(path).fileName();
    if (session.Drive) {
        Describe(report, *session.Drive);
        report.SavedAt = session.SavedAt;
    } else {
        report.Motor = DefaultMotorData();
        report.MotorKnown = false;
    }
    for (const TSessionTest& test : session.Tests)
        if (test.Shown)
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
