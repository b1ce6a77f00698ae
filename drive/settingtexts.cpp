#include "drive/settingtexts.h"

const std::array<TSettingTexts, SettingCount> SettingTextTable = {{
    {"KV", "[    ]     Wzmocnienie sprzężenia zwrotnego prędkosci."},
    {"KP", "[    ]     Wzmocnienie składnika P (Proporcjonalnego)"},
    {"KD", "[    ]     Wzmocnienie składnika D (Różniczkującego)"},
    {"KI", "[    ]     Wzmocnienie składnika I (Całkującego)"},
    {"KG", "[    ]     Wzmocnienie kompensacji SEM silnika."},
    {"Limit V", "[1/min]     Ograniczenie prędkosci reakcji regulatora."},
    {"Limit M", "[ %  ]     Ograniczenie prądu i momentu silnika (PWM)"},
    {"Vj", "[1/min]          Prędkosc ruchu jałowego G0 (diagnostyka)."},
    {"aj", "[1/(min*s) ]    Przyspieszenie / hamowanie ruchu jałowego G0 (diagnostyka)."},
}};

QString SettingLabel(TSettingRow row) {
    return QString::fromUtf8(SettingTextTable[std::size_t(row)].Label);
}
