#pragma once

#include "report/report.h"

class TReportFlow;

// A time as the report writes it.
QString ReportTime(const QDateTime& at);

// The report's sections, in the order it has them.
void ReportHead(TReportFlow& flow, const TReport& report);
void ReportMotor(TReportFlow& flow, const TReport& report);
void ReportSettings(TReportFlow& flow, const TReport& report);
void ReportTests(TReportFlow& flow, const TReport& report);
void ReportRun(TReportFlow& flow, const TReport& report);
