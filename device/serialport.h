#pragma once

// The serial backend on Linux: a terminal device of the operating system, opened, configured and
// used with the kernel's own calls (see serialport.cpp).

#include "device/serialbase.h"

#include <asm/termbits.h>

class TSerialPort final : public TSerialBase {
public:
    TSerialPort(int descriptor, const termios2& original) : FFd(descriptor), FOriginal(original) {}
    ~TSerialPort() override;

    ZQ_STATUS SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override;

private:
    bool Present() override;
    void Close() override;
    ZQ_STATUS Failed(ZQ_STATUS refused) override;
    bool Discard(bool rx, bool tx) override;
    ZQ_STATUS ConfigureReset() override;
    ZQ_STATUS ConfigureRate(std::uint32_t rate) override;
    ZQ_STATUS ConfigureFlow(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff,
                            ZQ_STATUS refused) override;
    ZQ_STATUS ConfigureErrorChar(std::uint8_t errorChar, bool enabled) override;
    ZQ_STATUS DriveLine(TModemLine line, bool raised) override;
    ZQ_STATUS ReadInputLines(TInputLines& lines) override;
    bool Queued(std::uint32_t& received, std::uint32_t& sending) override;
    std::size_t TakeNow(char* into, std::size_t room) override;
    ZQ_STATUS Receive(char* into, std::uint32_t count, std::uint32_t* done, std::uint32_t timeoutMs) override;
    ZQ_STATUS Send(const char* from, std::uint32_t count, std::uint32_t* done,
                   std::uint32_t timeoutMs) override;

    template <typename Change> ZQ_STATUS Configure(Change change, ZQ_STATUS refused);
    template <typename Move>
    ZQ_STATUS Transfer(short events, std::uint32_t count, std::uint32_t* done, std::uint32_t timeoutMs,
                       Move move);

    int FFd;
    termios2 FOriginal;
};
