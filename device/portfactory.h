#pragma once

// Where the device library's opens get their ports. ZQ_Open and ZQ_OpenByName open the ports of
// this machine; whoever is given another factory (the tests, with their fake devices) opens
// through OpenDevice, and its handles join the same table, so that every other ZQ_ call serves
// them alike.

#include "device/zqlink.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TPort;
struct TOpenFailure;

// Opens the backend for a device index on a port: the one the index maps to, or the one named to
// OpenDevice; an empty name when the index has none. Returns nullptr and fills failure when the
// port cannot be opened.
using TPortFactory = std::function<std::unique_ptr<TPort>(std::int32_t deviceIndex, const QString& portName,
                                                          TOpenFailure& failure)>;

// The ports of this machine: "sim" is the index's simulated drive, any other name a serial port.
TPortFactory MachinePorts();

// What an open came to: the handle, or the status ZQ_Open returns and why, as one line for the
// user that names the port (empty after an open that succeeded).
struct TOpenResult {
    ZQ_STATUS Status = ZQ_OK;
    ZQ_HANDLE Handle = 0;
    QString Reason;
};

// Opens a device index with the ports of factory, on the port the index maps to or on the named
// one. ZQ_Open and ZQ_OpenByName are these with the machine's ports, less the reason.
TOpenResult OpenDevice(const TPortFactory& factory, std::int32_t deviceIndex);
TOpenResult OpenDevice(const TPortFactory& factory, std::int32_t deviceIndex, const QString& portName);
