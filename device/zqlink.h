#pragma once

// The device library: the operations through which the program reaches a USB-to-serial converter
// (or the simulated drive). Every operation returns a status, 0 meaning success; a device is
// addressed by the opaque handle that ZQ_Open returns.

#include <cstdint>

using ZQ_STATUS = std::uint32_t;
using ZQ_HANDLE = std::uint32_t;

// Statuses.
constexpr ZQ_STATUS ZQ_OK = 0;
constexpr ZQ_STATUS ZQ_INVALID_HANDLE = 1;
constexpr ZQ_STATUS ZQ_DEVICE_NOT_FOUND = 2;
constexpr ZQ_STATUS ZQ_DEVICE_NOT_OPENED = 3;
constexpr ZQ_STATUS ZQ_IO_ERROR = 4;
constexpr ZQ_STATUS ZQ_INVALID_PARAMETER = 6;
constexpr ZQ_STATUS ZQ_INVALID_BAUD_RATE = 7;
constexpr ZQ_STATUS ZQ_NOT_SUPPORTED = 17;
constexpr ZQ_STATUS ZQ_OTHER_ERROR = 18;
// ZQ_Open: the system refuses this user the port (OpenDevice's reason gives the remedy).
constexpr ZQ_STATUS ZQ_ACCESS_DENIED = 20;
// ZQ_Open: another program, or another device index of this one, has the port.
constexpr ZQ_STATUS ZQ_DEVICE_BUSY = 21;

// Data characteristics.
constexpr std::uint8_t ZQ_BITS_7 = 7;
constexpr std::uint8_t ZQ_BITS_8 = 8;
constexpr std::uint8_t ZQ_STOP_BITS_1 = 0;
constexpr std::uint8_t ZQ_STOP_BITS_2 = 2;
constexpr std::uint8_t ZQ_PARITY_NONE = 0;
constexpr std::uint8_t ZQ_PARITY_ODD = 1;
constexpr std::uint8_t ZQ_PARITY_EVEN = 2;
constexpr std::uint8_t ZQ_PARITY_MARK = 3;
constexpr std::uint8_t ZQ_PARITY_SPACE = 4;

// Flow control modes.
constexpr std::uint16_t ZQ_FLOW_NONE = 0x0000;
constexpr std::uint16_t ZQ_FLOW_RTS_CTS = 0x0100;
constexpr std::uint16_t ZQ_FLOW_DTR_DSR = 0x0200;
constexpr std::uint16_t ZQ_FLOW_XON_XOFF = 0x0400;

// Event notification mask.
constexpr std::uint32_t ZQ_EVENT_RXCHAR = 1;
constexpr std::uint32_t ZQ_EVENT_MODEM_STAT = 2;

// Purge mask.
constexpr std::uint32_t ZQ_PURGE_RX = 1;
constexpr std::uint32_t ZQ_PURGE_TX = 2;

// Line-status word.
constexpr std::uint32_t ZQ_MODEM_STATUS_CTS = 0x10;
constexpr std::uint32_t ZQ_MODEM_STATUS_DSR = 0x20;
constexpr std::uint32_t ZQ_MODEM_STATUS_RI = 0x40;
constexpr std::uint32_t ZQ_MODEM_STATUS_DCD = 0x80;

// Opens a device index on the port it maps to. ZQ_DEVICE_NOT_FOUND: the index has no port, or its
// port does not exist; ZQ_ACCESS_DENIED, ZQ_DEVICE_BUSY as above; ZQ_DEVICE_NOT_OPENED: the index
// is open already, or the port failed otherwise.
ZQ_STATUS ZQ_Open(std::int32_t deviceIndex, ZQ_HANDLE* handle);
// Opens a device index on the named port (a serial port's name or path, or the name of a kind of
// port the program plugged in, such as "sim", as ZQ_GetPortName gave it) rather than the one the
// index maps to now, so that a lost device is reopened on the very port it had. Statuses as ZQ_Open.
ZQ_STATUS ZQ_OpenByName(std::int32_t deviceIndex, const char* portName, ZQ_HANDLE* handle);
// The name of the port an open device is on, ended by a NUL; ZQ_INVALID_PARAMETER when size cannot
// hold it (the buffer then holds an empty name).
ZQ_STATUS ZQ_GetPortName(ZQ_HANDLE handle, char* buffer, std::uint32_t size);
ZQ_STATUS ZQ_Close(ZQ_HANDLE handle);
ZQ_STATUS ZQ_ResetDevice(ZQ_HANDLE handle);
ZQ_STATUS ZQ_SetBaudRate(ZQ_HANDLE handle, std::uint32_t baudRate);
ZQ_STATUS ZQ_SetDataCharacteristics(ZQ_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                    std::uint8_t parity);
ZQ_STATUS ZQ_SetFlowControl(ZQ_HANDLE handle, std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff);
ZQ_STATUS ZQ_SetChars(ZQ_HANDLE handle, std::uint8_t eventChar, std::uint8_t eventCharEnabled,
                      std::uint8_t errorChar, std::uint8_t errorCharEnabled);
ZQ_STATUS ZQ_SetEventNotification(ZQ_HANDLE handle, std::uint32_t mask, void* notification);
ZQ_STATUS ZQ_SetDtr(ZQ_HANDLE handle);
ZQ_STATUS ZQ_ClrDtr(ZQ_HANDLE handle);
ZQ_STATUS ZQ_SetRts(ZQ_HANDLE handle);
ZQ_STATUS ZQ_ClrRts(ZQ_HANDLE handle);
ZQ_STATUS ZQ_SetTimeouts(ZQ_HANDLE handle, std::uint32_t readTimeout, std::uint32_t writeTimeout);
ZQ_STATUS ZQ_Purge(ZQ_HANDLE handle, std::uint32_t mask);
ZQ_STATUS ZQ_GetStatus(ZQ_HANDLE handle, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                       std::uint32_t* eventStatus);
ZQ_STATUS ZQ_GetModemStatus(ZQ_HANDLE handle, std::uint32_t* modemStatus);
ZQ_STATUS ZQ_Read(ZQ_HANDLE handle, void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead);
ZQ_STATUS ZQ_Write(ZQ_HANDLE handle, const void* buffer, std::uint32_t bytesToWrite,
                   std::uint32_t* bytesWritten);
