#pragma once

#include "common/numtext.h"
#include "drive/commandlines.h"

#include <QObject>
#include <QString>
#include <cstdint>

class TDriveLease;
class TDriveModel;
class TExchange;

constexpr int PositionMode = 3;
// A mode's name as the diagnostics page shows it.
QString ModeName(int mode);

// The diagnostics and the manual moves. A mode or a set-point counts once the drive confirmed it by its
// echo and "OK" (a "?" or no "OK" leaves it unknown, and says so); the other lines are written and their
// answers show in the terminal. Each passes the model's guard first, and a line that cannot be built (a
// target that is not a whole number as the drive reads one, a speed that is no number) sends nothing.
class TMotion : public QObject {
    Q_OBJECT

public:
    explicit TMotion(TDriveModel& model);

    // A new mode starts from the set-point 0: "S 0" goes first unless the drive is known to hold it.
    void SetMode(int mode);
    void SetSetPoint(std::int32_t value);
    void Identify();
    void ShowPosition();
    void RapidMove(const QString& targetText);
    // The target goes out as typed; the speed [1/min] converts with the encoder's pulses.
    void FeedMove(const QString& targetText, const TFigure& speed);

private:
    void Send(const QByteArray& line);
    void Send(const TDriveLease& lease, const QByteArray& line);
    // Writes a mode or set-point line and reads its confirmation; what fails names `what` unknown.
    void Confirm(TExchange& exchange, const QByteArray& line, const QString& what);

    TDriveModel& FModel;
};
