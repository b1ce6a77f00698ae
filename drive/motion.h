#pragma once

#include "common/numtext.h"

#include <QObject>
#include <QString>
#include <cstdint>

class TDriveModel;

// The diagnostics and the manual moves: each writes its line and reads no reply; the drive's answers
// show in the terminal. Each passes the model's guard first, and a line that cannot be built (a
// target out of the drive's code page, a speed that is no number) sends nothing.
class TMotion : public QObject {
    Q_OBJECT

public:
    explicit TMotion(TDriveModel& model);

    void SetMode(int mode);
    void SetSetPoint(std::int32_t value);
    void Identify();
    void ShowPosition();
    void RapidMove(const QString& targetText);
    // The target goes out as typed; the speed [1/min] converts with the encoder's pulses.
    void FeedMove(const QString& targetText, const TTypedNumber& speed);

private:
    void Send(const QByteArray& line);

    TDriveModel& FModel;
};
