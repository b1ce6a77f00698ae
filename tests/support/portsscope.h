#pragma once

#include "device/port.h"
#include "device/simport.h"

#include <QByteArray>

// While this lives the device indices reach ports (by default the simulated drives, fresh and on
// the steady clock); afterwards every port is closed and the variable is as it was.
class TPortsScope {
public:
    explicit TPortsScope(const QByteArray& ports = "sim") {
        qputenv("ZQLINK_PORTS", ports);
        ResetSimClock();
        ResetSimulatedDrives();
    }
    ~TPortsScope() {
        CloseAllPorts();
        ResetSimulatedDrives();
        FWasSet ? void(qputenv("ZQLINK_PORTS", FSaved)) : void(qunsetenv("ZQLINK_PORTS"));
    }
    TPortsScope(const TPortsScope&) = delete;
    TPortsScope& operator=(const TPortsScope&) = delete;

private:
    bool FWasSet = qEnvironmentVariableIsSet("ZQLINK_PORTS");
    QByteArray FSaved = qgetenv("ZQLINK_PORTS");
};
