#pragma once

#include "drive/stepfigures.h"

#include <QString>

// The texts shown for the figures: fixed-point with two decimals and the locale's separator; "-" for
// a time that is absent, and for every figure when no sample came.
struct TStepTexts {
    QString Overshoot;
    QString Integral;
    QString RiseTime;
    QString SettlingTime;
};

TStepTexts StepTexts(const TStepFigures& figures);
