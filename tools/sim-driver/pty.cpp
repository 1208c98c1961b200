#include "sim-driver/pty.h"

#include <cerrno>
#include <string>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0
        || ::ptsname_r(master_, name, sizeof name) != 0) {
        closeMaster();
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
    slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

PtyPair::~PtyPair()
{
    if (slaveHold_ >= 0)
        ::close(slaveHold_);
    closeMaster();
}

void PtyPair::bindCom(int n) const
{
    qputenv(("QUINREX3_COM" + std::to_string(n)).c_str(), QByteArray::fromStdString(slavePath_));
}

bool PtyPair::write(const QByteArray& data)
{
    qsizetype done = 0;
    while (master_ >= 0 && done < data.size()) {
        const ssize_t n = ::write(master_, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 1000);
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return master_ >= 0;
}

QByteArray PtyPair::collect(int count, int quietMs, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    QByteArray out;
    while (master_ >= 0 && out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, int(std::min<long long>(quietMs, left)));
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

bool PtyPair::stall()
{
    const QByteArray junk(512, 'x');
    // Large pieces first, then single characters: the kernel may refuse a
    // piece where it still has room for a few characters.
    for (const qsizetype piece : {junk.size(), qsizetype(1)}) {
        while (slaveHold_ >= 0) {
            const ssize_t n = ::write(slaveHold_, junk.constData(), size_t(piece));
            if (n >= 0 || errno == EINTR)
                continue;
            if (errno != EAGAIN)
                return false;
            // The kernel moves what it holds on towards the master in its
            // own time, which makes room again (and wakes a writer): the
            // line is full only when no room comes for a while.
            pollfd p{slaveHold_, POLLOUT, 0};
            const int r = ::poll(&p, 1, 250);
            if (r == 0)
                break;
            if (r < 0 && errno != EINTR)
                return false;
        }
    }
    return slaveHold_ >= 0;
}

void PtyPair::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
