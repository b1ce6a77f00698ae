#include "device/portfactory.h"
#include "device/openfailure.h"
#include "device/port.h"
#include "device/portmap.h"

#include <QString>

namespace {

TPortKinds& Plugged() {
    static TPortKinds kinds;
    return kinds;
}

const TPortKind* KindOf(const TPortKinds& kinds, const QString& portName) {
    for (const TPortKind& kind : kinds)
        if (kind.Owns && kind.Owns(portName))
            return &kind;
    return nullptr;
}

} // namespace

std::unique_ptr<TPort> TPortFactory::operator()(std::int32_t deviceIndex, const QString& portName,
                                                TOpenFailure& failure) const {
    return FOpen(deviceIndex, portName, failure);
}

QString TPortFactory::PortName(std::int32_t deviceIndex) const {
    return FNames ? FNames(deviceIndex) : DevicePortName(deviceIndex);
}

TPortFactory MachinePorts(TPortKinds kinds) {
    auto open = [kinds](std::int32_t deviceIndex, const QString& portName,
                        TOpenFailure& failure) -> std::unique_ptr<TPort> {
        if (portName.isEmpty()) {
            failure.Status = ZQ_DEVICE_NOT_FOUND;
            return nullptr;
        }
        if (const TPortKind* kind = KindOf(kinds, portName))
            return kind->Open(deviceIndex, portName, failure);
        // The system lets a privileged program open a port twice, and two devices on one port would
        // split its bytes between them.
        if (const std::int32_t holder = PortHolder(portName); holder >= 0) {
            failure.Status = ZQ_DEVICE_BUSY;
            failure.Detail = PortHeldDetail(holder);
            return nullptr;
        }
        return OpenSerialPort(portName, failure);
    };
    return TPortFactory(std::move(open),
                        [kinds](std::int32_t deviceIndex) { return DevicePortName(deviceIndex, kinds); });
}

TPortFactory MachinePorts() {
    return MachinePorts(Plugged());
}

void PlugInPortKinds(TPortKinds kinds) {
    Plugged() = std::move(kinds);
}

const TPortKinds& PluggedPortKinds() {
    return Plugged();
}
