#pragma once

// The serial backend on Linux: a terminal device of the operating system, opened, configured and
// used with the kernel's own calls (see serialport.cpp).

#include "device/port.h"

#include <QByteArray>
#include <asm/termbits.h>

class TSerialPort final : public TPort {
public:
    TSerialPort(int descriptor, const termios2& original) : FFd(descriptor), FOriginal(original) {}
    ~TSerialPort() override;
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    ZQ_STATUS ResetDevice() override;
    ZQ_STATUS SetBaudRate(std::uint32_t baudRate) override;
    ZQ_STATUS SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override;
    ZQ_STATUS SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) override;
    ZQ_STATUS SetChars(std::uint8_t eventChar, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                       std::uint8_t errorCharEnabled) override;
    ZQ_STATUS SetEventNotification(std::uint32_t mask, void* notification) override;
    ZQ_STATUS SetDtr(bool raised) override;
    ZQ_STATUS SetRts(bool raised) override;
    ZQ_STATUS SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) override;
    ZQ_STATUS Purge(std::uint32_t mask) override;
    ZQ_STATUS GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) override;
    ZQ_STATUS GetModemStatus(std::uint32_t* modemStatus) override;
    ZQ_STATUS Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) override;
    ZQ_STATUS Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) override;

private:
    bool Alive();
    void GoneAway();
    ZQ_STATUS Failed(ZQ_STATUS refused);
    template <typename Change> ZQ_STATUS Configure(Change change, ZQ_STATUS refused);
    ZQ_STATUS SetModemLine(int line, bool raised);
    void TakeIn();

    int FFd;
    termios2 FOriginal;
    QByteArray FHeld; // received, taken from the system, not yet read
    std::uint32_t FReadTimeout = 0;
    std::uint32_t FWriteTimeout = 0;
    bool FGone = false;
};
