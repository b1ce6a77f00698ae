#include "harness/qtprinters.h"
#include "link/deviceslots.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TFilePtr OpenForCapture(const QString& path) {
    return TFilePtr(std::fopen(QFile::encodeName(path).constData(), "wb"));
}

QByteArray Content(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

TEST(Capture, EveryByteReachesTheFileAndReplacingClosesTheFirst) {
    TCaptureFile capture;
    QTemporaryDir dir;
    const QString first = dir.filePath("capture-1.bin"), second = dir.filePath("capture-2.bin");
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    all += "\r\n";
    all += '\0';

    EXPECT_EQ(capture.Start(OpenForCapture(first)), QString());
    EXPECT_EQ(capture.Write(all.constData(), size_t(all.size())), QString());
    EXPECT_EQ(Content(first), all) << "on disk before the file is closed";

    EXPECT_EQ(capture.Start(OpenForCapture(second)), QString());
    EXPECT_EQ(capture.Write("later", 5), QString());
    EXPECT_EQ(Content(first), all);
    EXPECT_EQ(capture.Stop(), QString());
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_EQ(Content(second), QByteArray("later"));
    EXPECT_EQ(capture.Stop(), QString()) << "nothing to close";
    EXPECT_EQ(capture.Write("x", 1), QString()) << "no capture, nothing written";
}

TEST(Capture, AFullDiskStopsTheCaptureAndSaysSo) {
    TCaptureFile capture;
    TFilePtr full(std::fopen("/dev/full", "wb"));
    ASSERT_NE(full, nullptr);
    capture.Start(std::move(full));
    const QString error = capture.Write("data", 4);
    EXPECT_TRUE(error.contains("could not be written")) << error.toStdString();
    EXPECT_FALSE(capture.IsOpen());
}

TEST(Capture, ClosingAllSlotsClosesEveryCapture) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture-all.bin");
    TDeviceSlots table;
    table.At(1)->StartCapture(OpenForCapture(path));
    table.At(3)->StartCapture(OpenForCapture(path + "3"));
    EXPECT_EQ(table.CloseAll(), QString());
    for (std::int32_t i = 0; i < TDeviceSlots::KCount; ++i)
        EXPECT_FALSE(table.At(i)->Capturing());
}
