#include "simport/simport.h"

#include "device/portsettings.h"
#include "sim/converter.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>

namespace {

// Buffers of the link, as in a converter's driver: what the host may queue for sending, and
// what it has received and not yet read; received bytes beyond it are lost as in an overrun.
constexpr std::size_t KTxCapacity = 4096;
constexpr std::size_t KRxCapacity = 65536;
constexpr std::uint32_t KMaxBaudRate = 3'000'000;
constexpr std::uint32_t KInitialBaudRate = 9600;
constexpr std::int64_t KNsPerMs = 1'000'000;

class TSteadySimClock : public TSimClock {
public:
    std::int64_t NowNs() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void SleepUntil(std::int64_t timeNs) override {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::nanoseconds(timeNs)));
    }
};

std::int64_t ByteTimeNs(std::uint32_t baudRate) {
    return WireTimeNs(baudRate, 1);
}

class TSimPort : public TPort {
public:
    TSimPort(std::shared_ptr<TDriveSim> drive, std::shared_ptr<TSimClock> clock)
        : FDriveHeld(std::move(drive)), FDrive(*FDriveHeld), FClock(std::move(clock)), FNow(FClock->NowNs()),
          FByteNs(ByteTimeNs(KInitialBaudRate)),
          FLatencyNs(std::int64_t{FDrive.Plant().LatencyMs} * KNsPerMs), FConverter(FDrive.Plant()) {
        // Whatever the drive said while no port was open went nowhere.
        FDrive.DiscardOutput();
        FDrive.SetHostLines(false, false);
    }

    ~TSimPort() override {
        Sync();
        // The drive finishes a running recording on its own; its samples go nowhere.
        if (FDrive.Recording())
            FDrive.Advance(FDrive.NanosUntilRecordingEnds());
        FDrive.DiscardOutput();
        FDrive.SetHostLines(false, false);
    }

    ZQ_STATUS ResetDevice() override {
        Sync();
        FRx.clear();
        FTx.clear();
        return ZQ_OK;
    }

    ZQ_STATUS SetBaudRate(std::uint32_t baudRate) override {
        if (baudRate == 0 || baudRate > KMaxBaudRate)
            return ZQ_INVALID_BAUD_RATE;
        Sync();
        FByteNs = ByteTimeNs(baudRate);
        return ZQ_OK;
    }

    // The link carries whole bytes whatever the framing; the library has checked the codes.
    ZQ_STATUS SetDataCharacteristics(std::uint8_t, std::uint8_t, std::uint8_t) override { return ZQ_OK; }

    ZQ_STATUS SetFlowControl(std::uint16_t mode, std::uint8_t, std::uint8_t) override {
        Sync();
        FFlow = mode;
        return ZQ_OK;
    }

    // The drive sends no event or error characters and nothing waits on events.
    ZQ_STATUS SetChars(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t) override { return ZQ_OK; }
    ZQ_STATUS SetEventNotification(std::uint32_t, void*) override { return ZQ_OK; }

    ZQ_STATUS SetDtr(bool raised) override {
        Sync();
        FDtr = raised;
        FDrive.SetHostLines(FRts, FDtr);
        return ZQ_OK;
    }

    ZQ_STATUS SetRts(bool raised) override {
        Sync();
        FRts = raised;
        FDrive.SetHostLines(FRts, FDtr);
        return ZQ_OK;
    }

    ZQ_STATUS SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) override {
        FReadTimeoutNs = std::int64_t{readTimeout} * KNsPerMs;
        FWriteTimeoutNs = std::int64_t{writeTimeout} * KNsPerMs;
        return ZQ_OK;
    }

    ZQ_STATUS Purge(std::uint32_t mask) override {
        Sync();
        if (mask & ZQ_PURGE_RX)
            FRx.clear();
        if (mask & ZQ_PURGE_TX)
            FTx.clear();
        return ZQ_OK;
    }

    ZQ_STATUS GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) override {
        Sync();
        *rxBytes = static_cast<std::uint32_t>(FRx.size());
        *txBytes = static_cast<std::uint32_t>(FTx.size() + (FUpBusy ? 1 : 0));
        *eventStatus = 0;
        return ZQ_OK;
    }

    ZQ_STATUS GetModemStatus(std::uint32_t* modemStatus) override {
        Sync();
        *modemStatus = (FDrive.Cts() ? ZQ_MODEM_STATUS_CTS : 0) | (FDrive.Dsr() ? ZQ_MODEM_STATUS_DSR : 0);
        return ZQ_OK;
    }

    ZQ_STATUS Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::uint32_t got = 0;
        Sync();
        const std::int64_t deadline = FNow + FReadTimeoutNs;
        for (;;) {
            while (got < bytesToRead && !FRx.empty()) {
                out[got++] = FRx.front();
                FRx.pop_front();
            }
            if (got == bytesToRead || FNow >= deadline)
                break;
            FClock->SleepUntil(NextReadWake(bytesToRead - got, deadline));
            Sync();
        }
        *bytesRead = got;
        return ZQ_OK;
    }

    ZQ_STATUS Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) override {
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        std::uint32_t accepted = 0;
        Sync();
        const std::int64_t deadline = FNow + FWriteTimeoutNs;
        for (;;) {
            while (accepted < bytesToWrite && FTx.size() < KTxCapacity)
                FTx.push_back(in[accepted++]);
            if (accepted == bytesToWrite || FNow >= deadline)
                break;
            // Room comes as the line carries bytes away; without it (flow held) the time-out ends it.
            FClock->SleepUntil(FUpBusy ? std::min(FUpArrive, deadline) : deadline);
            Sync();
        }
        *bytesWritten = accepted;
        return ZQ_OK;
    }

private:
    bool HostMaySend() const {
        return !(FFlow == ZQ_FLOW_RTS_CTS && !FDrive.Cts()) && !(FFlow == ZQ_FLOW_DTR_DSR && !FDrive.Dsr());
    }
    bool DriveMaySend() const {
        return !(FFlow == ZQ_FLOW_RTS_CTS && !FRts) && !(FFlow == ZQ_FLOW_DTR_DSR && !FDtr);
    }

    void StartTransfers() {
        if (!FUpBusy && !FTx.empty() && HostMaySend()) {
            FUpByte = FTx.front();
            FTx.pop_front();
            FUpArrive = FNow + FByteNs;
            FUpBusy = true;
        }
        if (!FDownBusy && FDrive.OutputSize() > 0 && DriveMaySend()) {
            FDownByte = static_cast<std::uint8_t>(FDrive.TakeOutput(1)[0]);
            FDownArrive = FNow + FByteNs;
            FDownBusy = true;
        }
    }

    // Brings the link and the drive up to the clock's present: bytes land on the far side at the
    // end of their ten bit times, and the drive's time runs between these moments.
    void Sync() {
        const std::int64_t target = FClock->NowNs();
        for (;;) {
            StartTransfers();
            std::int64_t next = std::max(target, FNow);
            if (FUpBusy)
                next = std::min(next, FUpArrive);
            if (FDownBusy)
                next = std::min(next, FDownArrive);
            // A recording sends each record as its sample is taken, and a late answer starts when
            // it is due, so each one starts on the line at that moment, not at the target time.
            if (const std::int64_t due = FDrive.NanosUntilNextOutput(); due > 0)
                next = std::min(next, FNow + due);
            if (FConverter.Holding())
                next = std::min(next, std::max(FConverter.NextDelivery(), FNow));
            if (next > FNow) {
                FDrive.Advance(next - FNow);
                FNow = next;
            }
            bool landed = false;
            if (FUpBusy && FUpArrive <= FNow) {
                FUpBusy = false;
                FDrive.Receive(FUpByte);
                landed = true;
            }
            if (FDownBusy && FDownArrive <= FNow) {
                FDownBusy = false;
                FConverter.Take(char(FDownByte), FDownArrive);
                landed = true;
            }
            for (const char byte : FConverter.Deliver(FNow)) {
                landed = true;
                if (FRx.size() < KRxCapacity)
                    FRx.push_back(std::uint8_t(byte));
            }
            if (!landed && FNow >= target)
                break;
        }
        StartTransfers();
    }

    // When a read waiting for `needed` more bytes should look again: once they can have arrived
    // back to back (behind a converter: once its timer fires or its packet is full), or when the
    // drive next has something to say, or at the deadline.
    std::int64_t NextReadWake(std::uint32_t needed, std::int64_t deadline) const {
        std::int64_t wake = deadline;
        if (FConverter.Holding())
            wake = std::min(wake, FConverter.NextDelivery());
        if (FDownBusy) {
            const auto coming = 1 + static_cast<std::int64_t>(FDrive.OutputSize());
            std::int64_t stream = std::min<std::int64_t>(needed, coming);
            if (FLatencyNs > 0) {
                stream = std::min<std::int64_t>(TConverter::KPacketBytes, coming);
                wake = std::min(wake, FDownArrive + FLatencyNs);
            }
            wake = std::min(wake, FDownArrive + (stream - 1) * FByteNs);
        } else if (FUpBusy) {
            wake = std::min(wake, FUpArrive);
        }
        if (const std::int64_t due = FDrive.NanosUntilNextOutput(); due > 0)
            wake = std::min(wake, FNow + due);
        return std::max(wake, FNow + 1);
    }

    // The drive lives on while its port is open, even when its owner replaces or drops it.
    std::shared_ptr<TDriveSim> FDriveHeld;
    TDriveSim& FDrive;
    std::shared_ptr<TSimClock> FClock;
    std::int64_t FNow;
    std::int64_t FByteNs;
    std::int64_t FLatencyNs;
    // Holds what the drive sends until it reaches the host, and loses what a lossy line loses; a
    // purge of the host's queue leaves it.
    TConverter FConverter;
    std::int64_t FReadTimeoutNs = 0;
    std::int64_t FWriteTimeoutNs = 0;
    std::uint16_t FFlow = ZQ_FLOW_NONE;
    bool FRts = false;
    bool FDtr = false;

    std::deque<std::uint8_t> FTx;
    bool FUpBusy = false;
    std::uint8_t FUpByte = 0;
    std::int64_t FUpArrive = 0;

    bool FDownBusy = false;
    std::uint8_t FDownByte = 0;
    std::int64_t FDownArrive = 0;
    std::deque<std::uint8_t> FRx;
};

} // namespace

std::shared_ptr<TSimClock> SteadySimClock() {
    return std::make_shared<TSteadySimClock>();
}

std::unique_ptr<TPort> OpenSimPort(std::shared_ptr<TDriveSim> drive, std::shared_ptr<TSimClock> clock) {
    return std::make_unique<TSimPort>(std::move(drive), std::move(clock));
}
