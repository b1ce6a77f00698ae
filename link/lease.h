#pragma once

#include <QPointer>

class TDeviceSlot;

// What a lease is for: a command line needs the drive's line empty; bytes no command built (keys
// typed, a file) may finish a line begun before.
enum class TLeaseUse { Command, Raw };

// The right to write to a device and to exchange with it. Only its slot grants one
// (TDeviceSlot::Lease), and only when nothing refuses it; the slot's writes and exchanges take one,
// so no command reaches the drive without asking. One lease at a time: while a tuning run or a file
// send holds its lease, every other command is refused in the holder's words. The lease is given
// back when it goes.
class TDriveLease {
public:
    TDriveLease(TDriveLease&& other) noexcept;
    TDriveLease& operator=(TDriveLease&& other) noexcept;
    TDriveLease(const TDriveLease&) = delete;
    TDriveLease& operator=(const TDriveLease&) = delete;
    ~TDriveLease();

    // The slot that lent the drive; none once it is gone or the lease was moved away.
    TDeviceSlot* Slot() const { return FSlot.data(); }

private:
    friend class TDeviceSlot;
    explicit TDriveLease(TDeviceSlot& slot) : FSlot(&slot) {}
    void Release();

    QPointer<TDeviceSlot> FSlot;
};
