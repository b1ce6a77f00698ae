#include "link/deviceslots.h"

std::int32_t DeviceIndexFromName(const QString& name) {
    const QString text = name.mid(3);
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 0x80 && value < 1'000'000'000;
         ++i)
        value = value * 10 + (text.at(i).unicode() - '0');
    return std::int32_t(negative ? -value : value);
}

TDeviceSlots::TDeviceSlots(QObject* parent, const std::atomic<bool>* exitRequested) : QObject(parent) {
    for (std::int32_t i = 0; i < KCount; ++i)
        FSlots[std::size_t(i)] = new TDeviceSlot(i, this, exitRequested);
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
