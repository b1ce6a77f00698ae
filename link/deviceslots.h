#pragma once

#include "link/deviceslot.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

// The device index that a device name such as "DEV0" names: the decimal number from its fourth
// character on (optional blanks and sign, then digits; no digits give 0).
std::int32_t DeviceIndexFromName(const QString& name);

// The fixed table of the four device slots, indexed by device index.
class TDeviceSlots : public QObject {
    Q_OBJECT

public:
    static constexpr std::int32_t KCount = 4;

    // exitRequested goes to every slot (TDeviceSlot).
    explicit TDeviceSlots(QObject* parent = nullptr, const std::atomic<bool>* exitRequested = nullptr);

    // The slot of an index, or none outside 0..3.
    TDeviceSlot* At(std::int32_t index) const;
    // The slot a device name names, or none.
    TDeviceSlot* ForName(const QString& name) const { return At(DeviceIndexFromName(name)); }

    // Closes every device and every capture file; returns the first capture error text.
    QString CloseAll();

private:
    std::array<TDeviceSlot*, KCount> FSlots{};
};
