#pragma once

#include <QByteArray>
#include <QString>

// The drive's answer to the identification line "i", as it last came: the first line the drive sends
// after its echo of the line. Any other line sent before the answer came ends the wait; an answer of
// "?" (a line the drive did not take) is no identification.
class TIdentification {
public:
    // A line the drive took, without its CR.
    void LineSent(const QByteArray& line);
    // Bytes the drive sent, as the terminal shows them.
    void Received(const QByteArray& bytes);
    // Empty until a drive has answered.
    const QString& Text() const { return FText; }

private:
    bool FWaiting = false;
    QByteArray FHeard;
    QString FText;
};
