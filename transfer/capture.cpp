#include "transfer/capture.h"

namespace {
const QString KIncompleteCapture = QStringLiteral("The capture file could not be written completely");
}

QString StopCapture(TDeviceSlot& slot) {
    std::FILE* file = slot.CaptureFile.release();
    if (!file)
        return {};
    const bool failed = std::ferror(file) != 0;
    return (std::fclose(file) != 0 || failed) ? KIncompleteCapture : QString();
}

QString StartCapture(TDeviceSlot& slot, TFilePtr file) {
    const QString error = StopCapture(slot);
    slot.CaptureFile = std::move(file);
    return error;
}

QString WriteCapture(TDeviceSlot& slot, const char* data, std::size_t size) {
    if (!slot.CaptureFile)
        return {};
    // Flushed at once, so that what has arrived is on disk and a full disk shows at the first write.
    if (std::fwrite(data, 1, size, slot.CaptureFile.get()) == size &&
        std::fflush(slot.CaptureFile.get()) == 0)
        return {};
    StopCapture(slot);
    return QStringLiteral(
        "The capture file could not be written (the disk may be full); the capture was stopped");
}

QString StopAllCaptures() {
    QString first;
    for (TDeviceSlot& slot : DeviceSlots) {
        const QString error = StopCapture(slot);
        if (first.isEmpty())
            first = error;
    }
    return first;
}
