#pragma once

// The fake backend of the device library, for tests: records every call with its arguments in
// order, returns programmed statuses, serves programmed received bytes and can refuse writes.
// TFakeDeviceLibrary holds four such devices and gives them as a port factory, to open them with.

#include "device/port.h"
#include "device/portfactory.h"
#include "harness/qtprinters.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <vector>

struct TFakeCall {
    QString Op;                     // "ZQ_SetBaudRate", ...
    std::vector<std::int64_t> Args; // the arguments after the handle, as numbers
    QByteArray Data;                // for ZQ_Write: the bytes offered

    // "ZQ_SetBaudRate(115200)"; writes show the bytes offered as written text.
    QString Text() const;
};

class TFakeDevice {
public:
    std::vector<TFakeCall> Calls;

    // Status returned by an operation ("ZQ_SetBaudRate" ...); ZQ_Open refuses when set for it.
    std::map<QString, ZQ_STATUS> Statuses;

    QByteArray Received; // bytes waiting to be read, served in order
    // A drive's answers: when a write offers exactly a line held here, its answer joins Received.
    std::map<QByteArray, QByteArray> Answers;
    // A register write "Pn v" sets the answer to the query of register n: v and its prompt.
    bool HoldsWrites = false;
    // The drive echoes every byte it takes, a CR as CR LF and a Backspace as BS, space, BS, ahead of its
    // answer.
    bool Echo = false;
    // A converter in front of the drive: its echo and answers reach Received only at the next tick
    // of a timer that fires every LatencyMs; a read short of them waits for it. 0: at once.
    int LatencyMs = 0;
    QByteArray Held;
    std::chrono::steady_clock::time_point HeldUntil;
    int ReadLimit = -1;            // most bytes one read delivers; -1: as many as asked
    int ReadWaitMs = 0;            // how long a read that delivers fewer bytes than asked waits
    int ReportedWaiting = -1;      // the receive count GetStatus reports; -1: Received.size()
    QByteArray Streaming;          // joins Received at every GetStatus: a drive that never goes quiet
    std::uint32_t ModemStatus = 0; // the line-status word
    // Runs as such a read starts its wait: what happens meanwhile, such as a request to exit.
    std::function<void()> WhileReadWaits;

    std::deque<int> WriteLimits; // per write, most bytes accepted; once used up, WriteLimit
    int WriteLimit = -1;         // -1: every byte offered
    int WriteWaitMs = 0;         // how long a write that takes fewer bytes than offered waits
    QByteArray Written;          // every byte accepted, in order

    bool Open = false;

    // The calls as texts, optionally only those of one operation.
    QStringList CallTexts(const QString& op = QString()) const;
    // The bytes of each ZQ_Write call (accepted or not).
    std::vector<QByteArray> Writes() const;
    void ClearCalls() { Calls.clear(); }
};

class TFakeDeviceLibrary {
public:
    TFakeDeviceLibrary() = default;
    // Every device must be closed by then: a port left open would hold its index for the next test.
    ~TFakeDeviceLibrary();
    TFakeDeviceLibrary(const TFakeDeviceLibrary&) = delete;
    TFakeDeviceLibrary& operator=(const TFakeDeviceLibrary&) = delete;

    TFakeDevice& Device(int index) { return FDevices.at(index); }
    // Opens device index n as Device(n), whatever the port's name.
    TPortFactory Ports();

private:
    std::array<TFakeDevice, 4> FDevices;
};
