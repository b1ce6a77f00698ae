#include "drive/figuretexts.h"

#include "common/numtext.h"

namespace {

QString TimeText(const std::optional<double>& ms) {
    return ms ? FloatToText(*ms) : QStringLiteral("-");
}

} // namespace

TStepTexts StepTexts(const TStepFigures& figures) {
    // Without a sample there is nothing to judge; -100 % and 0 would read as a result.
    if (figures.Received == 0)
        return {QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("-")};
    return {FloatToText(figures.Overshoot), FloatToText(static_cast<long double>(figures.Integral)),
            TimeText(figures.RiseTimeMs), TimeText(figures.SettlingTimeMs)};
}
