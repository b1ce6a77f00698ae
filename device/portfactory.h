#pragma once

// Where the device library's opens get their ports. ZQ_Open and ZQ_OpenByName open the ports of
// this machine; whoever is given another factory (the tests, with their fake devices) opens
// through OpenWith, and its handles join the same table, so that every other ZQ_ call serves them
// alike.

#include "device/zqlink.h"

#include <cstdint>
#include <functional>
#include <memory>

class QString;
class TPort;
struct TOpenFailure;

// Opens the backend for a device index on a port: the one the index maps to, or the one named to
// OpenWith; an empty name when the index has none. Returns nullptr and fills failure when the
// port cannot be opened.
using TPortFactory = std::function<std::unique_ptr<TPort>(std::int32_t deviceIndex, const QString& portName,
                                                          TOpenFailure& failure)>;

// The ports of this machine: "sim" is the index's simulated drive, any other name a serial port.
TPortFactory MachinePorts();

// ZQ_Open and ZQ_OpenByName with the ports of factory: the same checks, statuses and handles.
ZQ_STATUS OpenWith(const TPortFactory& factory, std::int32_t deviceIndex, ZQ_HANDLE* handle);
ZQ_STATUS OpenWith(const TPortFactory& factory, std::int32_t deviceIndex, const char* portName,
                   ZQ_HANDLE* handle);
