#include "link/lease.h"

#include "link/deviceslot.h"

#include <utility>

TDriveLease::TDriveLease(TDeviceSlot& slot, std::function<void()> release)
    : FSlot(&slot), FRelease(std::move(release)) {}

TDriveLease::TDriveLease(TDriveLease&& other) noexcept
    : FSlot(std::exchange(other.FSlot, nullptr)), FRelease(std::move(other.FRelease)) {}

TDriveLease& TDriveLease::operator=(TDriveLease&& other) noexcept {
    if (this != &other) {
        Release();
        FSlot = std::exchange(other.FSlot, nullptr);
        FRelease = std::move(other.FRelease);
    }
    return *this;
}

TDriveLease::~TDriveLease() {
    Release();
}

void TDriveLease::Release() {
    const bool held = !FSlot.isNull();
    FSlot = nullptr;
    if (held && FRelease)
        std::exchange(FRelease, nullptr)();
}
