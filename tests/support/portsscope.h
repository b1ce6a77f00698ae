#pragma once

#include "simport/simulatedports.h"

#include <QByteArray>
#include <QString>

// The simulated drives of one test, fresh and on the steady clock unless given another, and the
// ports through which every device index opens the port named here: a simulated drive ("sim",
// "sim:latency=16") or a serial port's path.
class TPortsScope {
public:
    explicit TPortsScope(const QByteArray& portName = "sim",
                         std::shared_ptr<TSimClock> clock = SteadySimClock())
        : FSimulated(std::move(clock)), FPortName(QString::fromLocal8Bit(portName)) {}

    TPortFactory Ports() const {
        return TPortFactory(MachinePorts({FSimulated.Kind()}),
                            [name = FPortName](std::int32_t) { return name; });
    }
    TDriveSim& Drive(std::int32_t deviceIndex) { return FSimulated.Drive(deviceIndex); }

private:
    TSimulatedPorts FSimulated;
    QString FPortName;
};
