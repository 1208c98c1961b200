#include "support/pty.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
using SteadyClock = std::chrono::steady_clock;

int msLeft(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return left < 0 ? 0 : int(left);
}
} // namespace

PtyPair::PtyPair(bool holdSlave)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        return;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        master_ = -1;
        return;
    }
    slavePath_ = name;
    // On Linux the line settings set through the master are the slave's: make
    // the line raw so that nothing is echoed or translated before the code
    // under test sets its own mode.
    termios t{};
    if (::tcgetattr(master_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    if (holdSlave)
        slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

PtyPair::~PtyPair()
{
    releaseSlave();
    closeMaster();
}

bool PtyPair::write(const QByteArray& data)
{
    if (master_ < 0)
        return false;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(master_, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 1000);
            continue;
        }
        return false;
    }
    return true;
}

QByteArray PtyPair::read(int count, int timeoutMs)
{
    QByteArray out;
    if (master_ < 0)
        return out;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count) {
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || !(p.revents & POLLIN))
            break;
        char buf[256];
        const ssize_t n = ::read(master_, buf, size_t(std::min<qsizetype>(count - out.size(), sizeof buf)));
        if (n > 0)
            out.append(buf, n);
        else if (!(n < 0 && (errno == EINTR || errno == EAGAIN)))
            break;
    }
    return out;
}

QByteArray PtyPair::readUntilQuiet(int quietMs, int timeoutMs)
{
    QByteArray out;
    if (master_ < 0)
        return out;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (SteadyClock::now() >= deadline)
            break;
        const int wait = std::min(quietMs, msLeft(deadline));
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, wait);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || !(p.revents & POLLIN))
            break;
        char buf[256];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0)
            out.append(buf, n);
        else if (!(n < 0 && (errno == EINTR || errno == EAGAIN)))
            break;
    }
    return out;
}

void PtyPair::drain()
{
    char buf[256];
    while (master_ >= 0 && ::read(master_, buf, sizeof buf) > 0) {
    }
}

void PtyPair::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::releaseSlave()
{
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    slaveHold_ = -1;
}
