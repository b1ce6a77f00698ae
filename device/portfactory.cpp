#include "device/portfactory.h"
#include "device/port.h"
#include "device/portmap.h"

#include <QString>

TPortFactory MachinePorts() {
    return [](std::int32_t deviceIndex, const QString& portName,
              TOpenFailure& failure) -> std::unique_ptr<TPort> {
        if (portName.isEmpty()) {
            failure.Status = ZQ_DEVICE_NOT_FOUND;
            return nullptr;
        }
        if (IsSimulatedPortName(portName))
            return OpenSimulatedPort(deviceIndex, SimulatedPlantText(portName).toStdString(), failure);
        return OpenSerialPort(portName, failure);
    };
}
