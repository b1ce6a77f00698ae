#pragma once

#include <QPointer>
#include <functional>

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
    // Only a slot mints a lease: the one friend, so that no other code can forge the right to write.
    friend class TDeviceSlot;
    TDriveLease(TDeviceSlot& slot, std::function<void()> release);
    void Release();

    QPointer<TDeviceSlot> FSlot;
    // What the slot does when its drive is given back.
    std::function<void()> FRelease;
};
