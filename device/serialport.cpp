#include "device/serialport.h"

#include "device/termiosline.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
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
// reports itself readable for ever with nothing to read.
bool TSerialPort::Present() {
    pollfd p{FFd, 0, 0};
    return !(::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)));
}

void TSerialPort::Close() {
    ::close(FFd);
    FFd = -1;
}

// Besides a hang-up, these errors of the call itself say that the device has gone; any other is the
// driver refusing the request.
ZQ_STATUS TSerialPort::Failed(ZQ_STATUS refused) {
    const int error = errno;
    if (!Alive() || error == EIO || error == ENODEV || error == ENXIO) {
        GoneAway();
        return ZQ_IO_ERROR;
    }
    return refused;
}

template <typename Change> ZQ_STATUS TSerialPort::Configure(Change change, ZQ_STATUS refused) {
    return ChangeLine<termios2>([this](termios2& tio) { return ::ioctl(FFd, TCGETS2, &tio) >= 0; },
                                [this](const termios2& tio) { return ::ioctl(FFd, TCSETS2, &tio) >= 0; },
                                change, refused);
}

bool TSerialPort::Discard(bool rx, bool tx) {
    return ::ioctl(FFd, TCFLSH, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) >= 0;
}

ZQ_STATUS TSerialPort::ConfigureReset() {
    return Configure(SetResetLine, ZQ_IO_ERROR);
}

ZQ_STATUS TSerialPort::ConfigureRate(std::uint32_t rate) {
    return Configure([=](termios2& tio) { SetRate(tio, rate); }, ZQ_INVALID_BAUD_RATE);
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
ZQ_STATUS TSerialPort::ConfigureFlow(std::uint16_t mode, std::uint8_t xon, std::uint8_t xoff,
                                     ZQ_STATUS refused) {
    if (mode == ZQ_FLOW_DTR_DSR)
        return ZQ_NOT_SUPPORTED;
    return Configure(
        [=](termios2& tio) {
            tio.c_cflag = (tio.c_cflag & ~CRTSCTS) | (mode == ZQ_FLOW_RTS_CTS ? CRTSCTS : 0);
            tio.c_iflag =
                (tio.c_iflag & ~(IXON | IXOFF | IXANY)) | (mode == ZQ_FLOW_XON_XOFF ? IXON | IXOFF : 0);
            if (mode == ZQ_FLOW_XON_XOFF) {
                tio.c_cc[VSTART] = static_cast<cc_t>(xon);
                tio.c_cc[VSTOP] = static_cast<cc_t>(xoff);
            }
        },
        refused);
}

// A terminal driver has no error character; accepting it lets a port configured with one still
// open and work.
ZQ_STATUS TSerialPort::ConfigureErrorChar(std::uint8_t, bool) {
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::DriveLine(TModemLine line, bool raised) {
    int bit = line == TModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(FFd, raised ? TIOCMBIS : TIOCMBIC, &bit) == 0)
        return ZQ_OK;
    // A pseudo-terminal, for one, has no modem lines to drive.
    if (errno == ENOTTY || errno == EINVAL)
        return ZQ_NOT_SUPPORTED;
    GoneAway();
    return ZQ_IO_ERROR;
}

ZQ_STATUS TSerialPort::ReadInputLines(TInputLines& lines) {
    int bits = 0;
    if (::ioctl(FFd, TIOCMGET, &bits) < 0) {
        if (errno == ENOTTY || errno == EINVAL)
            return ZQ_OK;
        GoneAway();
        return ZQ_IO_ERROR;
    }
    lines = {(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_RNG) != 0,
             (bits & TIOCM_CAR) != 0};
    return ZQ_OK;
}

bool TSerialPort::Queued(std::uint32_t& received, std::uint32_t& sending) {
    int waiting = 0;
    int queued = 0;
    if (::ioctl(FFd, FIONREAD, &waiting) < 0 || ::ioctl(FFd, TIOCOUTQ, &queued) < 0) {
        GoneAway();
        return false;
    }
    received = static_cast<std::uint32_t>(std::max(waiting, 0));
    sending = static_cast<std::uint32_t>(std::max(queued, 0));
    return true;
}

std::size_t TSerialPort::TakeNow(char* into, std::size_t room) {
    const ssize_t n = ::read(FFd, into, room);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

// Moves what the system takes or gives at once, and waits in poll for more until the deadline.
template <typename Move>
ZQ_STATUS TSerialPort::Transfer(short events, std::uint32_t count, std::uint32_t* done,
                                std::uint32_t timeoutMs, Move move) {
    const QDeadlineTimer deadline(static_cast<qint64>(timeoutMs), Qt::PreciseTimer);
    bool hungUp = false;
    while (*done < count) {
        const ssize_t n = move(*done);
        if (n > 0) {
            *done += static_cast<std::uint32_t>(n);
            continue;
        }
        // With no room or no byte waiting a raw terminal answers 0 or EAGAIN; anything else is a
        // lost device, and so is a hang-up once the bytes before it have been read.
        if ((n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) || hungUp) {
            GoneAway();
            return ZQ_IO_ERROR;
        }
        if (deadline.hasExpired())
            return ZQ_OK;
        pollfd p{FFd, events, 0};
        const int ready = ::poll(&p, 1, WaitMs(deadline));
        hungUp = ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
        // Nothing written reaches a peer that has hung up.
        if ((ready < 0 && errno != EINTR) || (hungUp && events == POLLOUT)) {
            GoneAway();
            return ZQ_IO_ERROR;
        }
    }
    return ZQ_OK;
}

ZQ_STATUS TSerialPort::Receive(char* into, std::uint32_t count, std::uint32_t* done,
                               std::uint32_t timeoutMs) {
    return Transfer(POLLIN, count, done, timeoutMs,
                    [&](std::uint32_t from) { return ::read(FFd, into + from, count - from); });
}

ZQ_STATUS TSerialPort::Send(const char* from, std::uint32_t count, std::uint32_t* done,
                            std::uint32_t timeoutMs) {
    return Transfer(POLLOUT, count, done, timeoutMs,
                    [&](std::uint32_t sent) { return ::write(FFd, from + sent, count - sent); });
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
