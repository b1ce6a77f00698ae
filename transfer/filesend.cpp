#include "transfer/filesend.h"

#include <algorithm>
#include <utility>

namespace {
constexpr std::chrono::milliseconds KRetryPause(10);
}

std::chrono::milliseconds SendStallLimit(std::int32_t writeTimeoutMs) {
    return std::max(std::chrono::milliseconds(3000),
                    std::chrono::milliseconds(3 * std::int64_t(writeTimeoutMs)));
}

TFileSend::TFileSend(TDriveLease lease, TFilePtr file, std::uint64_t total,
                     std::chrono::milliseconds stallLimit, QObject* parent)
    : QObject(parent), FLease(std::move(lease)), FFile(std::move(file)), FTotal(total),
      FStallLimit(stallLimit) {
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &TFileSend::Step);
}

void TFileSend::Start() {
    FTimer.start(0);
}

void TFileSend::Abandon() {
    FAbandoned = true;
    FTimer.stop();
    FFile.reset();
    FLease.reset();
}

void TFileSend::Step() {
    using Clock = std::chrono::steady_clock;
    if (FAbandoned)
        return;
    if (FChunkDone == FChunkSize) {
        if (FCancelled)
            return Finish(TSendResult::Cancelled);
        FChunkSize = std::fread(FChunk, 1, sizeof FChunk, FFile.get());
        FChunkDone = 0;
        FLastAccepted = Clock::now();
        if (FChunkSize == 0)
            return Finish(std::ferror(FFile.get()) ? TSendResult::ReadError : TSendResult::Done);
    }
    TDeviceSlot* slot = FLease ? FLease->Slot() : nullptr;
    if (!slot || !slot->IsOpen() || slot->IsLost())
        return Finish(TSendResult::Lost);
    const std::uint32_t written =
        slot->WriteRaw(*FLease, FChunk + FChunkDone, std::uint32_t(FChunkSize - FChunkDone));
    if (written > 0) {
        FChunkDone += written;
        FSent += written;
        FLastAccepted = Clock::now();
        if (FChunkDone == FChunkSize)
            emit Progress(FSent, FTotal);
        if (!FAbandoned)
            FTimer.start(0);
        return;
    }
    if (Clock::now() - FLastAccepted >= FStallLimit)
        return Finish(TSendResult::Stalled);
    // A device that refuses at once is asked again at a walking pace, not in a busy loop.
    FTimer.start(KRetryPause);
}

void TFileSend::Finish(TSendResult result) {
    FFile.reset();
    FLease.reset();
    emit Finished(result);
}
