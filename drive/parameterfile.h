#pragma once

// Parameter files keep one set of settings per motor: the nine settings of the page "Nastawy
// Regulatora" and the six figures of the motor data tab, each in the text it was given as.
//
// Format (UTF-8 text, lines ended by LF; a CR before the LF is accepted):
//
//     Kelmor parameters 1
//     KV = 4.0
//     KP = 3.0
//     KD = 0
//     KI = 0.4
//     KG = 0.3
//     LimitV = 3200
//     LimitM = 75
//     Vj = 3000
//     aj = 3000
//     RatedVoltage = 12
//     WindingResistance = 6
//     RatedSpeed = 4000
//     RatedCurrent = 0.5
//     SupplyVoltage = 12
//     EncoderPulses = 500
//
// The first line names the format and its version. Each further line is a key, " = " and the field's
// text as shown (spaces included) with its decimal separator written as a point, whatever the locale:
// the key is what stands before the first '=', blanks around it ignored, and the value all after that
// '=' less one space. Loading reads a point or a comma (files saved before with the locale's comma) and
// gives the texts the running locale's separator. The keys
// may come in any order and each of the fifteen must come once. Empty lines and lines starting with
// '#' are ignored. Texts hold no control characters (line breaks, tabs). A file larger than 64 KiB,
// or one that breaks any of these rules, loads nothing.

#include "drive/registertable.h"

#include <QByteArray>
#include <QString>

struct TParameterSet {
    TSettingNumbers Settings;
    TMotorData Motor;
};

// Writes the file atomically: an existing file is replaced only once the new one is complete.
// Throws EKelmorError when it cannot be written, or when a text holds a line break or another
// control character, which the format cannot keep; nothing is written then.
void SaveParameterFile(const QString& path, const TParameterSet& parameters);

// Reads a whole file or nothing: throws EKelmorError when it cannot be read, is not a parameter file
// or is damaged.
TParameterSet LoadParameterFile(const QString& path);

// The set in a file's content, as LoadParameterFile reads it; path only names the file in messages.
TParameterSet ParseParameters(const QByteArray& content, const QString& path);
