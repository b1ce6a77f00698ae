#include "simport/simulatedports.h"
#include "device/portmap.h"
#include "simport/simport.h"

#include <array>

namespace {

const QString KSimPortName = QStringLiteral("sim");

bool IsSimulatedPortName(const QString& portName) {
    return portName == KSimPortName || portName.startsWith(KSimPortName + QLatin1Char(':'));
}

} // namespace

struct TSimulatedPorts::TState {
    std::shared_ptr<TSimClock> Clock;
    std::array<std::shared_ptr<TDriveSim>, KDeviceCount> Drives;

    std::shared_ptr<TDriveSim>& At(std::int32_t deviceIndex) { return Drives.at(std::size_t(deviceIndex)); }

    std::unique_ptr<TPort> Open(std::int32_t deviceIndex, const QString& portName, TOpenFailure& failure) {
        if (deviceIndex < 0 || deviceIndex >= KDeviceCount) {
            failure.Status = ZQ_DEVICE_NOT_FOUND;
            return nullptr;
        }
        const TPlantParse plant = ParsePlantParameters(portName.mid(KSimPortName.size() + 1).toStdString());
        if (!plant.Plant) {
            failure.Status = ZQ_INVALID_PARAMETER;
            failure.Detail = plant.Error;
            return nullptr;
        }
        auto& drive = At(deviceIndex);
        if (!drive || drive->Plant() != *plant.Plant)
            drive = std::make_shared<TDriveSim>(*plant.Plant);
        return OpenSimPort(drive, Clock);
    }
};

TSimulatedPorts::TSimulatedPorts(std::shared_ptr<TSimClock> clock) : FState(std::make_shared<TState>()) {
    FState->Clock = std::move(clock);
}

TDriveSim& TSimulatedPorts::Drive(std::int32_t deviceIndex) {
    auto& drive = FState->At(deviceIndex);
    if (!drive)
        drive = std::make_shared<TDriveSim>();
    return *drive;
}

TPortKind TSimulatedPorts::Kind() const {
    TPortKind kind;
    kind.Owns = IsSimulatedPortName;
    // The parameters of a drive are separated by commas too.
    kind.Continues = [](const QString& portName, const QString& item) {
        return portName.startsWith(KSimPortName + QLatin1Char(':')) && item.contains(QLatin1Char('='));
    };
    kind.Open = [state = FState](std::int32_t deviceIndex, const QString& portName, TOpenFailure& failure) {
        return state->Open(deviceIndex, portName, failure);
    };
    kind.FreeIndexName = KSimPortName;
    return kind;
}
