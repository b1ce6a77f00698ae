#pragma once

#include "link/capturefile.h"
#include "link/deviceslot.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>

// How a file send ended.
enum class TSendResult {
    Done,      // every byte of the file was accepted by the device
    Cancelled, // the user stopped it between two chunks
    Stalled,   // the device accepted nothing for the whole stall limit
    ReadError, // the file could not be read to its end
    Lost,      // the device went away or was closed
};

// What every command hears while a file send holds the drive.
inline QString SendHoldsText() {
    return QStringLiteral("A file is being sent to the drive: wait for its end or stop it");
}

// The longest a send waits for a device that accepts nothing, given the port's write time-out.
std::chrono::milliseconds SendStallLimit(std::int32_t writeTimeoutMs);

// Sends the rest of a file to a slot's device in chunks of 256 bytes, one step at a time from the
// event loop, so that the slots' polls go on between them. A write that takes only part of a chunk is
// followed by one for the rest; one that takes nothing is tried again every 10 ms until the stall
// limit has passed without a byte accepted. The send holds the drive's lease from its start to its end,
// so no command goes out in the middle of a line of the file. The file is closed, and the lease given
// back, when the send ends or goes.
class TFileSend : public QObject {
    Q_OBJECT

public:
    TFileSend(TDriveLease lease, TFilePtr file, std::uint64_t total, std::chrono::milliseconds stallLimit,
              QObject* parent = nullptr);

    void Start();
    // Ends the send after the chunk under way.
    void Cancel() { FCancelled = true; }
    // Ends the send at once and without a word, the file closed: for a program on its way out, also
    // from within a handler of Progress (a progress dialog runs the event loop). Delete the send later.
    void Abandon();

    std::uint64_t Sent() const { return FSent; }
    std::uint64_t Total() const { return FTotal; }
    std::chrono::milliseconds StallLimit() const { return FStallLimit; }

signals:
    // After every chunk the device took whole.
    void Progress(std::uint64_t sent, std::uint64_t total);
    // Once, when the send has ended; the file is closed by then.
    void Finished(TSendResult result);

private:
    void Step();
    void Finish(TSendResult result);

    std::optional<TDriveLease> FLease;
    TFilePtr FFile;
    std::uint64_t FTotal;
    std::chrono::milliseconds FStallLimit;
    QTimer FTimer;
    unsigned char FChunk[256] = {};
    std::size_t FChunkSize = 0;
    std::size_t FChunkDone = 0;
    std::uint64_t FSent = 0;
    std::chrono::steady_clock::time_point FLastAccepted;
    bool FCancelled = false;
    bool FAbandoned = false;
};
