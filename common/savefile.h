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

// The two errors of a file reader, the same for every kind of file Kelmor reads: a file that is not
// of the kind, and one of it that is damaged.
struct TFileKind {
    const char* Name; // "parameter", "session"
    char Quote;       // the mark the messages put round the path

    // EKelmorError "<path> is not a Kelmor <name> file".
    [[noreturn]] void ThrowNotOurs(const QString& path) const;
    // EKelmorError "The <name> file <path> is damaged: <reason>".
    [[noreturn]] void ThrowDamaged(const QString& path, const QString& reason) const;
};
