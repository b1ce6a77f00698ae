#include "device/port.h"

std::unique_ptr<TPort> OpenSimulatedPort(std::int32_t, ZQ_STATUS& status) {
    status = ZQ_DEVICE_NOT_OPENED;
    return nullptr;
}
