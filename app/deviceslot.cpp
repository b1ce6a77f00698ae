#include "app/deviceslot.h"

std::array<TDeviceSlot, 4> DeviceSlots;
TDeviceSlot* CurrentSlot = nullptr;

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

TDeviceSlot* SlotForName(const QString& name) {
    const std::int32_t index = DeviceIndexFromName(name);
    return index >= 0 && index < std::int32_t(DeviceSlots.size()) ? &DeviceSlots[size_t(index)] : nullptr;
}
