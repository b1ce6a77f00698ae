#include "plot/imagefile.h"

#include "common/errors.h"
#include "common/savefile.h"

#include <QBuffer>

void SavePng(const QString& fileName, const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        throw EKelmorError(
            QStringLiteral("Can't write \"%1\": the image could not be encoded").arg(fileName));
    WriteWholeFile(fileName, png);
}
