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
    if (FSlot)
        FSlot->FLeased = false;
    FSlot = nullptr;
}
