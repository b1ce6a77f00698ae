#include "device/port.h"
#include "device/win32serial.h"

#include <QString>

// The serial backend on Windows takes the port names that Windows users know ("COM3").
std::unique_ptr<TPort> OpenSerialPort(const QString& portName, TOpenFailure& failure) {
    return OpenWin32Serial(portName.toStdWString(), failure);
}
