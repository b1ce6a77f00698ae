#include "device/port.h"

std::unique_ptr<TPort> OpenSerialPort(const QString&, ZQ_STATUS& status) {
    status = ZQ_DEVICE_NOT_OPENED;
    return nullptr;
}
