#pragma once

#include <QByteArray>
#include <QString>

// Writes a file whole or not at all: the bytes go to a temporary file that replaces the old one
// only once all of them are on disk. Returns the system's reason when it failed, else an empty text.
QString SaveWholeFile(const QString& path, const QByteArray& bytes);

// SaveWholeFile for a command: throws EKelmorError "Can't write "<path>": <reason>" when it failed.
void WriteWholeFile(const QString& path, const QByteArray& bytes);

// The first maxSize + 1 bytes of a file, enough to tell one larger than maxSize; throws EKelmorError
// "Can't read "<path>": <reason>" when it cannot be read.
QByteArray ReadFileHead(const QString& path, qint64 maxSize);
