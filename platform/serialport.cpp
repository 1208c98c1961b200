#include "platform/serialport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/app.h"
#include "platform/rterror.h"
#include "platform/serialspeed.h"

namespace {

// The longest an output may take to leave the driver before we give up on
// it; a line that cannot take a short frame in this time is not working.
constexpr int kOutputDrainMs = 2000;

struct ParsedSettings {
    qint32 baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1; // 3 means 1.5
};

bool parseSettings(const QString& text, ParsedSettings& out)
{
    const QStringList items = text.split(QLatin1Char(','));
    if (items.size() != 4)
        return false;
    bool ok = false;
    const qint64 baud = items[0].trimmed().toLongLong(&ok);
    if (!ok || baud <= 0 || baud > 4000000)
        return false;
    const QString par = items[1].trimmed().toUpper();
    if (par.size() != 1 || !QStringLiteral("NEOMS").contains(par[0]))
        return false;
    const int data = items[2].trimmed().toInt(&ok);
    if (!ok || data < 5 || data > 8)
        return false;
    const QString stop = items[3].trimmed();
    int stopBits = 0;
    if (stop == QLatin1String("1"))
        stopBits = 1;
    else if (stop == QLatin1String("1.5"))
        stopBits = 3;
    else if (stop == QLatin1String("2"))
        stopBits = 2;
    else
        return false;
    out.baud = qint32(baud);
    out.parity = par[0].toLatin1();
    out.dataBits = data;
    out.stopBits = stopBits;
    return true;
}

speed_t speedOf(qint32 baud)
{
    static const struct {
        qint32 baud;
        speed_t speed;
    } table[] = {{50, B50},         {75, B75},         {110, B110},         {134, B134},         {150, B150},
                 {200, B200},       {300, B300},       {600, B600},         {1200, B1200},       {1800, B1800},
                 {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},     {38400, B38400},
                 {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
                 {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
                 {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000},
                 {4000000, B4000000}};
    for (const auto& e : table)
        if (e.baud == baud)
            return e.speed;
    return B0; // a rate without a code: set through the kernel's own interface
}

// ---- the locks of other serial programs, and our own ----

QString fromErrno(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// The folders of UUCP lock files: both usual places (one folder when one is
// a link to the other), or the one folder the environment names.
QStringList lockDirs()
{
    const QByteArray env = qgetenv("QUINREX3_LOCK_DIR");
    if (!env.isEmpty())
        return {QString::fromLocal8Bit(env)};
    QStringList dirs;
    for (const char* d : {"/run/lock", "/var/lock"}) {
        const QString canonical = QFileInfo(QString::fromLatin1(d)).canonicalFilePath();
        if (!canonical.isEmpty() && !dirs.contains(canonical))
            dirs << canonical;
    }
    return dirs;
}

// The names other programs give the lock file of a device: the path below
// /dev with "/" as "_" (LCK..ttyUSB0, LCK..pts_3) and the bare file name
// (LCK..3), for the device's real path and for the path as configured (a
// link such as /dev/serial/by-id/...). The first is the name we write.
QStringList lockNames(const QString& path)
{
    QStringList names;
    const auto add = [&names](const QString& p) {
        QString below = p.startsWith(QLatin1String("/dev/")) ? p.mid(5) : QFileInfo(p).fileName();
        below.replace(QLatin1Char('/'), QLatin1Char('_'));
        for (const QString& n : {below, QFileInfo(p).fileName()}) {
            const QString name = QStringLiteral("LCK..") + n;
            if (!n.isEmpty() && !names.contains(name))
                names << name;
        }
    };
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty())
        add(canonical);
    add(QDir::cleanPath(path));
    return names;
}

// The process a lock file names, 0 when it names none. Programs write the PID
// in ASCII (blanks, digits, a line end, maybe more words) or as the four
// bytes of a binary integer (whose top byte is then 0: PIDs stay far below).
pid_t lockOwner(const QString& file, bool& exists)
{
    exists = false;
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        exists = errno != ENOENT;
        return 0;
    }
    exists = true;
    char buf[64];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf - 1);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n == 4 && std::memchr(buf, 0, 4)) {
        int pid = 0;
        std::memcpy(&pid, buf, sizeof pid);
        return pid > 0 ? pid : 0;
    }
    if (n <= 0)
        return 0;
    buf[n] = 0;
    const long pid = std::strtol(buf, nullptr, 10); // skips leading blanks
    return pid > 0 && pid <= INT_MAX ? pid_t(pid) : 0;
}

bool processRuns(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// "PID 812 (minicom)", or without the name when the system does not tell it.
QString describeProcess(pid_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    QString name;
    if (comm.open(QIODevice::ReadOnly))
        name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    return QStringLiteral("PID %1").arg(pid) + (name.isEmpty() ? QString() : QStringLiteral(" (") + name + u')');
}

// The process that holds a flock on the device, 0 when the system's lock
// table does not say.
pid_t flockHolder(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return 0;
    const QString inode = QStringLiteral("%1:%2:%3")
                              .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(qulonglong(st.st_ino));
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : locks.readAll().split('\n')) {
        // "1: FLOCK  ADVISORY  WRITE 812 00:19:6 0 EOF"; waiters add "->".
        const QStringList f = QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() >= 6 && f[1] == QLatin1String("FLOCK") && f[5] == inode)
            return pid_t(f[4].toInt());
    }
    return 0;
}

[[noreturn]] void fail(int number, const QString& device, const QString& reason)
{
    rt::raise(number, device + QStringLiteral(": ") + reason);
}

// The reason an open() of the device failed, as the user can act on it.
[[noreturn]] void failOpen(const QString& device, int err)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        fail(rt::ErrCommInvalidPort, device, QStringLiteral("no such device"));
    case EBUSY:
        fail(rt::ErrCommHardware, device, QStringLiteral("busy, opened for exclusive use by another program"));
    case EACCES:
    case EPERM: {
        // Serial devices belong to a group (dialout on Debian) whose members may use them.
        struct stat st {};
        QString groupName = QStringLiteral("dialout");
        if (::stat(QFile::encodeName(device).constData(), &st) == 0 && st.st_gid != 0)
            if (const struct group* g = ::getgrgid(st.st_gid))
                groupName = QString::fromLocal8Bit(g->gr_name);
        fail(rt::ErrCommHardware, device,
             QStringLiteral("permission denied (add the user to the group %1: sudo usermod -aG %1 $USER, "
                            "then log in again)")
                 .arg(groupName));
    }
    default:
        fail(rt::ErrDeviceUnavailable, device, fromErrno(err));
    }
}

// The lock files and exclusive descriptors this process holds, released
// however it ends: fixed tables that a signal handler may walk.
constexpr int kMaxHeld = 16;
char gHeld[kMaxHeld][PATH_MAX];
volatile sig_atomic_t gHeldUsed[kMaxHeld];
volatile sig_atomic_t gExclusive[kMaxHeld] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

void releaseHeld() // async-signal-safe
{
    for (int i = 0; i < kMaxHeld; ++i) {
        if (gHeldUsed[i]) {
            ::unlink(gHeld[i]);
            gHeldUsed[i] = 0;
        }
        // A pseudo-terminal keeps the mode after its last opener is gone.
        if (gExclusive[i] >= 0) {
            ::ioctl(gExclusive[i], TIOCNXCL);
            gExclusive[i] = -1;
        }
    }
}

void registerRelease()
{
    static bool registered = false;
    if (!registered) {
        App::atEnd(&releaseHeld);
        registered = true;
    }
}

void noteHeld(const QString& file, bool held)
{
    registerRelease();
    const QByteArray name = QFile::encodeName(file);
    for (int i = 0; i < kMaxHeld; ++i) {
        if (held && !gHeldUsed[i] && name.size() < PATH_MAX) {
            std::memcpy(gHeld[i], name.constData(), size_t(name.size()) + 1);
            gHeldUsed[i] = 1;
            return;
        }
        if (!held && gHeldUsed[i] && name == gHeld[i]) {
            gHeldUsed[i] = 0;
            return;
        }
    }
}

void noteExclusive(int fd, bool held)
{
    registerRelease();
    for (int i = 0; i < kMaxHeld; ++i)
        if (gExclusive[i] == (held ? -1 : fd)) {
            gExclusive[i] = held ? fd : -1;
            return;
        }
}

// Refuses the device when a process that runs holds one of its lock files;
// removes those of processes that are gone (where the folder lets us).
void checkLockFiles(const QString& device, const QStringList& dirs, const QStringList& names)
{
    for (const QString& dir : dirs)
        for (const QString& name : names) {
            const QString file = dir + u'/' + name;
            bool exists = false;
            const pid_t owner = lockOwner(file, exists);
            if (!exists)
                continue;
            if (processRuns(owner))
                fail(rt::ErrCommHardware, device,
                     QStringLiteral("busy, locked by ") + describeProcess(owner) + QStringLiteral(" in ") + file);
            ::unlink(QFile::encodeName(file).constData()); // stale
        }
}

enum class Made { Yes, Taken, No };

// Writes our lock file in one step: it appears whole, with our PID as the
// ten-character ASCII number other programs expect, or not at all.
Made makeLockFile(const QString& file)
{
    const QByteArray target = QFile::encodeName(file);
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
    QByteArray tmp = QFile::encodeName(QFileInfo(file).path()) + "/.LCK.XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return Made::No;
    const bool written = ::write(fd, text, size_t(len)) == len && ::fchmod(fd, 0644) == 0;
    ::close(fd);
    int linked = written ? ::link(tmp.constData(), target.constData()) : -1;
    const int err = errno;
    ::unlink(tmp.constData());
    if (linked == 0)
        return Made::Yes;
    if (written && err == EEXIST)
        return Made::Taken;
    if (written && err != EEXIST) {
        // A folder on a file system without links: an exclusive create.
        const int x = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (x >= 0) {
            linked = ::write(x, text, size_t(len)) == len ? 0 : -1;
            ::close(x);
            if (linked == 0)
                return Made::Yes;
            ::unlink(target.constData());
        } else if (errno == EEXIST) {
            return Made::Taken;
        }
    }
    return Made::No;
}

// Takes the device's lock file in the first folder that lets us write one;
// "" when none does (the flock and the exclusive mode still keep the device
// ours). Raises when another process took it in the meantime.
QString takeLockFile(const QString& device, const QStringList& dirs, const QStringList& names)
{
    for (const QString& dir : dirs) {
        const QString file = dir + u'/' + names.first();
        for (int attempt = 0; attempt < 2; ++attempt) {
            const Made made = makeLockFile(file);
            if (made == Made::Yes) {
                noteHeld(file, true);
                return file;
            }
            if (made == Made::No)
                break;
            checkLockFiles(device, {dir}, {names.first()}); // raises for a live owner
        }
    }
    return QString();
}

} // namespace

SerialPortControl::SerialPortControl(QObject* parent) : QObject(parent) {}

SerialPortControl::~SerialPortControl() { release(); }

QString SerialPortControl::devicePath(int n)
{
    const QByteArray env = qgetenv(QStringLiteral("QUINREX3_COM%1").arg(n).toLatin1().constData());
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

void SerialPortControl::setCommPort(int n)
{
    if (n < 1 || n > 16)
        rt::raise(rt::ErrCommInvalidPort,
                  QStringLiteral("COM%1: no such port (the ports are COM1 to COM16)").arg(n));
    if (portOpen())
        rt::raise(rt::ErrCommPortOpen);
    commPort_ = n;
}

void SerialPortControl::setSettings(const QString& text)
{
    ParsedSettings p;
    if (!parseSettings(text, p))
        rt::raise(rt::ErrInvalidPropertyValue);
    settings_ = text;
    baud_ = p.baud;
    parity_ = p.parity;
    dataBits_ = p.dataBits;
    stopBits_ = p.stopBits;
    if (portOpen())
        applySettings();
}

void SerialPortControl::applySettings()
{
    // A pseudo-terminal or an adapter may refuse a rate or a parity mode; the
    // line then keeps what it had, as a real port would keep its last mode.
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return;
    ::cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[std::clamp(dataBits_, 5, 8) - 5];
    switch (parity_) {
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'M': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (stopBits_ == 2)
        t.c_cflag |= CSTOPB; // 1.5 stop bits have no code here: one is sent
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t s = speedOf(baud_);
    if (s != B0)
        ::cfsetspeed(&t, s);
    ::tcsetattr(fd_, TCSANOW, &t);
    if (s == B0)
        serial::setAnySpeed(fd_, baud_);
}

void SerialPortControl::setRTSEnable(bool on)
{
    rts_ = on;
    if (portOpen()) {
        // Pseudo-terminals have no modem lines; the request fails there and
        // is of no consequence.
        int bit = TIOCM_RTS;
        ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
    }
}

// The port reads and writes its descriptor itself: each exchange then costs
// a handful of system calls, and bytes never wait in a second buffer.
namespace {
// Bound on what waits unread in our buffer: a line that streams without end
// cannot grow it further (the drivers never need more than a frame).
constexpr qsizetype kInputCap = 64 * 1024;
constexpr int kReadChunk = 4096;

// errno values of a read or write on a device that is no longer there.
bool isGone(int err)
{
    return err == EIO || err == ENXIO || err == ENODEV || err == EBADF || err == EPIPE;
}
} // namespace

bool SerialPortControl::isOpen() const { return fd_ >= 0; }

void SerialPortControl::release()
{
    if (fd_ >= 0) {
        // The mode the line had, and the device open to others again; the
        // flock goes with the descriptor.
        noteExclusive(fd_, false);
        ::ioctl(fd_, TIOCNXCL);
        ::tcsetattr(fd_, TCSANOW, &saved_);
        ::close(fd_);
        fd_ = -1;
    }
    if (!lockFile_.isEmpty()) {
        bool exists = false;
        if (lockOwner(lockFile_, exists) == ::getpid())
            ::unlink(QFile::encodeName(lockFile_).constData());
        noteHeld(lockFile_, false);
        lockFile_.clear();
    }
}

void SerialPortControl::vanished()
{
    rx_.clear();
    release();
}

void SerialPortControl::readDriver()
{
    if (rx_.size() >= kInputCap)
        return;
    char buf[kReadChunk];
    ssize_t n;
    do {
        n = ::read(fd_, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    if (n > 0)
        rx_.append(buf, n);
    else if (n == 0 || isGone(errno))
        vanished(); // end of stream: the other end hung up
}

void SerialPortControl::service()
{
    if (!isOpen())
        return;
    pollfd p{};
    p.fd = fd_;
    p.events = POLLIN;
    int r;
    do {
        r = ::poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    if (r <= 0)
        return;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        vanished();
    else if (p.revents & POLLIN)
        readDriver();
}

bool SerialPortControl::portOpen()
{
    service();
    return isOpen();
}

void SerialPortControl::setPortOpen(bool open)
{
    if (!open) {
        rx_.clear();
        release();
        return;
    }
    if (portOpen())
        rt::raise(rt::ErrCommPortOpen);

    const QString path = devicePath(commPort_);
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        failOpen(path, errno);

    // Lock files first: opening a line another program uses may already
    // disturb it (the modem lines rise).
    const QStringList dirs = lockDirs(), names = lockNames(path);
    checkLockFiles(path, dirs, names);
    lockFile_ = takeLockFile(path, dirs, names);
    try {
        int fd;
        do {
            fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            failOpen(path, errno);
        fd_ = fd;
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                fail(rt::ErrDeviceUnavailable, path, fromErrno(errno));
            const pid_t holder = flockHolder(fd_);
            fail(rt::ErrCommHardware, path,
                 QStringLiteral("busy, locked by ") +
                     (holder > 0 ? describeProcess(holder) : QStringLiteral("another program")));
        }
        if (::tcgetattr(fd_, &saved_) != 0)
            fail(rt::ErrDeviceUnavailable, path, QStringLiteral("not a serial device"));
        // Later openers are refused (all but the system's administrator).
        if (::ioctl(fd_, TIOCEXCL) == 0)
            noteExclusive(fd_, true);
    } catch (const rt::RtError&) {
        saved_ = termios{};
        if (fd_ >= 0) {
            ::close(fd_); // not ours: its mode stays as it was
            fd_ = -1;
        }
        release();
        throw;
    }
    applySettings();
    rx_.clear();
    if (rts_)
        setRTSEnable(true);
}

QByteArray SerialPortControl::input()
{
    if (!portOpen())
        rt::raise(rt::ErrCommNotOpen);
    return take(inputLen_ == 0 ? int(rx_.size()) : inputLen_);
}

QByteArray SerialPortControl::take(int max)
{
    if (rx_.isEmpty() && isOpen())
        service();
    const qsizetype n = std::min<qsizetype>(std::max(max, 0), rx_.size());
    QByteArray out = rx_.left(n);
    rx_.remove(0, n);
    return out;
}

bool SerialPortControl::discardInput()
{
    rx_.clear();
    if (!isOpen())
        return false;
    // Asking costs less than flushing, and mostly nothing waits.
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting > 0)
        ::tcflush(fd_, TCIFLUSH);
    return true;
}

void SerialPortControl::output(const QByteArray& data)
{
    // A device that has gone unnoticed shows itself in the write.
    if (!isOpen())
        rt::raise(rt::ErrCommNotOpen);
    QElapsedTimer clock;
    clock.start();
    const int fd = fd_;
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The driver's buffer is full: wait until it takes more, but not
            // for ever (a line that cannot take a short frame is not working).
            const qint64 left = kOutputDrainMs - clock.elapsed();
            pollfd p{fd, POLLOUT, 0};
            if (left > 0 && ::poll(&p, 1, int(left)) > 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                continue;
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
                vanished();
            return;
        }
        if (n < 0 && isGone(errno))
            vanished();
        return;
    }
}

int SerialPortControl::inBufferCount()
{
    if (!portOpen())
        return 0;
    return int(rx_.size());
}

bool SerialPortControl::waitForInput(int msecs)
{
    if (!isOpen())
        return false;
    if (!rx_.isEmpty())
        return true;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = qMax<qint64>(0, msecs - clock.elapsed());
        pollfd p{};
        p.fd = fd_;
        p.events = POLLIN;
        const int r = ::poll(&p, 1, int(left));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (r == 0)
            return false;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            vanished();
            return false;
        }
        readDriver();
        if (!isOpen())
            return false;
        if (!rx_.isEmpty())
            return true;
        if (left == 0)
            return false;
    }
}
