#pragma once

#include "device/simport.h"

#include <QByteArray>

// While this lives the device indices reach ports (by default the simulated drives, fresh and on
// the steady clock); afterwards the variable is as it was. The ports opened meanwhile must be closed
// by then, by whoever opened them.
class TPortsScope {
public:
    explicit TPortsScope(const QByteArray& ports = "sim") {
        qputenv("ZQLINK_PORTS", ports);
        ResetSimClock();
        ResetSimulatedDrives();
    }
    ~TPortsScope() {
        ResetSimulatedDrives();
        FWasSet ? void(qputenv("ZQLINK_PORTS", FSaved)) : void(qunsetenv("ZQLINK_PORTS"));
    }
    TPortsScope(const TPortsScope&) = delete;
    TPortsScope& operator=(const TPortsScope&) = delete;

private:
    bool FWasSet = qEnvironmentVariableIsSet("ZQLINK_PORTS");
    QByteArray FSaved = qgetenv("ZQLINK_PORTS");
};
