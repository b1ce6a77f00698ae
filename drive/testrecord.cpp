#include "drive/testrecord.h"

#include "common/numtext.h"

#include <utility>

TKnownSettings TKnownSettings::All(const TRegisterValues& registers) {
    TKnownSettings known;
    for (std::size_t n = 0; n < registers.size(); ++n)
        known.Registers[n] = registers[n];
    return known;
}

QString SettingText(const TKnownSettings& settings, TSettingRow row, const TMotorData& motor) {
    const std::optional<std::int32_t> value = settings.Register(row);
    if (!value)
        return QStringLiteral("?");
    try {
        const std::optional<std::int32_t> kv = settings.Register(KV);
        // As the read-back shows it: Limit V with KV as shown.
        const TFigure kvShown =
            kv ? TFigure::Of(ShownValue(RegisterTable[KV].ToShown(*kv, motor, {}))) : TFigure();
        return FloatToText(RegisterTable[std::size_t(row)].ToShown(*value, motor, kvShown));
    } catch (const EKelmorError&) {
        return QStringLiteral("?");
    }
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
    const TMotorData none{};
    return QStringLiteral("%1: KP %2  KV %3  %4 %")
        .arg(test.Number)
        .arg(SettingText(*test.Settings, KP, none), SettingText(*test.Settings, KV, none),
             StepTexts(test.Figures).Overshoot);
}
