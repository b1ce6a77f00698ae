#pragma once

// A pseudo-terminal pair for tests of the serial backend: the program opens the terminal end by
// its path, the test plays the device on the controlling end. Both ends are raw, so every byte
// value passes unchanged. The pair shares one set of terminal settings, so Settings() shows what
// the backend really set on its end.

#include <QByteArray>
#include <QString>

#include <termios.h>

class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    bool Ok() const { return FMaster >= 0 && !FSlavePath.isEmpty(); }
    const QString& SlavePath() const { return FSlavePath; }

    // Writes bytes that fit into the terminal's buffers at once.
    void Send(const QByteArray& bytes) const;

    // Every byte that arrives until the line has been quiet for quietMs.
    QByteArray Drain(int quietMs = 200) const;

    // The peer's side of bulk traffic, safe to run on a thread of its own while the program works.
    // Writes as the program reads, until every byte is taken, the program's end is gone or
    // timeoutMs have passed; returns how many bytes were taken.
    qsizetype SendAll(const QByteArray& bytes, int timeoutMs) const;
    // Reads until count bytes have come, the program's end is gone or timeoutMs have passed.
    QByteArray Receive(qsizetype count, int timeoutMs) const;

    termios Settings() const;

    void CloseMaster();

private:
    int FMaster = -1;
    QString FSlavePath;
};
