#include "drive/testrecord.h"

#include "common/numtext.h"

#include <utility>

QString TTestRecord::SettingText(TSettingRow row) const {
    return Settings->IsKnown(row) ? Settings->Texts[std::size_t(row)] : QStringLiteral("?");
}

TTestRecord MakeTestRecord(int number, const QDateTime& ranAt, TStepRecord step, TSettingsSnapshot settings) {
    TTestRecord test;
    test.Number = number;
    test.RanAt = ranAt;
    test.Figures = StepFigures(step);
    test.Step = std::move(step);
    test.Settings = std::move(settings);
    return test;
}

QString LegendText(const TTestRecord& test) {
    return QStringLiteral("%1: KP %2  KV %3  %4 %")
        .arg(test.Number)
        .arg(test.SettingText(KP), test.SettingText(KV), StepTexts(test.Figures).Overshoot);
}
