#include "link/lease.h"

#include "link/deviceslot.h"

#include <utility>

TDriveLease::TDriveLease(TDriveLease&& other) noexcept : FSlot(std::exchange(other.FSlot, nullptr)) {}

TDriveLease& TDriveLease::operator=(TDriveLease&& other) noexcept {
    if (this != &other) {
        Release();
        FSlot = std::exchange(other.FSlot, nullptr);
    }
    return *this;
}

TDriveLease::~TDriveLease() {
    Release();
}

void TDriveLease::Release() {
    TDeviceSlot* slot = FSlot.data();
    FSlot = nullptr;
    if (slot) {
        slot->FLeased = false;
        emit slot->LeaseChanged();
    }
}
