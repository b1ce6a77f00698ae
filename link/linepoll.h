#pragma once

#include "link/capturefile.h"
#include "link/deviceline.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The last known state of the device's input lines.
struct TLineStates {
    bool Cts = false;
    bool Dsr = false;
    bool Dcd = false;
    bool Ring = false;

    bool operator==(const TLineStates&) const = default;
};

// The input lines of an open device; none when they could not be read.
std::optional<TLineStates> ReadLineStates(ZQ_HANDLE handle);

// What one poll of the line found.
struct TPolled {
    // The input lines; none when the device was found gone before they were asked for.
    std::optional<TLineStates> Lines;
    // The bytes for the terminal: all that came while no capture is open, else what the capture
    // file refused.
    QByteArray Shown;
    // Why the capture stopped, or empty.
    QString CaptureFailure;
    bool Gone = false;
};

// One poll of an attached line: its input lines, then every byte the device reported waiting, a
// block at a time, into the capture while one is open; what comes beyond the echo
// the drive owed marks the line as not clean.
TPolled PollLine(TDeviceLine& line, TCaptureFile& capture);
