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

// The kernel's numbers of pseudo-terminal slaves.
bool isPseudoTerminal(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
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

// A lock file with no PID in it is younger than this while its writer is
// still at it (it creates the file, then writes): it is held meanwhile.
constexpr int kFreshLockSeconds = 5;

// What a lock file shows of its owner.
struct LockSeen {
    bool exists = false;
    bool unreadable = false; // there, but we may not read it: its owner may well run
    pid_t owner = 0;         // the process it names, 0 when it names none
    bool fresh = false;      // names none and was written a moment ago
    dev_t dev = 0;           // the file looked at
    ino_t ino = 0;
};

// Programs write the PID in ASCII (blanks, digits, a line end, maybe more
// words) or as the four bytes of a binary integer (whose top byte is then 0:
// PIDs stay far below).
LockSeen examineLock(const QString& file)
{
    LockSeen seen;
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        // There, but not for us to read (another user's, a link): its owner
        // may well run. A folder we may not look into tells nothing.
        struct stat st {};
        seen.exists = errno != ENOENT && ::lstat(QFile::encodeName(file).constData(), &st) == 0;
        seen.unreadable = seen.exists;
        return seen;
    }
    seen.exists = true;
    struct stat st {};
    char buf[64];
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            n = ::read(fd, buf, sizeof buf - 1);
        } while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n < 0) {
        seen.unreadable = true;
        return seen;
    }
    seen.dev = st.st_dev;
    seen.ino = st.st_ino;
    if (n == 4 && std::memchr(buf, 0, 4)) {
        int pid = 0;
        std::memcpy(&pid, buf, sizeof pid);
        seen.owner = pid > 0 ? pid : 0;
    } else if (n > 0) {
        buf[n] = 0;
        const long pid = std::strtol(buf, nullptr, 10); // skips leading blanks
        seen.owner = pid > 0 && pid <= INT_MAX ? pid_t(pid) : 0;
    }
    if (seen.owner == 0) {
        const time_t age = ::time(nullptr) - st.st_mtime;
        seen.fresh = age < kFreshLockSeconds && age > -kFreshLockSeconds;
    }
    return seen;
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

// Refuses the device when one of its lock files is held: it names a process
// that runs, we may not read it, or it is still being written.
void refuseIfHeld(const QString& device, const QString& file, const LockSeen& seen)
{
    if (seen.unreadable)
        fail(rt::ErrCommHardware, device,
             QStringLiteral("busy, locked in ") + file + QStringLiteral(" (a lock file this user may not read)"));
    if (processRuns(seen.owner))
        fail(rt::ErrCommHardware, device,
             QStringLiteral("busy, locked by ") + describeProcess(seen.owner) + QStringLiteral(" in ") + file);
    if (seen.fresh)
        fail(rt::ErrCommHardware, device,
             QStringLiteral("busy, another program is taking the lock ") + file);
}

// Removes the stale lock file `seen` showed, and nothing else: it is first
// moved to a name of our own, and a file that turns out to be another one
// (an opener put its fresh lock there in the meantime) is put back.
void removeStale(const QString& file, const LockSeen& seen)
{
    const QByteArray name = QFile::encodeName(file);
    const QByteArray aside = name + ".stale." + QByteArray::number(qint64(::getpid()));
    if (::rename(name.constData(), aside.constData()) != 0)
        return; // gone already, or not ours to move: the lock stays taken
    struct stat st {};
    if (::lstat(aside.constData(), &st) == 0 && st.st_dev == seen.dev && st.st_ino == seen.ino) {
        ::unlink(aside.constData());
        return;
    }
    if (::link(aside.constData(), name.constData()) == 0)
        ::unlink(aside.constData());
    else
        ::rename(aside.constData(), name.constData());
}

// Refuses the device when a lock file of it is held; removes the stale ones
// (where the folder lets us).
void checkLockFiles(const QString& device, const QStringList& dirs, const QStringList& names)
{
    for (const QString& dir : dirs)
        for (const QString& name : names) {
            const QString file = dir + u'/' + name;
            const LockSeen seen = examineLock(file);
            if (!seen.exists)
                continue;
            refuseIfHeld(device, file, seen);
            removeStale(file, seen);
        }
}

enum class Made { Yes, Taken, No };

// Writes our lock file in one step: it appears whole, with our PID as the
// ten-character ASCII number other programs expect, or not at all. `ino`
// receives the file's identity.
Made makeLockFile(const QString& file, dev_t& dev, ino_t& ino)
{
    const QByteArray target = QFile::encodeName(file);
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
    QByteArray tmp = QFile::encodeName(QFileInfo(file).path()) + "/.LCK.XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return Made::No;
    struct stat st {};
    const bool written = ::write(fd, text, size_t(len)) == len && ::fchmod(fd, 0644) == 0 && ::fstat(fd, &st) == 0;
    ::close(fd);
    dev = st.st_dev;
    ino = st.st_ino;
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
            linked = ::write(x, text, size_t(len)) == len && ::fstat(x, &st) == 0 ? 0 : -1;
            ::close(x);
            dev = st.st_dev;
            ino = st.st_ino;
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
// ours). Raises when another process holds it. The file is ours only while
// it is the very file we made: another opener that judged the old one stale
// at the same time may have moved ours aside for a moment.
QString takeLockFile(const QString& device, const QStringList& dirs, const QStringList& names)
{
    for (const QString& dir : dirs) {
        const QString file = dir + u'/' + names.first();
        dev_t ourDev = 0;
        ino_t ourIno = 0;
        bool madeOne = false;
        for (int attempt = 0; attempt < 3; ++attempt) {
            dev_t dev = 0;
            ino_t ino = 0;
            const Made made = makeLockFile(file, dev, ino);
            if (made == Made::No)
                break;
            if (made == Made::Yes) {
                ourDev = dev;
                ourIno = ino;
                madeOne = true;
            }
            const LockSeen seen = examineLock(file);
            if (madeOne && seen.exists && !seen.unreadable && seen.dev == ourDev && seen.ino == ourIno) {
                noteHeld(file, true);
                return file;
            }
            if (!seen.exists)
                continue;
            refuseIfHeld(device, file, seen);
            removeStale(file, seen);
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
    serial::LineSettings p;
    if (!p.parse(text))
        rt::raise(rt::ErrInvalidPropertyValue);
    settings_ = text;
    line_ = p;
    if (portOpen()) {
        const QString refused = applySettings();
        if (!refused.isEmpty()) {
            // The port is open as it was set, or not at all.
            rx_.clear();
            release();
            rt::raise(rt::ErrDeviceUnavailable, refused);
        }
    }
}

QString SerialPortControl::applySettings()
{
    const QString device = devicePath(commPort_);
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return device + QStringLiteral(": ") + fromErrno(errno);
    const termios want = serial::LineMode(t, line_);
    // The driver may take part of a mode and still report success, or round
    // a rate: what counts is what it reads back.
    ::tcsetattr(fd_, TCSANOW, &want);
    if (speedOf(line_.baud) == B0)
        serial::setAnySpeed(fd_, line_.baud);
    termios got{};
    if (::tcgetattr(fd_, &got) != 0)
        return device + QStringLiteral(": ") + fromErrno(errno);
    marks_.reset();
    marking_ = (got.c_iflag & PARMRK) != 0;
    noise_ = false;
    return serial::RefusedSettings(line_, got.c_cflag, serial::lineSpeed(fd_), isPseudoTerminal(fd_), device);
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
        if (examineLock(lockFile_).owner == ::getpid())
            ::unlink(QFile::encodeName(lockFile_).constData());
        noteHeld(lockFile_, false);
        lockFile_.clear();
    }
}

void SerialPortControl::vanished()
{
    // What was read before the hang-up stays for the exchange that waits
    // for it; the next opening starts afresh.
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
    if (n > 0) {
        if (marking_)
            noise_ = marks_.unmark(buf, n, rx_) > 0 || noise_;
        else
            rx_.append(buf, n);
    } else if (n == 0 || isGone(errno)) {
        vanished(); // end of stream: the other end hung up
    }
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
    // Characters that came before a hang-up are read first.
    if (p.revents & POLLIN)
        readDriver();
    if (isOpen() && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        vanished();
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
    rx_.clear();
    const QString refused = applySettings();
    if (!refused.isEmpty()) {
        release();
        rt::raise(rt::ErrDeviceUnavailable, refused);
    }
    ++openings_;
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
    marks_.reset();
    noise_ = false;
    if (!isOpen())
        return false;
    // Asking costs less than flushing, and mostly nothing waits.
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting > 0)
        ::tcflush(fd_, TCIFLUSH);
    return true;
}

bool SerialPortControl::output(const QByteArray& data, int waitMs)
{
    // A device that has gone unnoticed shows itself in the write.
    if (!isOpen())
        rt::raise(rt::ErrCommNotOpen);
    return writeOut(data, QDeadlineTimer(waitMs), true);
}

bool SerialPortControl::send(const QByteArray& data, const QDeadlineTimer& deadline)
{
    return writeOut(data, deadline, false);
}

bool SerialPortControl::writeOut(const QByteArray& data, const QDeadlineTimer& deadline, bool keepHeld)
{
    if (!isOpen())
        return false;
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
            // The driver's buffer is full: wait until it takes more, but only
            // as long as the caller may wait.
            pollfd p{fd, POLLOUT, 0};
            const int r = deadline.hasExpired() ? 0 : ::poll(&p, 1, int(std::min<qint64>(deadline.remainingTime(), INT_MAX)));
            if (r > 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)))
                continue;
            if (r < 0 && errno == EINTR)
                continue;
            if (r > 0) {
                vanished();
                return false;
            }
            // A line that does not move: what it holds of this text would go
            // out whenever it moves again, long after anyone waits for it.
            if (done > 0 || !keepHeld)
                discardOutput();
            return false;
        }
        if (n < 0 && isGone(errno))
            vanished();
        else
            discardOutput();
        return false;
    }
    return true;
}

void SerialPortControl::discardOutput()
{
    if (isOpen())
        ::tcflush(fd_, TCOFLUSH);
}

bool SerialPortControl::takeNoise()
{
    const bool was = noise_;
    noise_ = false;
    return was;
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
        if (p.revents & POLLIN)
            readDriver();
        if (isOpen() && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
            vanished();
        if (!isOpen())
            return false;
        if (!rx_.isEmpty())
            return true;
        if (left == 0)
            return false;
    }
}

namespace serial {

bool LineSettings::parse(const QString& text)
{
    const QStringList items = text.split(QLatin1Char(','));
    if (items.size() != 4)
        return false;
    bool ok = false;
    const qint64 rate = items[0].trimmed().toLongLong(&ok);
    if (!ok || rate <= 0 || rate > 4000000)
        return false;
    const QString par = items[1].trimmed().toUpper();
    if (par.size() != 1 || !QStringLiteral("NEOMS").contains(par[0]))
        return false;
    const int data = items[2].trimmed().toInt(&ok);
    if (!ok || data < 5 || data > 8)
        return false;
    const QString stop = items[3].trimmed();
    int stops = 0;
    if (stop == QLatin1String("1"))
        stops = 1;
    else if (stop == QLatin1String("1.5"))
        stops = 3;
    else if (stop == QLatin1String("2"))
        stops = 2;
    else
        return false;
    baud = qint32(rate);
    parity = par[0].toLatin1();
    dataBits = data;
    stopBits = stops;
    return true;
}

termios LineMode(const termios& current, const LineSettings& s)
{
    termios t = current;
    ::cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP | IGNBRK | BRKINT);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[std::clamp(s.dataBits, 5, 8) - 5];
    switch (s.parity) {
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'M': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    // A character that fails its parity must not pass for a good one. It is
    // marked rather than dropped (IGNPAR) or turned into a 00 byte (which a
    // reply may well hold): the exchange then knows the reply was spoiled.
    if (t.c_cflag & PARENB)
        t.c_iflag |= INPCK | PARMRK;
    // 1.5 stop bits have no code: the read-back reports them as refused.
    if (s.stopBits != 1)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t code = speedOf(s.baud);
    if (code != B0)
        ::cfsetspeed(&t, code);
    return t;
}

QString RefusedSettings(const LineSettings& wanted, tcflag_t cflag, qint32 baud, bool pseudoTerminal,
                        const QString& device)
{
    QStringList refused;
    bool plural = false;
    if (baud != wanted.baud)
        refused << QStringLiteral("%1 baud").arg(wanted.baud);
    if (!pseudoTerminal) {
        static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        if ((cflag & CSIZE) != sizes[std::clamp(wanted.dataBits, 5, 8) - 5]) {
            refused << QStringLiteral("%1 data bits").arg(wanted.dataBits);
            plural = true;
        }
        const tcflag_t want = LineMode(termios{}, wanted).c_cflag & (PARENB | PARODD | CMSPAR);
        if ((cflag & (PARENB | PARODD | CMSPAR)) != want) {
            static const char* const names[] = {"no parity", "even parity", "odd parity", "mark parity",
                                                "space parity"};
            refused << QString::fromLatin1(names[std::max(0, int(QByteArrayLiteral("NEOMS").indexOf(wanted.parity)))]);
        }
    }
    if (wanted.stopBits == 3 || bool(cflag & CSTOPB) != (wanted.stopBits == 2)) {
        refused << (wanted.stopBits == 3 ? QStringLiteral("1.5 stop bits")
                                         : QStringLiteral("%1 stop bit%2").arg(wanted.stopBits).arg(
                                               wanted.stopBits == 1 ? "" : "s"));
        plural = plural || wanted.stopBits != 1;
    }
    if (refused.isEmpty())
        return QString();
    plural = plural || refused.size() > 1;
    QString names = refused.first();
    for (int i = 1; i < refused.size(); ++i)
        names += (i + 1 == refused.size() ? QStringLiteral(" and ") : QStringLiteral(", ")) + refused[i];
    return names + (plural ? QStringLiteral(" are") : QStringLiteral(" is")) + QStringLiteral(" not available on ") +
        device;
}

int ParityMarks::unmark(const char* in, qsizetype n, QByteArray& out)
{
    int bad = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = in[i];
        switch (state_) {
        case 0:
            if (c == '\xFF')
                state_ = 1;
            else
                out.append(c);
            break;
        case 1: // FF FF is a received FF; FF 00 opens a mark
            if (c == '\0') {
                state_ = 2;
            } else {
                out.append(c);
                state_ = 0;
            }
            break;
        default: // the character that came with an error (00 for a break)
            out.append(c);
            ++bad;
            state_ = 0;
            break;
        }
    }
    return bad;
}

} // namespace serial
