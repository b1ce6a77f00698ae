#include "device/converters.h"

#include <windows.h>

#include <setupapi.h>

namespace {

// A value of the device's registry key, as text; empty when it has none.
QString RegistryText(HKEY key, const wchar_t* name) {
    wchar_t text[256] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return QString::fromWCharArray(text);
}

// The device's first hardware id, such as "USB\VID_xxxx&PID_yyyy"; empty when it has none.
QString HardwareId(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    wchar_t ids[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(ids), sizeof ids - 2 * sizeof(wchar_t),
                                           nullptr))
        return {};
    return QString::fromWCharArray(ids);
}

} // namespace

// The ports class of the device manager; a converter is a port whose hardware id names a USB vendor.
QStringList UsbSerialConverters() {
    static const GUID PortsClass = {
        0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
    QStringList converters;
    const HDEVINFO devices = SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return converters;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const QString id = HardwareId(devices, device);
        if (!id.contains(QStringLiteral("VID_"), Qt::CaseInsensitive))
            continue;
        const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        // "COM3" rather than "\\.\COM3": the name Windows users know their ports by.
        if (const QString name = RegistryText(key, L"PortName"); name.startsWith(QStringLiteral("COM")))
            converters << name;
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(devices);
    return converters;
}
