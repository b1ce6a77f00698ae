#pragma once

// What a PDF says, for tests: its text as pdftotext (Debian's poppler-utils) lays it out, and its
// content streams inflated, where its drawing operators are.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryFile>
#include <QtEndian>

// The text of the PDF, pages parted by form feeds; empty if pdftotext could not read it.
inline QString PdfText(const QByteArray& pdf) {
    QTemporaryFile file;
    if (!file.open() || file.write(pdf) != pdf.size() || !file.flush())
        return {};
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), file.fileName(), QStringLiteral("-")});
    if (!process.waitForFinished(20000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The streams that inflate, one after another: the pages' drawing.
inline QByteArray PdfContent(const QByteArray& pdf) {
    QByteArray content;
    for (qsizetype at = pdf.indexOf("stream\n"); at >= 0; at = pdf.indexOf("stream\n", at + 1)) {
        const qsizetype start = at + 7;
        // Only a compressed stream's dictionary, just before it, names the filter.
        const qsizetype dictionary = pdf.lastIndexOf("<<", at);
        if (!pdf.mid(dictionary, at - dictionary).contains("/FlateDecode"))
            continue;
        const QByteArray deflated = pdf.mid(start, pdf.indexOf("endstream", start) - start);
        QByteArray sized(4, '\0');
        qToBigEndian<quint32>(quint32(deflated.size() * 100 + 1024), sized.data());
        content += qUncompress(sized + deflated);
    }
    return content;
}
