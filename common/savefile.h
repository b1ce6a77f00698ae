#pragma once

#include <QByteArray>
#include <QString>

// Writes a file whole or not at all: the bytes go to a temporary file that replaces the old one
// only once all of them are on disk. Returns the system's reason when it failed, else an empty text.
QString SaveWholeFile(const QString& path, const QByteArray& bytes);
