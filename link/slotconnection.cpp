// The slot's connection to its device: opening, closing, noticing a loss and bringing the device
// back, with the line the drive held unfinished taken back each time it returns.

#include "link/deviceslot.h"

#include "device/applysettings.h"
#include "device/openfailure.h"

#include <QFile>
#include <array>

namespace {

QString PortNameOf(ZQ_HANDLE handle) {
    std::array<char, 4096> name{};
    return ZQ_GetPortName(handle, name.data(), std::uint32_t(name.size())) == ZQ_OK
               ? QFile::decodeName(name.data())
               : QString();
}

} // namespace

QString TDeviceSlot::Connect(const TOpenResult& opened, const TPortSettings& settings) {
    if (opened.Status != ZQ_OK)
        return opened.Reason;
    const ZQ_HANDLE handle = opened.Handle;
    const QString portName = PortNameOf(handle);
    const QString failure = !ApplySettings(handle, settings) ? SettingsRefusedText(portName)
                            : !ReadLines(handle)             ? LinesUnreadText(portName)
                                                             : QString();
    if (!failure.isEmpty()) {
        ZQ_Close(handle);
        return failure;
    }
    FLine.Attach(handle);
    FPollTimer.start();
    return {};
}

bool TDeviceSlot::Open() {
    if (FOpen) {
        FOpenFailure = OpenAlreadyText(FIndex);
        return false;
    }
    // Every open starts from the defaults, whatever was applied before.
    FSettings = TPortSettings{};
    FLine.ForgetAnswerDelays();
    // What a closed window, a stopped file send or an earlier loss left of a line, as far as it was sent.
    const std::size_t cut = FLine.Echo().LineLength();
    FOpenFailure = Connect(OpenDevice(FPorts, FIndex), FSettings);
    if (!FOpenFailure.isEmpty())
        return false;
    FRts = FSettings.Rts != 0;
    FDtr = FSettings.Dtr != 0;
    // A lost device is looked for again under this name, not under whatever its index maps to
    // by then (with the converter unplugged, that could be the simulated drive).
    FPortName = PortNameOf(FLine.Handle());
    FOpen = true;
    FReplies = {};
    TakeBackLine(cut);
    return true;
}

void TDeviceSlot::Close() {
    FPollTimer.stop();
    FReconnectTimer.stop();
    FLine.Detach();
    FOpen = false;
    FLines = TLineStates{};
}

bool TDeviceSlot::ReadLines(ZQ_HANDLE handle) {
    const std::optional<TLineStates> lines = ReadLineStates(handle);
    if (lines)
        FLines = *lines;
    return lines.has_value();
}

void TDeviceSlot::Lose() {
    if (!FLine.Attached())
        return;
    FLine.Detach();
    FPollTimer.stop();
    FLines = TLineStates{};
    emit LinesChanged(FLines);
    emit DeviceLost();
    FReconnectTimer.start();
}

void TDeviceSlot::TryReconnect() {
    if (!FOpen || FLine.Attached()) {
        FReconnectTimer.stop();
        return;
    }
    // The settings the user applied last, with the output lines as the switches left them.
    TPortSettings settings = FSettings;
    settings.Rts = FRts ? 1 : 0;
    settings.Dtr = FDtr ? 1 : 0;
    // The line the drive held unfinished when the device went, as far as it was sent.
    const std::size_t cut = FLine.Echo().LineLength();
    if (!Connect(OpenDevice(FPorts, FIndex, FPortName), settings).isEmpty())
        return;
    FReconnectTimer.stop();
    emit LinesChanged(FLines);
    TakeBackLine(cut);
    emit DeviceBack();
}

void TDeviceSlot::TakeBackLine(std::size_t cut) {
    // Character by character, never ended with a CR that would run it. A drive switched off meanwhile
    // ignores Backspace on an empty line. Sent as bytes no command built, so that whoever follows the
    // typed line sees it emptied.
    if (cut == 0)
        return;
    const QByteArray backspaces(qsizetype(cut), '\b');
    SendRaw(backspaces.constData(), std::uint32_t(backspaces.size()));
}
