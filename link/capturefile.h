#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdio>
#include <memory>

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using TFilePtr = std::unique_ptr<std::FILE, TFileCloser>;

// A capture file: everything a device sends goes into it unchanged while it is open. A write or
// close that fails ends the capture and says so, so that no data is lost without the user knowing.
class TCaptureFile {
public:
    bool IsOpen() const { return FFile != nullptr; }

    // Makes a newly opened file the capture file; an earlier one is closed first. Returns the
    // error text when the earlier file could not be written completely, otherwise an empty text.
    QString Start(TFilePtr file);
    // Closes the file; returns an error text when its data did not all reach the disk.
    QString Stop();
    // Writes received bytes, flushed at once so that what has arrived is on disk and a full disk
    // shows at the first write. On failure the capture is stopped and the error text returned.
    QString Write(const char* data, std::size_t size);
    // Received bytes into the file while it is open; those it does not take are added to `shown`,
    // so that they are seen rather than lost. Returns the error text of a write that failed.
    QString Take(const char* data, std::size_t size, QByteArray& shown);

private:
    TFilePtr FFile;
};
