#include "link/deviceslots.h"

TDeviceSlots::TDeviceSlots(const TPortFactory& ports, QObject* parent, const std::atomic<bool>* exitRequested)
    : QObject(parent) {
    for (std::int32_t i = 0; i < KCount; ++i)
        FSlots[std::size_t(i)] = new TDeviceSlot(i, ports, this, exitRequested);
}

TDeviceSlot* TDeviceSlots::At(std::int32_t index) const {
    return index >= 0 && index < KCount ? FSlots[std::size_t(index)] : nullptr;
}

QString TDeviceSlots::CloseAll() {
    QString first;
    for (TDeviceSlot* slot : FSlots) {
        slot->Close();
        const QString error = slot->StopCapture();
        if (first.isEmpty())
            first = error;
    }
    return first;
}
