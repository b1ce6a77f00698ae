#pragma once

// kelmor-drive-sim on a pseudo-terminal of its own, as a drive on a real serial port: started with
// the plant parameters given, paced at 115200 bit/s, and telling of every line it takes up.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

class TDriveProgram {
public:
    explicit TDriveProgram(const QString& plant = {}) {
        QStringList arguments = {QStringLiteral("--baud"), QStringLiteral("115200"),
                                 QStringLiteral("--trace")};
        if (!plant.isEmpty())
            arguments << QStringLiteral("--plant") << plant;
        FProcess.start(QStringLiteral(KELMOR_DRIVE_SIM), arguments);
        if (FProcess.waitForStarted(5000))
            while (!FProcess.canReadLine() && FProcess.waitForReadyRead(5000)) {
            }
        FPath = QString::fromLocal8Bit(FProcess.readLine().trimmed());
    }
    ~TDriveProgram() { Stop(); }
    TDriveProgram(const TDriveProgram&) = delete;
    TDriveProgram& operator=(const TDriveProgram&) = delete;

    // The pseudo-terminal to open as the drive's port; empty when the program did not start.
    const QString& Path() const { return FPath; }

    // The lines the drive has taken up so far, each "time line @position".
    QStringList Trace() {
        FTrace += FProcess.readAllStandardError();
        return QString::fromLatin1(FTrace).split('\n', Qt::SkipEmptyParts);
    }

    // The drive switched off, or its cable pulled.
    void Stop() {
        if (FProcess.state() == QProcess::NotRunning)
            return;
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }

private:
    QProcess FProcess;
    QString FPath;
    QByteArray FTrace;
};
