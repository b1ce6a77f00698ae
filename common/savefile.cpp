#include "common/savefile.h"

#include <QSaveFile>

QString SaveWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return {};
    const QString reason = file.errorString();
    return reason.isEmpty() ? QStringLiteral("not written") : reason;
}
