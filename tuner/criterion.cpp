#include "tuner/criterion.h"

#include <algorithm>

TRoundVerdict Verdict(bool allSamples, bool settled, double overshoot, const TTuningCriterion& criterion) {
    if (!allSamples)
        return TRoundVerdict::SamplesMissing;
    if (!settled)
        return TRoundVerdict::NotSettled;
    if (overshoot > criterion.OvershootLimit)
        return TRoundVerdict::Overshoot;
    return TRoundVerdict::Eligible;
}

double BackedOff(double gain, const TTuningCriterion& criterion, double lowest, double highest) {
    return std::clamp(gain * (1 - criterion.BackOffPercent / 100), std::min(lowest, highest),
                      std::max(lowest, highest));
}
