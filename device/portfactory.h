#pragma once

// Where the device library's opens get their ports. The machine's ports are its serial ports and
// the kinds of port plugged in from above (the simulated drive): the library knows no backend but
// its serial ones. ZQ_Open and ZQ_OpenByName open the machine's ports with the kinds the program
// plugged in at start-up; whoever is given another factory (the tests, with their fake devices)
// opens through OpenDevice, and its handles join the same table, so that every other ZQ_ call
// serves them alike.

#include "device/port.h"
#include "device/zqlink.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

// Opens the backend for a device index on the named port (empty when the index has none). Returns
// nullptr and fills failure when the port cannot be opened.
using TPortOpener = std::function<std::unique_ptr<TPort>(std::int32_t deviceIndex, const QString& portName,
                                                         TOpenFailure& failure)>;
// The port a device index maps to, or an empty name.
using TPortNamer = std::function<QString(std::int32_t deviceIndex)>;

// An opener and the port each index maps to. Any opener converts to a factory whose indices map as
// this machine's user maps them (DevicePortName).
class TPortFactory {
public:
    template <typename Opener,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<Opener>, TPortFactory> &&
                                          std::is_constructible_v<TPortOpener, Opener>>>
    TPortFactory(Opener open) : FOpen(std::move(open)) {}
    TPortFactory(TPortOpener open, TPortNamer names) : FOpen(std::move(open)), FNames(std::move(names)) {}

    std::unique_ptr<TPort> operator()(std::int32_t deviceIndex, const QString& portName,
                                      TOpenFailure& failure) const;
    QString PortName(std::int32_t deviceIndex) const;

private:
    TPortOpener FOpen;
    TPortNamer FNames;
};

// A kind of port beside the serial ports: the names that are its own, and how it opens them. Each
// kind decides for itself whether two indices may open one of its names at once.
struct TPortKind {
    std::function<bool(const QString& portName)> Owns;
    // Whether an item of ZQLINK_PORTS's comma-separated list goes on the port name before it, as the
    // parameters of a simulated drive do; none when not given.
    std::function<bool(const QString& portName, const QString& item)> Continues;
    TPortOpener Open;
    // Without ZQLINK_PORTS, the port of the first index that no converter takes; empty for none.
    QString FreeIndexName;
};
using TPortKinds = std::vector<TPortKind>;

// The ports of this machine: a name that a kind owns is opened by that kind, any other one is a
// serial port. The indices map as the user maps them, with these kinds.
TPortFactory MachinePorts(TPortKinds kinds);
// The same with the kinds plugged in (PlugInPortKinds).
TPortFactory MachinePorts();

// The kinds that ZQ_Open, ZQ_OpenByName and MachinePorts() open beside the serial ports. The program
// plugs its kinds in once, at start-up, before any open.
void PlugInPortKinds(TPortKinds kinds);
const TPortKinds& PluggedPortKinds();

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

// The device index that has the named port open, or -1.
std::int32_t PortHolder(const QString& portName);
