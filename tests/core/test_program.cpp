// The program itself as other programs and users meet it: the locks on its
// line, the single-copy question, and the program folder laid out while a
// copy runs.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/program.h"
#include "sim-driver/simulator.h"
#include "support/testenv.h"

namespace {

const QString kInitComm = QStringLiteral(
    "InitComm | The selected communications port, COM1, either does not exist or is in use.  All functions that "
    "require communications to the instruments(s) will be disabled. / ");
const QString kAlreadyRunning = QStringLiteral("Program Already Running | ");
const QString kNotFound = QStringLiteral("Auto Send File Not Found | ");

// A command line that makes the program stop at a box after start-up (the
// port is open by then) and end with status 2 once it is answered.
const QStringList kStopAtBox = {QStringLiteral("missing.csv"), QStringLiteral("01")};

class ProgramTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        copySampleData();
        ASSERT_TRUE(ProgramRun::install(programDir()));
        ASSERT_TRUE(sim_.start()) << sim_.errorText();
        device_ = sim_.ptyPath();
    }
    void start(ProgramRun& run, const QStringList& args = kStopAtBox, const QString& folder = QString())
    {
        run.env().insert(QStringLiteral("QUINREX3_COM1"), QString::fromStdString(device_));
        ASSERT_TRUE(run.start(folder.isEmpty() ? programDir() : folder, args));
    }
    QString ourLockFile() const { return LockDir() + QStringLiteral("/LCK..pts_") + QFileInfo(QString::fromStdString(device_)).fileName(); }
    // Whether another process could flock the device now, and whether it is in exclusive mode.
    std::pair<bool, bool> seen() const
    {
        const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        int excl = 0;
        ::ioctl(fd, TIOCGEXCL, &excl);
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return {free, excl != 0};
    }

    SimProcess sim_;
    std::string device_;
};

} // namespace

// Held by another program: a lock file of a live process, a flock, the
// exclusive mode (which binds only users other than root): the program
// shows the "InitComm" message with the device and the reason, and the
// other program's lock stays as it was.
TEST_F(ProgramTest, LineHeldByAnotherProgramGivesTheInitCommMessage)
{
    const std::string dev = device_;
    const QString name = QFileInfo(QString::fromStdString(dev)).fileName();
    struct Case {
        const char* what;
        int hold; // 0 lock file, 1 flock, 2 exclusive mode
    };
    for (const Case c : {Case{"lock file", 0}, Case{"flock", 1}, Case{"exclusive mode", 2}}) {
        SCOPED_TRACE(c.what);
        OtherProcess other([&] {
            const int fd = ::open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (c.hold == 1)
                ::flock(fd, LOCK_EX | LOCK_NB);
            if (c.hold == 2)
                ::ioctl(fd, TIOCEXCL);
        });
        const QString lockFile = LockDir() + QStringLiteral("/LCK..") + name; // as minicom names it
        if (c.hold == 0)
            WriteLockFile(lockFile, other.pid());
        const auto contents = [&] {
            QFile f(lockFile);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        const QByteArray before = contents();

        ProgramRun run;
        if (c.hold == 2) {
            run.runAs(ProgramRun::nobody());
            run.env().remove(QStringLiteral("XDG_RUNTIME_DIR"));
            ::chmod(dev.c_str(), 0666);
        }
        start(run);
        const QString box = run.nextBox();
        const QString reason = c.hold == 2 ? QStringLiteral("busy, opened for exclusive use by another program")
                                           : QStringLiteral("busy, locked by PID %1").arg(other.pid());
        EXPECT_TRUE(box.startsWith(kInitComm + QString::fromStdString(dev) + QStringLiteral(": ") + reason))
            << box.toStdString() << "\n" << run.log().toStdString();
        run.answer(QString());
        EXPECT_EQ(run.finish(), 2);

        if (c.hold == 0) {
            EXPECT_EQ(contents(), before);
            EXPECT_FALSE(before.isEmpty());
            QFile::remove(lockFile);
        }
        if (c.hold == 1)
            EXPECT_FALSE(seen().first);
        if (c.hold == 2)
            EXPECT_TRUE(seen().second);
        EXPECT_FALSE(QFile::exists(ourLockFile()));
    }
}

// While the program holds its line, another process sees each of its locks;
// they are gone once it ends, is terminated, or (the lock file then naming
// a process that is gone) killed.
TEST_F(ProgramTest, OwnLocksAreSeenAndGoAfterExitTerminationAndKill)
{
    for (const int how : {0, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(how);
        ProgramRun run;
        start(run);
        ASSERT_TRUE(run.nextBox().startsWith(kNotFound)) << run.log().toStdString();
        QFile lock(ourLockFile());
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly)) << run.log().toStdString();
        EXPECT_EQ(lock.readAll(), QStringLiteral("%1\n").arg(run.pid(), 10).toLatin1());
        lock.close();
        EXPECT_EQ(seen(), std::make_pair(false, true));

        if (how == 0) {
            run.answer(QString());
            EXPECT_EQ(run.finish(), 2);
        } else {
            run.signal(how);
        }
        EXPECT_EQ(QFile::exists(ourLockFile()), how == SIGKILL);
        EXPECT_TRUE(seen().first);
        // A pseudo-terminal keeps the exclusive mode of a killed opener for
        // as long as its other side is open (a real port's ends with it).
        if (how != SIGKILL)
            EXPECT_FALSE(seen().second);

        // What a killed copy leaves names a process that is gone: the next opener takes the line.
        ProgramRun next;
        start(next);
        EXPECT_TRUE(next.nextBox().startsWith(kNotFound)) << next.log().toStdString();
        next.answer(QString());
        EXPECT_EQ(next.finish(), 2);
        EXPECT_FALSE(QFile::exists(ourLockFile()));
    }
}

// "Program Already Running" exactly while a copy of this user runs.
TEST_F(ProgramTest, SingleCopyQuestionOnlyWhileThisUsersCopyRuns)
{
    ProgramRun first;
    start(first);
    ASSERT_TRUE(first.nextBox().startsWith(kNotFound));

    // The same user: the question; No ends that copy at once.
    ProgramRun second;
    start(second, {});
    EXPECT_TRUE(second.nextBox().startsWith(kAlreadyRunning));
    second.answer(QStringLiteral("No"));
    EXPECT_EQ(second.finish(), 0);
    EXPECT_EQ(second.boxes().size(), 1);

    // A send asked for on the command line and not made is not a success.
    ProgramRun send;
    start(send);
    EXPECT_TRUE(send.nextBox().startsWith(kAlreadyRunning));
    send.answer(QStringLiteral("No"));
    EXPECT_EQ(send.finish(), 1);

    // Another user does not see it; nor where its temporary folder cannot be
    // written or holds a folder of that user's name made by someone else.
    QTemporaryDir readOnly, planted;
    ::chmod(QFile::encodeName(readOnly.path()).constData(), 0755);
    ::chmod(QFile::encodeName(planted.path()).constData(), 01777);
    QDir().mkdir(planted.path() + QStringLiteral("/quinrex3-%1").arg(ProgramRun::nobody()));
    ::chmod(QFile::encodeName(planted.path() + QStringLiteral("/quinrex3-%1").arg(ProgramRun::nobody())).constData(),
            0777);
    for (const QString& tmp : {planted.path(), readOnly.path()}) {
        SCOPED_TRACE(tmp.toStdString());
        ProgramRun other;
        other.runAs(ProgramRun::nobody());
        other.env().remove(QStringLiteral("XDG_RUNTIME_DIR"));
        other.env().insert(QStringLiteral("TMPDIR"), tmp);
        // The line is the first copy's: the other user's copy gets its
        // message, then the file's.
        start(other);
        const int status = other.finish();
        EXPECT_EQ(status, 2) << other.log().toStdString();
        for (const QString& box : other.boxes())
            EXPECT_FALSE(box.startsWith(kAlreadyRunning));
    }

    // A killed copy leaves nothing that asks.
    first.signal(SIGKILL);
    ProgramRun after;
    start(after);
    EXPECT_TRUE(after.nextBox().startsWith(kNotFound)) << after.log().toStdString();
    after.answer(QString());
    EXPECT_EQ(after.finish(), 2);
}

// scripts/run's layout step while a copy runs from the folder: it succeeds
// each time, the running copy goes on, and a new start meets the program's
// own question.
TEST_F(ProgramTest, LayoutWhileACopyRuns)
{
    const QString prog = programDir() + QStringLiteral("/out");
    const QString script = sourceDir() + QStringLiteral("/scripts/layout");
    const QString build = QFileInfo(QStringLiteral(QX_PROGRAM_PATH)).path();
    ASSERT_EQ(QProcess::execute(script, {build, prog}), 0);
    ProgramRun running;
    start(running, kStopAtBox, prog);
    ASSERT_TRUE(running.nextBox().startsWith(kNotFound)) << running.log().toStdString();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(QProcess::execute(script, {build, prog}), 0);
    EXPECT_EQ(QFileInfo(prog + QStringLiteral("/Quinrex3")).size(), QFileInfo(QStringLiteral(QX_PROGRAM_PATH)).size());
    EXPECT_TRUE(QFileInfo(prog + QStringLiteral("/Quinrex3")).isExecutable());
    EXPECT_EQ(QFileInfo(prog + QStringLiteral("/KT9-P")).symLinkTarget(), prog + QStringLiteral("/Quinrex3"));
    EXPECT_TRUE(QDir(prog).entryList({QStringLiteral(".*.??????")}, QDir::Hidden | QDir::Files).isEmpty());

    ProgramRun second;
    start(second, {}, prog);
    EXPECT_TRUE(second.nextBox().startsWith(kAlreadyRunning)) << second.log().toStdString();
    second.answer(QStringLiteral("No"));
    EXPECT_EQ(second.finish(), 0);

    running.answer(QString());
    EXPECT_EQ(running.finish(), 2);
}
