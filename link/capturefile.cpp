#include "link/capturefile.h"

QString TCaptureFile::Stop() {
    std::FILE* file = FFile.release();
    if (!file)
        return {};
    const bool failed = std::ferror(file) != 0;
    return (std::fclose(file) != 0 || failed)
               ? QStringLiteral("The capture file could not be written completely")
               : QString();
}

QString TCaptureFile::Start(TFilePtr file) {
    const QString error = Stop();
    FFile = std::move(file);
    return error;
}

QString TCaptureFile::Write(const char* data, std::size_t size) {
    if (!FFile)
        return {};
    if (std::fwrite(data, 1, size, FFile.get()) == size && std::fflush(FFile.get()) == 0)
        return {};
    Stop();
    return QStringLiteral(
        "The capture file could not be written (the disk may be full); the capture was stopped");
}

QString TCaptureFile::Take(const char* data, std::size_t size, QByteArray& shown) {
    const QString error = IsOpen() ? Write(data, size) : QString();
    if (!IsOpen())
        shown.append(data, qsizetype(size));
    return error;
}
