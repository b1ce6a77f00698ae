#pragma once

// Readable failure messages for Qt strings in GoogleTest assertions.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"';
    for (char c : b) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && u != '\\')
            *os << c;
        else
            *os << "\\x"
                << "0123456789ABCDEF"[u >> 4] << "0123456789ABCDEF"[u & 15];
    }
    *os << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        *os << (i ? ", " : "");
        PrintTo(list[i], os);
    }
    *os << '}';
}
