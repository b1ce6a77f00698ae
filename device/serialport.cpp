#include "device/port.h"

#include <QDeadlineTimer>
#include <QSerialPort>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

// The serial backend: a port of the operating system through QSerialPort, used synchronously on
// the GUI thread. QSerialPort opens and configures the port; the waits and the byte traffic go
// straight to its descriptor, because a write that times out must report exactly the bytes the
// system took (QSerialPort would keep the rest queued and send it later, behind the caller's
// back), and a hang-up must be seen at once rather than as an endless stream of empty reads.

namespace {

constexpr std::uint8_t KDefaultXon = 0x11;
constexpr std::uint8_t KDefaultXoff = 0x13;

class TSerialPort final : public TPort {
public:
    explicit TSerialPort(const QString& portName);

    ZQ_STATUS Open();

    ZQ_STATUS ResetDevice() override;
    ZQ_STATUS SetBaudRate(std::uint32_t baudRate) override;
    ZQ_STATUS SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override;
    ZQ_STATUS SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) override;
    ZQ_STATUS SetChars(std::uint8_t eventChar, std::uint8_t eventCharEnabled, std::uint8_t errorChar,
                       std::uint8_t errorCharEnabled) override;
    ZQ_STATUS SetEventNotification(std::uint32_t mask, void* notification) override;
    ZQ_STATUS SetDtr(bool raised) override { return SetModemLine(TIOCM_DTR, raised); }
    ZQ_STATUS SetRts(bool raised) override { return SetModemLine(TIOCM_RTS, raised); }
    ZQ_STATUS SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) override;
    ZQ_STATUS Purge(std::uint32_t mask) override;
    ZQ_STATUS GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) override;
    ZQ_STATUS GetModemStatus(std::uint32_t* modemStatus) override;
    ZQ_STATUS Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) override;
    ZQ_STATUS Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) override;

private:
    int Descriptor() const { return static_cast<int>(FPort.handle()); }
    bool Alive();
    void GoneAway();
    ZQ_STATUS SettingFailed(ZQ_STATUS refused);
    ZQ_STATUS SetModemLine(int line, bool raised);
    bool SetXonXoffChars(std::uint8_t xon, std::uint8_t xoff);
    static int WaitMs(const QDeadlineTimer& deadline);

    QSerialPort FPort;
    QByteArray FLeft; // what QSerialPort had buffered when the port went away, still to be read
    std::uint32_t FReadTimeout = 0;
    std::uint32_t FWriteTimeout = 0;
    bool FGone = false;
    bool FCheckQueued = false;
};

TSerialPort::TSerialPort(const QString& portName) {
    FPort.setPortName(portName);
    // Between calls the event loop watches the port for QSerialPort. A hung-up port is readable
    // for ever with nothing to read, so QSerialPort would report a read error on every pass of
    // the loop and keep a processor busy until the program's next call here; the check runs
    // queued, outside QSerialPort's own handler, which must not see the port closed under it.
    QObject::connect(&FPort, &QSerialPort::errorOccurred, &FPort, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::NoError || FGone || FCheckQueued)
            return;
        FCheckQueued = true;
        QMetaObject::invokeMethod(
            &FPort,
            [this] {
                FCheckQueued = false;
                Alive();
            },
            Qt::QueuedConnection);
    });
}

ZQ_STATUS TSerialPort::Open() {
    if (!FPort.open(QIODevice::ReadWrite))
        return FPort.error() == QSerialPort::DeviceNotFoundError ? ZQ_DEVICE_NOT_FOUND : ZQ_DEVICE_NOT_OPENED;
    // The waits below rely on reads and writes that never block.
    const int flags = ::fcntl(Descriptor(), F_GETFL);
    if (flags < 0 || ::fcntl(Descriptor(), F_SETFL, flags | O_NONBLOCK) < 0) {
        FPort.close();
        return ZQ_DEVICE_NOT_OPENED;
    }
    return ZQ_OK;
}

// A port whose device was unplugged, or whose peer closed (a pseudo-terminal), is hung up: it
// would report itself readable for ever with nothing to read. Once seen, the port is closed so
// that the event loop stops watching it, and every call fails from then on.
bool TSerialPort::Alive() {
    if (FGone)
        return false;
    pollfd p{Descriptor(), 0, 0};
    if (!FPort.isOpen() || (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))))
        GoneAway();
    return !FGone;
}

void TSerialPort::GoneAway() {
    FGone = true;
    if (FPort.isOpen()) {
        FLeft += FPort.readAll();
        FPort.close();
    }
}

ZQ_STATUS TSerialPort::SettingFailed(ZQ_STATUS refused) {
    if (FPort.error() == QSerialPort::ResourceError || !Alive()) {
        GoneAway();
        return ZQ_IO_ERROR;
    }
    FPort.clearError();
    return refused;
}

int TSerialPort::WaitMs(const QDeadlineTimer& deadline) {
    const qint64 left = deadline.remainingTime();
    return static_cast<int>(std::min<qint64>(left, std::numeric_limits<int>::max()));
}

// The converter's own reset: both buffers discarded and the line back at 9600 bit/s, 8 data bits,
// one stop bit, no parity and no flow control. The modem lines and the time-outs are the host's
// and stay as they are.
ZQ_STATUS TSerialPort::ResetDevice() {
    if (!Alive())
        return ZQ_IO_ERROR;
    FPort.clearError();
    if (!FPort.clear(QSerialPort::AllDirections) || !FPort.setBaudRate(QSerialPort::Baud9600) ||
        !FPort.setDataBits(QSerialPort::Data8) || !FPort.setStopBits(QSerialPort::OneStop) ||
        !FPort.setParity(QSerialPort::NoParity) || !FPort.setFlowControl(QSerialPort::NoFlowControl) ||
        !SetXonXoffChars(KDefaultXon, KDefaultXoff))
        return SettingFailed(ZQ_IO_ERROR);
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::SetBaudRate(std::uint32_t baudRate) {
    if (!Alive())
        return ZQ_IO_ERROR;
    // Rate 0 would mean "hang up" to a terminal driver.
    if (baudRate == 0 || baudRate > static_cast<std::uint32_t>(std::numeric_limits<qint32>::max()))
        return ZQ_INVALID_BAUD_RATE;
    if (!FPort.setBaudRate(static_cast<qint32>(baudRate)))
        return SettingFailed(ZQ_INVALID_BAUD_RATE);
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                              std::uint8_t parity) {
    if (!Alive())
        return ZQ_IO_ERROR;
    QSerialPort::DataBits bits;
    switch (wordLength) {
    case ZQ_BITS_7:
        bits = QSerialPort::Data7;
        break;
    case ZQ_BITS_8:
        bits = QSerialPort::Data8;
        break;
    default:
        return ZQ_INVALID_PARAMETER;
    }
    QSerialPort::StopBits stops;
    switch (stopBits) {
    case ZQ_STOP_BITS_1:
        stops = QSerialPort::OneStop;
        break;
    case ZQ_STOP_BITS_2:
        stops = QSerialPort::TwoStop;
        break;
    default:
        return ZQ_INVALID_PARAMETER;
    }
    QSerialPort::Parity checks;
    switch (parity) {
    case ZQ_PARITY_NONE:
        checks = QSerialPort::NoParity;
        break;
    case ZQ_PARITY_ODD:
        checks = QSerialPort::OddParity;
        break;
    case ZQ_PARITY_EVEN:
        checks = QSerialPort::EvenParity;
        break;
    case ZQ_PARITY_MARK:
        checks = QSerialPort::MarkParity;
        break;
    case ZQ_PARITY_SPACE:
        checks = QSerialPort::SpaceParity;
        break;
    default:
        return ZQ_INVALID_PARAMETER;
    }
    if (!FPort.setDataBits(bits) || !FPort.setStopBits(stops) || !FPort.setParity(checks))
        return SettingFailed(ZQ_NOT_SUPPORTED);
    // Some ports take a framing and quietly keep their own (a pseudo-terminal stays at 8 bits
    // without parity), and QSerialPort does not always notice.
    tcflag_t want = (bits == QSerialPort::Data7 ? CS7 : CS8) | (stops == QSerialPort::TwoStop ? CSTOPB : 0);
    tcflag_t mask = CSIZE | CSTOPB | PARENB;
    if (checks != QSerialPort::NoParity) {
        want |= PARENB | (checks == QSerialPort::OddParity || checks == QSerialPort::MarkParity ? PARODD : 0);
        mask |= PARODD;
#ifdef CMSPAR
        want |= checks == QSerialPort::MarkParity || checks == QSerialPort::SpaceParity ? CMSPAR : 0;
        mask |= CMSPAR;
#endif
    }
    termios tio{};
    if (::tcgetattr(Descriptor(), &tio) < 0)
        return SettingFailed(ZQ_IO_ERROR);
    return (tio.c_cflag & mask) == want ? ZQ_OK : ZQ_NOT_SUPPORTED;
}

// The terminal driver has no DTR/DSR handshake: refusing it keeps the caller from believing the
// line is guarded when it is not.
ZQ_STATUS TSerialPort::SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) {
    if (!Alive())
        return ZQ_IO_ERROR;
    switch (mode) {
    case ZQ_FLOW_NONE:
        if (!FPort.setFlowControl(QSerialPort::NoFlowControl))
            return SettingFailed(ZQ_IO_ERROR);
        return ZQ_OK;
    case ZQ_FLOW_RTS_CTS:
        if (!FPort.setFlowControl(QSerialPort::HardwareControl))
            return SettingFailed(ZQ_NOT_SUPPORTED);
        return ZQ_OK;
    case ZQ_FLOW_DTR_DSR:
        return ZQ_NOT_SUPPORTED;
    case ZQ_FLOW_XON_XOFF:
        if (xon == xoff)
            return ZQ_INVALID_PARAMETER;
        if (!SetXonXoffChars(xon, xoff) || !FPort.setFlowControl(QSerialPort::SoftwareControl))
            return SettingFailed(ZQ_NOT_SUPPORTED);
        return ZQ_OK;
    default:
        return ZQ_INVALID_PARAMETER;
    }
}

// QSerialPort has no say over the XON and XOFF characters; the terminal driver keeps them in its
// control characters, which QSerialPort leaves alone when it changes other settings.
bool TSerialPort::SetXonXoffChars(std::uint8_t xon, std::uint8_t xoff) {
    termios tio{};
    if (::tcgetattr(Descriptor(), &tio) < 0)
        return false;
    tio.c_cc[VSTART] = static_cast<cc_t>(xon);
    tio.c_cc[VSTOP] = static_cast<cc_t>(xoff);
    return ::tcsetattr(Descriptor(), TCSANOW, &tio) == 0;
}

// The event character only decides when a converter hands a partial packet to the host, and the
// error character replaces bytes received with a framing or parity fault; a terminal driver has
// neither. Both are accepted so that a port configured with them still opens and works.
ZQ_STATUS TSerialPort::SetChars(std::uint8_t, std::uint8_t eventCharEnabled, std::uint8_t,
                                std::uint8_t errorCharEnabled) {
    if (!Alive())
        return ZQ_IO_ERROR;
    if (eventCharEnabled > 1 || errorCharEnabled > 1)
        return ZQ_INVALID_PARAMETER;
    return ZQ_OK;
}

// Nothing ever waits on a notification object, so there is nothing to signal.
ZQ_STATUS TSerialPort::SetEventNotification(std::uint32_t, void*) {
    return Alive() ? ZQ_OK : ZQ_IO_ERROR;
}

ZQ_STATUS TSerialPort::SetModemLine(int line, bool raised) {
    if (!Alive())
        return ZQ_IO_ERROR;
    if (::ioctl(Descriptor(), raised ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return ZQ_OK;
    // A pseudo-terminal, for one, has no modem lines to drive.
    if (errno == ENOTTY || errno == EINVAL)
        return ZQ_NOT_SUPPORTED;
    GoneAway();
    return ZQ_IO_ERROR;
}

ZQ_STATUS TSerialPort::SetTimeouts(std::uint32_t readTimeout, std::uint32_t writeTimeout) {
    if (!Alive())
        return ZQ_IO_ERROR;
    FReadTimeout = readTimeout;
    FWriteTimeout = writeTimeout;
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::Purge(std::uint32_t mask) {
    if (mask & ZQ_PURGE_RX)
        FLeft.clear();
    if (!Alive())
        return ZQ_IO_ERROR;
    QSerialPort::Directions directions;
    if (mask & ZQ_PURGE_RX)
        directions |= QSerialPort::Input;
    if (mask & ZQ_PURGE_TX)
        directions |= QSerialPort::Output;
    if (directions && !FPort.clear(directions))
        return SettingFailed(ZQ_IO_ERROR);
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) {
    *eventStatus = 0;
    *txBytes = 0;
    // Bytes QSerialPort took in while the event loop ran come before those the system still holds.
    *rxBytes = static_cast<std::uint32_t>(FLeft.size() + (FPort.isOpen() ? FPort.bytesAvailable() : 0));
    if (!Alive())
        return ZQ_IO_ERROR;
    int waiting = 0;
    int queued = 0;
    if (::ioctl(Descriptor(), FIONREAD, &waiting) < 0 || ::ioctl(Descriptor(), TIOCOUTQ, &queued) < 0) {
        GoneAway();
        return ZQ_IO_ERROR;
    }
    *rxBytes += static_cast<std::uint32_t>(std::max(waiting, 0));
    *txBytes = static_cast<std::uint32_t>(std::max(queued, 0));
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::GetModemStatus(std::uint32_t* modemStatus) {
    *modemStatus = 0;
    if (!Alive())
        return ZQ_IO_ERROR;
    int lines = 0;
    if (::ioctl(Descriptor(), TIOCMGET, &lines) < 0) {
        if (errno == ENOTTY || errno == EINVAL)
            return ZQ_OK;
        GoneAway();
        return ZQ_IO_ERROR;
    }
    if (lines & TIOCM_CTS)
        *modemStatus |= ZQ_MODEM_STATUS_CTS;
    if (lines & TIOCM_DSR)
        *modemStatus |= ZQ_MODEM_STATUS_DSR;
    if (lines & TIOCM_RNG)
        *modemStatus |= ZQ_MODEM_STATUS_RI;
    if (lines & TIOCM_CAR)
        *modemStatus |= ZQ_MODEM_STATUS_DCD;
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::Read(void* buffer, std::uint32_t bytesToRead, std::uint32_t* bytesRead) {
    char* out = static_cast<char*>(buffer);
    std::uint32_t got = 0;
    const auto take = [&](const QByteArray& from) {
        const auto n = std::min<qsizetype>(from.size(), bytesToRead - got);
        std::copy_n(from.constData(), n, out + got);
        got += static_cast<std::uint32_t>(n);
        return n;
    };
    FLeft.remove(0, take(FLeft));
    if (got < bytesToRead && FPort.isOpen())
        take(FPort.read(bytesToRead - got));
    *bytesRead = got;
    if (got == bytesToRead)
        return ZQ_OK;
    if (!Alive())
        return ZQ_IO_ERROR;

    const QDeadlineTimer deadline(static_cast<qint64>(FReadTimeout), Qt::PreciseTimer);
    const int fd = Descriptor();
    bool hungUp = false;
    for (;;) {
        const ssize_t n = ::read(fd, out + got, bytesToRead - got);
        if (n > 0) {
            got += static_cast<std::uint32_t>(n);
            *bytesRead = got;
            if (got == bytesToRead)
                return ZQ_OK;
            continue;
        }
        // With no byte waiting a raw terminal answers 0 or EAGAIN; anything else is a lost device,
        // and so is a hang-up once the bytes before it have been read.
        if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || hungUp) {
            GoneAway();
            return ZQ_IO_ERROR;
        }
        if (deadline.hasExpired())
            return ZQ_OK;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, WaitMs(deadline));
        if (ready < 0 && errno != EINTR) {
            GoneAway();
            return ZQ_IO_ERROR;
        }
        hungUp = ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
    }
}

ZQ_STATUS TSerialPort::Write(const void* buffer, std::uint32_t bytesToWrite, std::uint32_t* bytesWritten) {
    *bytesWritten = 0;
    if (!Alive())
        return ZQ_IO_ERROR;
    const char* in = static_cast<const char*>(buffer);
    const QDeadlineTimer deadline(static_cast<qint64>(FWriteTimeout), Qt::PreciseTimer);
    const int fd = Descriptor();
    while (*bytesWritten < bytesToWrite) {
        const ssize_t n = ::write(fd, in + *bytesWritten, bytesToWrite - *bytesWritten);
        if (n > 0) {
            *bytesWritten += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            GoneAway();
            return ZQ_IO_ERROR;
        }
        if (deadline.hasExpired())
            break;
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, WaitMs(deadline));
        if ((ready < 0 && errno != EINTR) || (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
            GoneAway();
            return ZQ_IO_ERROR;
        }
    }
    return ZQ_OK;
}

} // namespace

std::unique_ptr<TPort> OpenSerialPort(const QString& portName, ZQ_STATUS& status) {
    auto port = std::make_unique<TSerialPort>(portName);
    status = port->Open();
    if (status != ZQ_OK)
        return nullptr;
    return port;
}
