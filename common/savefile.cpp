#include "common/savefile.h"

#include "common/errors.h"

#include <QFile>
#include <QSaveFile>

QString SaveWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return {};
    const QString reason = file.errorString();
    return reason.isEmpty() ? QStringLiteral("not written") : reason;
}

void WriteWholeFile(const QString& path, const QByteArray& bytes) {
    if (const QString reason = SaveWholeFile(path, bytes); !reason.isEmpty())
        throw EKelmorError(QStringLiteral("Can't write \"%1\": %2").arg(path, reason));
}

QByteArray ReadFileHead(const QString& path, qint64 maxSize) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EKelmorError(QStringLiteral("Can't read \"%1\": %2").arg(path, file.errorString()));
    return file.read(maxSize + 1);
}

void TFileKind::ThrowNotOurs(const QString& path) const {
    throw EKelmorError(QStringLiteral("%1%2%1 is not a Kelmor %3 file")
                           .arg(QString(QLatin1Char(Quote)), path, QLatin1String(Name)));
}

void TFileKind::ThrowDamaged(const QString& path, const QString& reason) const {
    throw EKelmorError(QStringLiteral("The %1 file %2%3%2 is damaged: %4")
                           .arg(QLatin1String(Name), QString(QLatin1Char(Quote)), path, reason));
}
