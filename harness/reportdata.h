#pragma once

// A report's worth of data without a drive: step tests that ring down as a damped loop does, each
// with a KP of its own, and a search.

#include "harness/tuningrecord.h"
#include "report/report.h"

#include <cmath>

inline TTestRecord RingingTest(int number, double damping) {
    TStepRecord step{200, 100000, 500, {}};
    for (int i = 0; i < step.SampleCount; ++i) {
        const double t = i * 0.01;
        const double y = 1 - std::exp(-damping * t) * std::cos(3 * t);
        step.Samples.push_back(std::uint32_t(100000 + std::lround(200 * y)));
    }
    TKnownSettings settings;
    for (std::size_t r = 0; r < settings.Registers.size(); ++r)
        settings.Registers[r] = std::int32_t(100 + 10 * r);
    settings.Registers[std::size_t(RegisterTable[KP].Register)] = 256 + 16 * number;
    return MakeTestRecord(number, QDateTime(QDate(2026, 12, 8), QTime(10, 0).addSecs(number)),
                          std::move(step), std::make_shared<const TKnownSettings>(settings));
}

inline TReport SyntheticReport(int tests, int rounds) {
    TReport report;
    report.MadeAt = QDateTime(QDate(2026, 12, 8), QTime(12, 30));
    report.Device = QStringLiteral("DEV1");
    report.Port = QStringLiteral("/dev/ttyUSB0");
    report.Motor = DefaultMotorData();
    for (int n = 1; n <= tests; ++n)
        report.Tests.push_back(RingingTest(n, 0.8 + 0.1 * n));
    if (rounds > 0)
        report.Run = SyntheticRun(rounds, report.MadeAt);
    return report;
}
