#include "device/serialport.h"

#include "device/termiosline.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The serial backend: a terminal device of the operating system, opened, configured and used here
// with the kernel's own calls, synchronously on the GUI thread. The port is taken for this program
// with TIOCEXCL, not with lock files under /var/lock: those go stale when a program dies, and a
// pseudo-terminal number that comes round again finds its stale file. termios2 carries any rate,
// standard or not. A write that times out reports exactly the bytes the system took, and a hang-up
// is seen at once.

namespace {

// The receive count takes what has arrived into the backend, so that a hang-up, which makes the
// system drop its buffer, does not lose it; beyond this the bytes wait in the system.
constexpr qsizetype KMaxHeld = 65536;

TOpenFailure SystemFailure(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return {ZQ_ACCESS_DENIED, error, {}};
    case EBUSY:
        return {ZQ_DEVICE_BUSY, error, {}};
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return {ZQ_DEVICE_NOT_FOUND, error, {}};
    default:
        return {ZQ_DEVICE_NOT_OPENED, error, {}};
    }
}

int WaitMs(const QDeadlineTimer& deadline) {
    const qint64 left = deadline.remainingTime();
    return static_cast<int>(std::min<qint64>(left, std::numeric_limits<int>::max()));
}

} // namespace

// The port goes back to its settings from before the open, as a terminal program leaves it.
TSerialPort::~TSerialPort() {
    if (FFd < 0)
        return;
    ::ioctl(FFd, TCSETS2, &FOriginal);
    ::ioctl(FFd, TIOCNXCL);
    ::close(FFd);
}

// A port whose device was unplugged, or whose peer closed (a pseudo-terminal), is hung up: it
// reports itself readable for ever with nothing to read. Once seen, the port is closed and every
// call fails from then on; what was received before stays readable.
bool TSerialPort::Alive() {
    if (FGone)
        return false;
    pollfd p{FFd, 0, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        GoneAway();
    return !FGone;
}

void TSerialPort::GoneAway() {
    FGone = true;
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

// After a call on the port failed: a port that has gone away fails from now on with ZQ_IO_ERROR,
// otherwise the driver refused the request.
ZQ_STATUS TSerialPort::Failed(ZQ_STATUS refused) {
    const int error = errno;
    if (!Alive() || error == EIO || error == ENODEV || error == ENXIO) {
        GoneAway();
        return ZQ_IO_ERROR;
    }
    return refused;
}

// Changes the line settings and reads them back. Some ports take a setting and quietly keep their
// own (a pseudo-terminal stays at 8 bits without parity): what the driver did not take is refused
// with the status given, and the line goes back to what it had.
template <typename Change> ZQ_STATUS TSerialPort::Configure(Change change, ZQ_STATUS refused) {
    if (!Alive())
        return ZQ_IO_ERROR;
    termios2 before{};
    if (::ioctl(FFd, TCGETS2, &before) < 0)
        return Failed(ZQ_IO_ERROR);
    termios2 want = before;
    change(want);
    if (::ioctl(FFd, TCSETS2, &want) < 0)
        return Failed(refused);
    termios2 got{};
    if (::ioctl(FFd, TCGETS2, &got) < 0)
        return Failed(ZQ_IO_ERROR);
    if (Took(want, got))
        return ZQ_OK;
    if (::ioctl(FFd, TCSETS2, &before) < 0)
        return Failed(refused);
    return refused;
}

// The converter's own reset: both buffers discarded and the line back to its reset settings. The
// modem lines and the time-outs are the host's and stay as they are.
ZQ_STATUS TSerialPort::ResetDevice() {
    FHeld.clear();
    if (!Alive())
        return ZQ_IO_ERROR;
    if (::ioctl(FFd, TCFLSH, TCIOFLUSH) < 0)
        return Failed(ZQ_IO_ERROR);
    return Configure(SetResetLine, ZQ_IO_ERROR);
}

ZQ_STATUS TSerialPort::SetBaudRate(std::uint32_t baudRate) {
    if (!Alive())
        return ZQ_IO_ERROR;
    // Rate 0 would mean "hang up" to a terminal driver.
    if (baudRate == 0 || baudRate > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        return ZQ_INVALID_BAUD_RATE;
    return Configure([=](termios2& tio) { SetRate(tio, baudRate); }, ZQ_INVALID_BAUD_RATE);
}

// The library has checked the codes. Mark and space parity are the sticky parity bit (CMSPAR)
// with odd or even.
ZQ_STATUS TSerialPort::SetDataCharacteristics(std::uint8_t wordLength, std::uint8_t stopBits,
                                              std::uint8_t parity) {
    tcflag_t flags = (wordLength == ZQ_BITS_7 ? CS7 : CS8) | (stopBits == ZQ_STOP_BITS_2 ? CSTOPB : 0);
    switch (parity) {
    case ZQ_PARITY_ODD:
        flags |= PARENB | PARODD;
        break;
    case ZQ_PARITY_EVEN:
        flags |= PARENB;
        break;
    case ZQ_PARITY_MARK:
        flags |= PARENB | PARODD | CMSPAR;
        break;
    case ZQ_PARITY_SPACE:
        flags |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    return Configure(
        [=](termios2& tio) {
            tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
            tio.c_cflag |= flags;
        },
        ZQ_NOT_SUPPORTED);
}

// The terminal driver has no DTR/DSR handshake: refusing it keeps the caller from believing the
// line is guarded when it is not.
ZQ_STATUS TSerialPort::SetFlowControl(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff) {
    if (!Alive())
        return ZQ_IO_ERROR;
    const auto flow = [](tcflag_t control, tcflag_t input) {
        return [=](termios2& tio) {
            tio.c_cflag = (tio.c_cflag & ~CRTSCTS) | control;
            tio.c_iflag = (tio.c_iflag & ~(IXON | IXOFF | IXANY)) | input;
        };
    };
    switch (mode) {
    case ZQ_FLOW_NONE:
        return Configure(flow(0, 0), ZQ_IO_ERROR);
    case ZQ_FLOW_RTS_CTS:
        return Configure(flow(CRTSCTS, 0), ZQ_NOT_SUPPORTED);
    case ZQ_FLOW_DTR_DSR:
        return ZQ_NOT_SUPPORTED;
    case ZQ_FLOW_XON_XOFF:
        if (xon == xoff)
            return ZQ_INVALID_PARAMETER;
        return Configure(
            [=](termios2& tio) {
                flow(0, IXON | IXOFF)(tio);
                tio.c_cc[VSTART] = static_cast<cc_t>(xon);
                tio.c_cc[VSTOP] = static_cast<cc_t>(xoff);
            },
            ZQ_NOT_SUPPORTED);
    default:
        return ZQ_INVALID_PARAMETER;
    }
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

ZQ_STATUS TSerialPort::SetDtr(bool raised) {
    return SetModemLine(TIOCM_DTR, raised);
}

ZQ_STATUS TSerialPort::SetRts(bool raised) {
    return SetModemLine(TIOCM_RTS, raised);
}

ZQ_STATUS TSerialPort::SetModemLine(int line, bool raised) {
    if (!Alive())
        return ZQ_IO_ERROR;
    if (::ioctl(FFd, raised ? TIOCMBIS : TIOCMBIC, &line) == 0)
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
        FHeld.clear();
    if (!Alive())
        return ZQ_IO_ERROR;
    const bool rx = mask & ZQ_PURGE_RX;
    const bool tx = mask & ZQ_PURGE_TX;
    if ((rx || tx) && ::ioctl(FFd, TCFLSH, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) < 0)
        return Failed(ZQ_IO_ERROR);
    return ZQ_OK;
}

void TSerialPort::TakeIn() {
    char chunk[4096];
    while (FHeld.size() < KMaxHeld) {
        const auto room =
            static_cast<std::size_t>(std::min<qsizetype>(sizeof chunk, KMaxHeld - FHeld.size()));
        const ssize_t n = ::read(FFd, chunk, room);
        if (n <= 0)
            return;
        FHeld.append(chunk, n);
    }
}

ZQ_STATUS TSerialPort::GetStatus(std::uint32_t* rxBytes, std::uint32_t* txBytes, std::uint32_t* eventStatus) {
    *eventStatus = 0;
    *txBytes = 0;
    if (Alive())
        TakeIn();
    *rxBytes = static_cast<std::uint32_t>(FHeld.size());
    if (!Alive())
        return ZQ_IO_ERROR;
    int waiting = 0;
    int queued = 0;
    if (::ioctl(FFd, FIONREAD, &waiting) < 0 || ::ioctl(FFd, TIOCOUTQ, &queued) < 0) {
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
    if (::ioctl(FFd, TIOCMGET, &lines) < 0) {
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
    std::uint32_t got = static_cast<std::uint32_t>(std::min<qsizetype>(FHeld.size(), bytesToRead));
    std::copy_n(FHeld.constData(), got, out);
    FHeld.remove(0, got);
    *bytesRead = got;
    if (got == bytesToRead)
        return ZQ_OK;
    if (!Alive())
        return ZQ_IO_ERROR;

    const QDeadlineTimer deadline(static_cast<qint64>(FReadTimeout), Qt::PreciseTimer);
    bool hungUp = false;
    for (;;) {
        const ssize_t n = ::read(FFd, out + got, bytesToRead - got);
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
        pollfd p{FFd, POLLIN, 0};
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
    while (*bytesWritten < bytesToWrite) {
        const ssize_t n = ::write(FFd, in + *bytesWritten, bytesToWrite - *bytesWritten);
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
        pollfd p{FFd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, WaitMs(deadline));
        if ((ready < 0 && errno != EINTR) || (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))) {
            GoneAway();
            return ZQ_IO_ERROR;
        }
    }
    return ZQ_OK;
}

// Reads and writes never block: the waits above are the backend's own, bounded by the time-outs.
std::unique_ptr<TPort> OpenSerialPort(const QString& portName, TOpenFailure& failure) {
    const int fd =
        ::open(QFile::encodeName(portName).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = SystemFailure(errno);
        return nullptr;
    }
    termios2 original{};
    if (::ioctl(fd, TCGETS2, &original) < 0 || ::ioctl(fd, TIOCEXCL) < 0) {
        failure = SystemFailure(errno);
        ::close(fd);
        return nullptr;
    }
    termios2 line = original;
    SetResetLine(line);
    if (::ioctl(fd, TCSETS2, &line) < 0) {
        failure = SystemFailure(errno);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<TSerialPort>(fd, original);
}
