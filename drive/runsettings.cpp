#include "drive/runsettings.h"

#include "common/errors.h"
#include "common/numtext.h"
#include "drive/steptest.h"

TRunSettings::TRunSettings(const TTuningPlan& plan, const TMotorData& motor, const TRegisterValues& original)
    : FPlan(plan), FMotor(motor), FOriginal(original) {}

void TRunSettings::CheckPlan(const TTuningPlan& plan) {
    ParseStepEntries(plan.Amplitude, plan.Time);
    if (plan.Criterion.BackOffPercent < 0 || plan.Criterion.BackOffPercent > 30)
        throw EKelmorError(QStringLiteral("The back-off must lie between 0 and 30 %"));
    if (!(plan.Criterion.OvershootLimit >= 0))
        throw EKelmorError(QStringLiteral("The overshoot limit must not be below 0 %"));
    if (!plan.Search) {
        SweepValues(plan.From, plan.To, plan.Steps, plan.Geometric);
        return;
    }
    if (plan.Rows[0] == plan.Rows[1])
        throw EKelmorError(QStringLiteral("The search needs two different settings"));
    const int least = plan.Criterion.BackOffPercent > 0 ? 3 : 2;
    if (plan.MaxTests < least || plan.MaxTests > MaxSearchTests)
        throw EKelmorError(QStringLiteral("A search takes %1 to %2 tests").arg(least).arg(MaxSearchTests));
    for (std::size_t i = 0; i < 2; ++i)
        if (!(plan.Lowest[i] > 0 && plan.Lowest[i] <= plan.Highest[i]))
            throw EKelmorError(QStringLiteral("The search's bounds must lie above zero, the lower first"));
    if (plan.KiFloor && !(*plan.KiFloor >= 0))
        throw EKelmorError(QStringLiteral("KI's floor must not lie below 0"));
}

bool TRunSettings::Varied(TSettingRow row) const {
    return FPlan.Rows[0] == row || (FPlan.Search && FPlan.Rows[1] == row);
}

TFigure TRunSettings::ExactFigure(TSettingRow row) const {
    // A Limit V goes with the KV it was set for.
    const TFigure kv = row == LimitV ? ExactFigure(KV) : TFigure();
    const TRegisterRow& table = RegisterTable[std::size_t(row)];
    return TFigure::Of(table.ToShown(FOriginal[std::size_t(table.Register)], FMotor, kv));
}

double TRunSettings::DriveFigure(TSettingRow row) const {
    return double(ExactFigure(row).Decimal());
}

double TRunSettings::Figure(TSettingRow row, const std::array<double, 2>& gains) const {
    if (Varied(row))
        return gains[FPlan.Rows[0] == row ? 0 : 1];
    return DriveFigure(row);
}

TRegisterValues TRunSettings::Registers(const std::array<double, 2>& gains, std::optional<double> kp,
                                        std::optional<double> ki) const {
    const auto gain = [](double value) { return TFigure::Of(WrittenGain(value)); };
    const TFigure kv = Varied(KV) ? gain(Figure(KV, gains)) : ExactFigure(KV);
    TRegisterValues registers = FOriginal;
    const auto convert = [&](TSettingRow row, const TFigure& figure) {
        const TRegisterRow& table = RegisterTable[std::size_t(row)];
        registers[std::size_t(table.Register)] = table.ToRegister(figure, FMotor, kv);
    };
    for (std::size_t i = 0; i < (FPlan.Search ? 2u : 1u); ++i)
        convert(FPlan.Rows[i], gain(gains[i]));
    if (kp)
        convert(KP, gain(*kp));
    if (ki)
        convert(KI, gain(*ki));
    if (Varied(KV) && !Varied(LimitV))
        convert(LimitV, ExactFigure(LimitV));
    return registers;
}

std::optional<double> TRunSettings::KiWritten(double ki) const {
    return SearchesKi(FPlan) ? std::optional(ki) : std::nullopt;
}

void TRunSettings::CheckValues() const {
    if (!FPlan.Search) {
        for (const double value : SweepValues(FPlan.From, FPlan.To, FPlan.Steps, FPlan.Geometric))
            Registers({value, 0});
        return;
    }
    // The conversions grow with the gains: the corners of the box bound every value the search writes.
    for (const double a : {FPlan.Lowest[0], FPlan.Highest[0]})
        for (const double b : {FPlan.Lowest[1], FPlan.Highest[1]})
            Registers({a, b}, std::nullopt, KiWritten(FPlan.KiFloor.value_or(0)));
    const double startKi = DriveFigure(KI);
    if (SearchesKi(FPlan) && *FPlan.KiFloor > startKi)
        throw EKelmorError(
            QStringLiteral("KI's floor, %1, lies above the drive's KI, %2: nothing was written")
                .arg(GainText(*FPlan.KiFloor), GainText(startKi)));
    for (std::size_t i = 0; i < 2; ++i) {
        const double start = DriveFigure(FPlan.Rows[i]);
        if (!(FPlan.Lowest[i] <= start && start <= FPlan.Highest[i]))
            throw EKelmorError(
                QStringLiteral("The search would start from %1 %2, outside its bounds %3 … %4: "
                               "nothing was written")
                    .arg(QString::fromLatin1(RegisterTable[std::size_t(FPlan.Rows[i])].Key))
                    .arg(GainText(start), GainText(FPlan.Lowest[i]), GainText(FPlan.Highest[i])));
    }
}
