#include "tests/support/qtprinters.h"
#include "transfer/capture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QString TempPath(const char* name) {
    return QDir::temp().filePath(QString::fromLatin1(name));
}

TFilePtr OpenForCapture(const QString& path) {
    return TFilePtr(std::fopen(QFile::encodeName(path).constData(), "wb"));
}

QByteArray Content(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

TEST(Capture, EveryByteReachesTheFileAndReplacingClosesTheFirst) {
    TDeviceSlot slot;
    const QString first = TempPath("kelmor-capture-1.bin"), second = TempPath("kelmor-capture-2.bin");
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    all += "\r\n";
    all += '\0';

    EXPECT_EQ(StartCapture(slot, OpenForCapture(first)), QString());
    EXPECT_EQ(WriteCapture(slot, all.constData(), size_t(all.size())), QString());
    EXPECT_EQ(Content(first), all) << "on disk before the file is closed";

    EXPECT_EQ(StartCapture(slot, OpenForCapture(second)), QString());
    EXPECT_EQ(WriteCapture(slot, "later", 5), QString());
    EXPECT_EQ(Content(first), all);
    EXPECT_EQ(StopCapture(slot), QString());
    EXPECT_EQ(slot.CaptureFile, nullptr);
    EXPECT_EQ(Content(second), QByteArray("later"));
    EXPECT_EQ(StopCapture(slot), QString()) << "nothing to close";
    EXPECT_EQ(WriteCapture(slot, "x", 1), QString()) << "no capture, nothing written";
    QFile::remove(first);
    QFile::remove(second);
}

TEST(Capture, AFullDiskStopsTheCaptureAndSaysSo) {
    TDeviceSlot slot;
    TFilePtr full(std::fopen("/dev/full", "wb"));
    ASSERT_NE(full, nullptr);
    StartCapture(slot, std::move(full));
    const QString error = WriteCapture(slot, "data", 4);
    EXPECT_TRUE(error.contains("could not be written")) << error.toStdString();
    EXPECT_EQ(slot.CaptureFile, nullptr);
}

TEST(Capture, StopAllClosesEverySlot) {
    const QString path = TempPath("kelmor-capture-all.bin");
    DeviceSlots[1].CaptureFile = OpenForCapture(path);
    DeviceSlots[3].CaptureFile = OpenForCapture(path + "3");
    EXPECT_EQ(StopAllCaptures(), QString());
    for (const TDeviceSlot& slot : DeviceSlots)
        EXPECT_EQ(slot.CaptureFile, nullptr);
    QFile::remove(path);
    QFile::remove(path + "3");
}
