#pragma once

#include "link/deviceslot.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>

// The fixed table of the four device slots, indexed by device index.
class TDeviceSlots : public QObject {
    Q_OBJECT

public:
    static constexpr std::int32_t KCount = 4;

    // The ports and exitRequested go to every slot (TDeviceSlot).
    explicit TDeviceSlots(const TPortFactory& ports = MachinePorts(), QObject* parent = nullptr,
                          const std::atomic<bool>* exitRequested = nullptr);

    // The slot of an index, or none outside 0..3.
    TDeviceSlot* At(std::int32_t index) const;

    // Closes every device and every capture file; returns the first capture error text.
    QString CloseAll();

private:
    std::array<TDeviceSlot*, KCount> FSlots{};
};
