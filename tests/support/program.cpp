#include "support/program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The runtime folder the children of this test program share (one user's).
QString runtimeDir()
{
    static QTemporaryDir dir;
    return dir.path();
}
} // namespace

ProgramRun::ProgramRun() : env_(QProcessEnvironment::systemEnvironment())
{
    env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env_.insert(QStringLiteral("QX_TEST_BOXES"), QStringLiteral("1"));
    env_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
}

ProgramRun::~ProgramRun()
{
    if (proc_ && proc_->state() != QProcess::NotRunning) {
        proc_->kill();
        proc_->waitForFinished(5000);
    }
}

bool ProgramRun::install(const QString& folder)
{
    const QString target = folder + QStringLiteral("/Quinrex3");
    QFile::remove(target);
    return QFile::copy(QStringLiteral(QX_PROGRAM_PATH), target) &&
           QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner | QFile::ExeGroup |
                                             QFile::ExeOther | QFile::ReadOther);
}

uid_t ProgramRun::nobody()
{
    const passwd* p = ::getpwnam("nobody");
    return p ? p->pw_uid : 65534;
}

bool ProgramRun::start(const QString& folder, const QStringList& args)
{
    proc_ = std::make_unique<QProcess>();
    proc_->setProcessEnvironment(env_);
    proc_->setWorkingDirectory(folder);
    proc_->setReadChannel(QProcess::StandardError);
    if (uid_ != 0) {
        // The other user reads the program folder.
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        for (const QString& name : QDir(folder).entryList(QDir::Files))
            ::chmod(QFile::encodeName(folder + u'/' + name).constData(), name == u"Quinrex3" ? 0755 : 0644);
        const passwd* p = ::getpwuid(uid_);
        const uid_t uid = uid_;
        const gid_t gid = p ? p->pw_gid : uid_;
        proc_->setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        });
    }
    proc_->start(folder + QStringLiteral("/Quinrex3"), args);
    return proc_->waitForStarted(10000);
}

QString ProgramRun::nextBox(int ms)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        pending_ += proc_->readAllStandardError();
        qsizetype nl;
        while ((nl = pending_.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(pending_.left(nl));
            pending_.remove(0, nl + 1);
            log_ += line + u'\n';
            if (line.startsWith(QLatin1String("box: "))) {
                boxes_ << line.mid(5);
                return boxes_.last();
            }
        }
        const qint64 left = ms - t.elapsed();
        if (proc_->state() == QProcess::NotRunning || left <= 0)
            return QString();
        // Blocks until the program writes or ends.
        if (!proc_->waitForReadyRead(int(left)) && proc_->state() == QProcess::NotRunning)
            pending_ += proc_->readAllStandardError();
    }
}

void ProgramRun::answer(const QString& button)
{
    proc_->write((button + u'\n').toLocal8Bit());
    proc_->waitForBytesWritten(5000);
}

int ProgramRun::finish(const std::function<QString(const QString&)>& decide, int ms)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        const QString box = nextBox(int(std::max<qint64>(1, ms - t.elapsed())));
        if (box.isEmpty())
            break;
        answer(decide ? decide(box) : QString());
    }
    if (proc_->state() != QProcess::NotRunning && !proc_->waitForFinished(int(std::max<qint64>(1, ms - t.elapsed())))) {
        proc_->kill();
        proc_->waitForFinished(5000);
        return -1;
    }
    log_ += QString::fromLocal8Bit(pending_ + proc_->readAllStandardError());
    pending_.clear();
    return proc_->exitStatus() == QProcess::NormalExit ? proc_->exitCode() : -1;
}

void ProgramRun::signal(int sig)
{
    ::kill(pid_t(proc_->processId()), sig);
    proc_->waitForFinished(10000);
}

OtherProcess::OtherProcess(const std::function<void()>& take)
{
    int ready[2], go[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(go, O_CLOEXEC) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(go[1]);
        ::close(ready[0]);
        if (take)
            take();
        char c = 'r';
        if (::write(ready[1], &c, 1) == 1)
            while (::read(go[0], &c, 1) < 0 && errno == EINTR) {
            }
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(go[0]);
    go_ = go[1];
    char c;
    while (::read(ready[0], &c, 1) < 0 && errno == EINTR) {
    }
    ::close(ready[0]);
}

void OtherProcess::end()
{
    if (pid_ <= 0)
        return;
    ::close(go_);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

pid_t DeadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

void WriteLockFile(const QString& file, pid_t pid, bool binary)
{
    QFile f(file);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (binary) {
        const int n = pid;
        f.write(reinterpret_cast<const char*>(&n), sizeof n);
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", int(pid));
        f.write(text);
    }
}

QString LockDir() { return QFile::decodeName(qgetenv("QUINREX3_LOCK_DIR")); }
