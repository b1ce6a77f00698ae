#include "tests/support/pty.h"

#include <QDeadlineTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

// Waits for the master to be ready for events; false once the deadline has passed or the other
// end has gone.
bool WaitFor(int fd, short events, const QDeadlineTimer& deadline) {
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return false;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, int(std::min<qint64>(left, 100)));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0)
            return (p.revents & events) != 0;
    }
}

} // namespace

TPty::TPty() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&FMaster, &slave, name, nullptr, nullptr) != 0)
        return;
    termios tio{};
    ::tcgetattr(FMaster, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(FMaster, TCSANOW, &tio);
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    // A program the test starts must not hold the controlling end too, or closing it here would not
    // hang up the terminal.
    ::fcntl(FMaster, F_SETFD, FD_CLOEXEC);
    ::close(slave);
    FSlavePath = QString::fromLocal8Bit(name);
}

TPty::~TPty() {
    CloseMaster();
}

void TPty::Send(const QByteArray& bytes) const {
    ASSERT_EQ(::write(FMaster, bytes.constData(), bytes.size()), bytes.size());
}

QByteArray TPty::Drain(int quietMs) const {
    QByteArray got;
    char chunk[4096];
    pollfd p{FMaster, POLLIN, 0};
    while (::poll(&p, 1, quietMs) > 0 && (p.revents & POLLIN)) {
        const ssize_t n = ::read(FMaster, chunk, sizeof chunk);
        if (n <= 0)
            break;
        got.append(chunk, n);
    }
    return got;
}

qsizetype TPty::SendAll(const QByteArray& bytes, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(FMaster, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        if (!WaitFor(FMaster, POLLOUT, deadline))
            break;
    }
    return sent;
}

QByteArray TPty::Receive(qsizetype count, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray got;
    char chunk[65536];
    while (got.size() < count) {
        const ssize_t n =
            ::read(FMaster, chunk, size_t(std::min<qsizetype>(count - got.size(), sizeof chunk)));
        if (n > 0) {
            got.append(chunk, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        if (!WaitFor(FMaster, POLLIN, deadline))
            break;
    }
    return got;
}

termios TPty::Settings() const {
    termios tio{};
    ::tcgetattr(FMaster, &tio);
    return tio;
}

void TPty::CloseMaster() {
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}
