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
#include <QPdfWriter>

TReport DeviceReport(const TDriveModel& model, const std::vector<const TTestRecord*>& tests) {
    TReport report;
    report.MadeAt = QDateTime::currentDateTime();
    if (const TDeviceSlot* slot = model.Slot()) {
        report.Device = slot->Name();
        report.Port = slot->PortName();
        report.Lost = slot->IsLost();
    }
    report.Identification = model.Identification();
    report.Motor = model.MotorData();
    report.Known = *model.Parameters().Known();
    for (const TTestRecord* test : tests)
        report.Tests.push_back(*test);
    report.Run = model.LastRun();
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
