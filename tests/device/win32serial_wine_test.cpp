// The Win32 serial backend under Wine: the cross-compiled check (win32serial_check.cpp) opens COM41,
// a pseudo-terminal on which this test echoes every byte and reads back each line setting, and
// COM42, where kelmor-drive-sim serves the simulated drive; both linked in a Wine prefix of its own.

#include "tests/device/win32serial_lines.h"
#include "tests/support/pty.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

namespace {

// What the line shows that the case did not set; empty when they agree.
QByteArray LineMismatch(const termios& tio, const TLineCase& line) {
    const std::map<std::uint32_t, speed_t> codes = {{9600, B9600}, {57600, B57600}, {921600, B921600}};
    const bool xonXoff = line.Flow == ZQ_FLOW_XON_XOFF;
    const std::pair<bool, const char*> agree[] = {
        {codes.count(line.Rate) && ::cfgetospeed(&tio) == codes.at(line.Rate), "rate "},
        {(tio.c_cflag & (CSIZE | PARENB)) == CS8, "8 bits without parity "},
        {((tio.c_cflag & CSTOPB) != 0) == (line.StopBits == ZQ_STOP_BITS_2), "stop bits "},
        {((tio.c_cflag & CRTSCTS) != 0) == (line.Flow == ZQ_FLOW_RTS_CTS), "RTS/CTS "},
        {((tio.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF)) == xonXoff, "XON/XOFF "},
        // A reset puts the converter's own characters back; other flows keep whatever was there.
        {!(xonXoff || line.Reset) || (tio.c_cc[VSTART] == line.Xon && tio.c_cc[VSTOP] == line.Xoff),
         "chars "},
    };
    QByteArray wrong;
    for (const auto& [same, what] : agree)
        wrong += same ? "" : what;
    return wrong;
}

// A Wine prefix whose server is stopped at the end, whatever happened. Its programs run without a
// display, debug output or an offer to install Mono or Gecko; the server, which the first program
// starts, dumps its objects to the error output when a pseudo-terminal that it holds hangs up.
struct TWinePrefix {
    ~TWinePrefix() {
        QProcess stop;
        Start(stop, QStringLiteral(KELMOR_WINESERVER), {QStringLiteral("-k")});
        stop.waitForFinished(10'000);
    }
    void Start(QProcess& process, const QString& program, const QStringList& arguments) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("WINEPREFIX"), Dir.path());
        environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        environment.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(environment);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
    }
    QTemporaryDir Dir;
};

} // namespace

TEST(Win32SerialUnderWine, PassesItsChecksAgainstAnEchoPeerAndTheSimulatedDrive) {
    const TWinePrefix prefix;
    TPty echo;
    ASSERT_TRUE(prefix.Dir.isValid() && echo.Ok());
    QProcess sim, boot, check;
    sim.start(QStringLiteral(KELMOR_DRIVE_SIM), {});
    while (sim.waitForStarted(5000) && !sim.canReadLine())
        ASSERT_TRUE(sim.waitForReadyRead(5000));
    // A new prefix takes its time. Wine makes the drives C: and Z: only in a dosdevices folder of its
    // own making, so the ports are linked in afterwards.
    prefix.Start(boot, QStringLiteral(KELMOR_WINE), {QStringLiteral("wineboot"), QStringLiteral("-i")});
    ASSERT_TRUE(boot.waitForFinished(180'000));
    const QDir dosdevices(prefix.Dir.filePath(QStringLiteral("dosdevices")));
    ASSERT_TRUE(QFile::link(echo.SlavePath(), dosdevices.filePath(QStringLiteral("com41"))));
    ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(sim.readLine().trimmed()), dosdevices.filePath("com42")));

    std::atomic<bool> echoing = true;
    std::thread echoer([&] {
        while (echoing) {
            const QByteArray bytes = echo.Receive(4096, 20);
            if (bytes.isEmpty()) // the terminal hangs up while no program has it open
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            echo.SendAll(bytes, 1000);
        }
    });
    prefix.Start(check, QStringLiteral(KELMOR_WINE),
                 {QStringLiteral(KELMOR_WIN32_CHECK), "--confirm", "COM41", "COM42"});
    QByteArray transcript;
    for (const QDeadlineTimer deadline(60'000); !deadline.hasExpired();) {
        if (!check.canReadLine() && !check.waitForReadyRead(500) && check.state() == QProcess::NotRunning)
            break;
        for (QByteArray line; check.canReadLine(); transcript += line) {
            line = check.readLine();
            const std::size_t index = line.mid(5).trimmed().toUInt();
            if (line.startsWith("line ") && index < std::size(KLineCases)) {
                const QByteArray wrong = LineMismatch(echo.Settings(), KLineCases[index]);
                check.write(wrong.isEmpty() ? "ok\n" : wrong + "differ\n");
                check.waitForBytesWritten(5000);
            } else if (line.startsWith("close")) {
                echoing = false;
                echoer.join();
                echo.CloseMaster();
            }
        }
    }
    echoing = false;
    if (echoer.joinable())
        echoer.join();
    for (QProcess* process : {&check, &sim}) {
        process->kill();
        process->waitForFinished(5000);
    }
    EXPECT_TRUE(transcript.trimmed().endsWith(" passed, 0 failed")) << transcript.constData();
}
