#pragma once

// One open device behind the device library. Each backend (a real serial port, a kind of port
// plugged in from above such as the simulated drive, the tests' fake) implements this; the
// library's table maps handles to TPort objects, and nothing above the library ever sees a backend
// type. Qt is only named here, in the serial opener's signature, so that a backend's core builds
// without it (the Win32 one is checked on its own).

#include "device/zqlink.h"

#include <cstdint>
#include <memory>
#include <string>

class QString;

class TPort {
public:
    virtual ~TPort() = default;

    virtual ZQ_STATUS ResetDevice() = 0;
    virtual ZQ_STATUS SetBaudRate(std::uint32_t baudRate) = 0;
    virtual ZQ_STATUS SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                             std::uint8_t parity) = 0;
    virtual ZQ_STATUS SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) = 0;
    virtual ZQ_STATUS SetChars(std::uint8_t eventChar, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                               std::uint8_t errorCharEnabled) = 0;
    virtual ZQ_STATUS SetEventNotification(std::uint32_t mask, void* notification) = 0;
    virtual ZQ_STATUS SetDtr(bool raised) = 0;
    virtual ZQ_STATUS SetRts(bool raised) = 0;
    virtual ZQ_STATUS SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) = 0;
    virtual ZQ_STATUS Purge(std::uint32_t mask) = 0;
    virtual ZQ_STATUS GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                std::uint32_t* eventStatus) = 0;
    virtual ZQ_STATUS GetModemStatus(std::uint32_t* modemStatus) = 0;
    virtual ZQ_STATUS Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) = 0;
    virtual ZQ_STATUS Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) = 0;
};

// Why a port did not open: the status that ZQ_Open returns and, when the operating system refused,
// its error as an errno value (the Win32 backend translates its own), from which OpenFailureText
// words the cause; 0 when it gave none.
struct TOpenFailure {
    ZQ_STATUS Status = ZQ_OK;
    int SystemError = 0;
    // What is wrong with the port's name, when the backend can say it better than a system error.
    std::string Detail;
};

// The backend behind the machine's ports that no kind plugged in owns (MachinePorts).
std::unique_ptr<TPort> OpenSerialPort(const QString& portName, TOpenFailure& failure);
