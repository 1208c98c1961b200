// The serial port control on the slave side of a pseudo-terminal.
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

#include "platform/serialport.h"
#include "support/program.h"
#include "sim-driver/pty.h"
#include "support/testenv.h"

namespace {

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        qputenv("QUINREX3_COM7", QByteArray::fromStdString(pty.slavePath()));
        port.setCommPort(7);
        port.setSettings(QStringLiteral("9600,N,8,1"));
        port.setRTSEnable(true); // pseudo-terminals refuse modem lines: must not matter
    }
    void TearDown() override { qunsetenv("QUINREX3_COM7"); }

    PtyPair pty;
    SerialPortControl port;
};

} // namespace

TEST_F(SerialPortTest, OpeningAndClosingErrorsAreNumbered)
{
    port.setPortOpen(true);
    EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), rt::ErrCommPortOpen);
    EXPECT_EQ(rtErrorOf([&] { port.setCommPort(3); }), rt::ErrCommPortOpen);
    // A device held by another opener.
    SerialPortControl other;
    other.setCommPort(7);
    EXPECT_EQ(rtErrorOf([&] { other.setPortOpen(true); }), rt::ErrCommHardware);
    EXPECT_FALSE(other.portOpen());
    port.setPortOpen(false);
    port.setPortOpen(false); // closing a closed port is harmless
    EXPECT_EQ(rtErrorOf([&] { port.output("x"); }), rt::ErrCommNotOpen);
    EXPECT_EQ(rtErrorOf([&] { port.input(); }), rt::ErrCommNotOpen);
    EXPECT_EQ(rtErrorOf([&] { other.setPortOpen(true); }), 0);
    other.setPortOpen(false);

    qputenv("QUINREX3_COM9", "/dev/quinrex3-no-such-port");
    port.setCommPort(9);
    EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), rt::ErrCommInvalidPort);
    EXPECT_FALSE(port.portOpen());
    qunsetenv("QUINREX3_COM9");
    EXPECT_EQ(rtErrorOf([&] { port.setCommPort(17); }), rt::ErrCommInvalidPort);
    EXPECT_EQ(port.commPort(), 9);
}

TEST_F(SerialPortTest, SettingsTextIsCheckedAndKeptOnError)
{
    EXPECT_EQ(rtErrorOf([&] { port.setSettings(QStringLiteral("4800,o,8,1.5")); }), 0);
    EXPECT_EQ(port.settings(), QStringLiteral("4800,o,8,1.5"));
    port.setSettings(QStringLiteral("9600,N,8,1"));
    for (const char* bad : {"", "9600,N,8", "9600,N,8,1,1", "fast,N,8,1", "0,N,8,1", "9600,X,8,1",
                            "9600,NN,8,1", "9600,N,9,1", "9600,N,4,1", "9600,N,8,3", "9600,N,8,"}) {
        EXPECT_EQ(rtErrorOf([&] { port.setSettings(QString::fromLatin1(bad)); }), rt::ErrInvalidPropertyValue) << bad;
        EXPECT_EQ(port.settings(), QStringLiteral("9600,N,8,1")) << bad;
    }
    // A change while open is applied to the open port.
    port.setPortOpen(true);
    EXPECT_EQ(rtErrorOf([&] { port.setSettings(QStringLiteral("19200,E,8,1")); }), 0);
    EXPECT_TRUE(port.portOpen());
    port.output("ok");
    EXPECT_EQ(pty.read(2, 1000), QByteArray("ok"));
}

TEST_F(SerialPortTest, WaitForInputBlocksUntilDataOrTimeOut)
{
    port.setPortOpen(true);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(port.waitForInput(150));
    EXPECT_GE(t.elapsed(), 140);

    // Data arriving while the wait blocks ends it long before the time-out.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.write("abc");
    });
    t.start();
    EXPECT_TRUE(port.waitForInput(10000));
    EXPECT_LT(t.elapsed(), 5000);
    writer.join();
    // No event loop runs here: the count must still see every byte.
    EXPECT_EQ(port.inBufferCount(), 3);

    // Data already waiting: true at once; a closed port: false at once.
    t.start();
    EXPECT_TRUE(port.waitForInput(10000));
    port.setPortOpen(false);
    EXPECT_FALSE(port.waitForInput(10000));
    EXPECT_LT(t.elapsed(), 1000);
}

TEST_F(SerialPortTest, AHangUpEndsAWaitInProgressAndReadsAsAClosedPort)
{
    port.setPortOpen(true);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.closeMaster();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(port.waitForInput(10000));
    EXPECT_LT(t.elapsed(), 5000);
    closer.join();
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(rtErrorOf([&] { port.input(); }), rt::ErrCommNotOpen);

    // Also when the hang-up is first met by the event loop, with data unread.
    PtyPair other;
    qputenv("QUINREX3_COM8", QByteArray::fromStdString(other.slavePath()));
    SerialPortControl second;
    second.setCommPort(8);
    second.setPortOpen(true);
    other.write("pending");
    other.closeMaster();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_FALSE(second.portOpen());
    EXPECT_EQ(second.inBufferCount(), 0);
    EXPECT_FALSE(second.waitForInput(10000));
    qunsetenv("QUINREX3_COM8");
}

namespace {

// What another process sees of the device: whether it could flock it now,
// and whether the terminal is in exclusive mode.
struct Seen {
    bool flockFree;
    bool exclusive;
};
Seen seenFromOutside(const std::string& device)
{
    Seen seen{false, false};
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return seen;
    int excl = 0;
    seen.exclusive = ::ioctl(fd, TIOCGEXCL, &excl) == 0 && excl != 0;
    // flock conflicts between open files, also of one process.
    seen.flockFree = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return seen;
}

QString lockPath(const std::string& device, bool baseName = false)
{
    const QString dev = QString::fromStdString(device); // /dev/pts/N
    return LockDir() + (baseName ? QStringLiteral("/LCK..") + QFileInfo(dev).fileName()
                                 : QStringLiteral("/LCK..pts_") + QFileInfo(dev).fileName());
}

QByteArray contents(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// Another program's lock of a process that runs keeps the port closed to us
// and is left as it was; once that process is gone, the lock is stale and
// the port is ours.
TEST_F(SerialPortTest, LocksOfOtherProgramsAreHonouredAndLeftAlone)
{
    const std::string dev = pty.slavePath();
    struct Case {
        const char* what;
        bool flock;         // the other program flocks the device
        bool binary;        // else its lock file
        bool baseName;      // LCK..<N> rather than LCK..pts_<N>
        const char* words;  // text after the PID in the lock file
    };
    const Case cases[] = {
        {"lock file, ASCII PID", false, false, false, ""},
        {"lock file, binary PID, base name", false, true, true, ""},
        {"lock file with the program's name", false, false, false, " minicom root"},
        {"flock", true, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString file = lockPath(dev, c.baseName);
        const std::string path = dev;
        OtherProcess other([&] {
            if (c.flock) {
                const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                ::flock(fd, LOCK_EX | LOCK_NB);
            }
        });
        QByteArray before;
        if (!c.flock) {
            WriteLockFile(file, other.pid(), c.binary);
            if (*c.words) {
                QFile f(file);
                f.open(QIODevice::Append);
                f.write(c.words);
            }
            before = contents(file);
        }
        try {
            port.setPortOpen(true);
            ADD_FAILURE() << "opened a port another program holds";
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.number(), rt::ErrCommHardware);
            EXPECT_TRUE(e.description().startsWith(QString::fromStdString(dev) + QStringLiteral(": busy, locked by PID ") +
                                                    QString::number(other.pid())))
                << e.description().toStdString();
        }
        EXPECT_FALSE(port.portOpen());
        if (c.flock)
            EXPECT_FALSE(seenFromOutside(dev).flockFree);
        else
            EXPECT_EQ(contents(file), before);
        EXPECT_EQ(QFile::exists(lockPath(dev)), !c.flock && !c.baseName); // none of ours left behind

        other.end(); // gone: what it left is stale
        EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), 0);
        EXPECT_TRUE(port.portOpen());
        EXPECT_FALSE(QFile::exists(lockPath(dev, true)));
        port.setPortOpen(false);
    }
}

TEST_F(SerialPortTest, OwnLocksAreHeldWhileOpenAndReleasedOnCloseAndLoss)
{
    const std::string dev = pty.slavePath();
    const QString file = lockPath(dev);
    WriteLockFile(file, DeadPid()); // a stale one is taken over
    port.setPortOpen(true);
    EXPECT_EQ(port.lockFile(), file);
    EXPECT_EQ(contents(file), QStringLiteral("%1\n").arg(::getpid(), 10).toLatin1());
    Seen seen = seenFromOutside(dev);
    EXPECT_FALSE(seen.flockFree);
    EXPECT_TRUE(seen.exclusive);

    port.setPortOpen(false);
    EXPECT_FALSE(QFile::exists(file));
    seen = seenFromOutside(dev);
    EXPECT_TRUE(seen.flockFree);
    EXPECT_FALSE(seen.exclusive);

    // A device that goes away releases them too.
    port.setPortOpen(true);
    ASSERT_TRUE(QFile::exists(file));
    pty.closeMaster();
    EXPECT_FALSE(port.portOpen());
    EXPECT_FALSE(QFile::exists(file));
}

// The line mode with a parity checks every character and marks a bad one;
// without one it leaves the input alone.
TEST(SerialLineMode, ParityIsCheckedAndMarked)
{
    for (const char* text : {"9600,E,7,1", "9600,O,8,2", "9600,M,8,1", "9600,N,8,1"}) {
        SCOPED_TRACE(text);
        serial::LineSettings s;
        ASSERT_TRUE(s.parse(QString::fromLatin1(text)));
        termios before{};
        before.c_iflag = IGNPAR | ISTRIP | IXON | ICRNL;
        const termios t = serial::LineMode(before, s);
        const bool parity = s.parity != 'N';
        EXPECT_EQ(bool(t.c_cflag & PARENB), parity);
        EXPECT_EQ(bool(t.c_iflag & INPCK), parity);
        EXPECT_EQ(bool(t.c_iflag & PARMRK), parity);
        // A bad character is neither dropped nor stripped nor taken as good.
        EXPECT_FALSE(t.c_iflag & (IGNPAR | ISTRIP | IXON | ICRNL));
    }

    // The marks come out of the input, also when a read splits them; a
    // received FF comes doubled and goes on once.
    serial::ParityMarks marks;
    QByteArray out;
    EXPECT_EQ(marks.unmark("\x01\xFF", 2, out), 0);
    EXPECT_EQ(marks.unmark("\xFF\x02\xFF", 3, out), 0);
    EXPECT_EQ(marks.unmark("\x00", 1, out), 0);
    EXPECT_EQ(marks.unmark("A\xFF\x00\x00" "B", 5, out), 2); // a bad 'A', then a break
    EXPECT_EQ(out, QByteArray("\x01\xFF\x02" "A", 4) + QByteArray(1, '\0') + "B");
}

// The driver's read-back decides what the port is open at; a setting it
// refused or changed is named.
TEST(SerialLineMode, ReadBackNamesWhatTheDriverDidNotTake)
{
    const QString dev = QStringLiteral("/dev/ttyUSB0");
    const auto judge = [&](const char* wanted, const char* kept, qint32 baud, bool pty = false) {
        serial::LineSettings w, k;
        w.parse(QString::fromLatin1(wanted));
        k.parse(QString::fromLatin1(kept));
        return serial::RefusedSettings(w, serial::LineMode(termios{}, k).c_cflag, baud, pty, dev);
    };
    EXPECT_EQ(judge("9600,N,8,1", "9600,N,8,1", 9600), QString());
    EXPECT_EQ(judge("28800,E,7,2", "28800,E,7,2", 28800), QString());
    EXPECT_EQ(judge("9600,N,8,1", "9600,N,8,1", 19200), "9600 baud is not available on /dev/ttyUSB0");
    EXPECT_EQ(judge("28800,N,8,1", "28800,N,8,1", 28846), "28800 baud is not available on /dev/ttyUSB0");
    // 1.5 stop bits have no code: never what the port is open at.
    EXPECT_EQ(judge("9600,N,8,1.5", "9600,N,8,1.5", 9600), "1.5 stop bits are not available on /dev/ttyUSB0");
    EXPECT_EQ(judge("9600,E,7,2", "9600,N,8,1", 9600),
              "7 data bits, even parity and 2 stop bits are not available on /dev/ttyUSB0");
    EXPECT_EQ(judge("9600,O,8,1", "9600,E,8,1", 9600), "odd parity is not available on /dev/ttyUSB0");
    // A pseudo-terminal keeps rate and stop bits only; the rest is not judged.
    EXPECT_EQ(judge("9600,E,7,2", "9600,N,8,2", 9600, true), QString());
    EXPECT_EQ(judge("9600,E,7,2", "9600,N,8,1", 4800, true),
              "9600 baud and 2 stop bits are not available on /dev/ttyUSB0");
}

TEST_F(SerialPortTest, RefusedSettingsKeepThePortClosedAndNameThemselves)
{
    const std::string dev = pty.slavePath();
    port.setSettings(QStringLiteral("9600,N,8,1.5"));
    try {
        port.setPortOpen(true);
        ADD_FAILURE() << "opened at settings the line does not have";
    } catch (const rt::RtError& e) {
        EXPECT_EQ(e.number(), rt::ErrDeviceUnavailable);
        EXPECT_EQ(e.description(), QStringLiteral("1.5 stop bits are not available on ") + QString::fromStdString(dev));
    }
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(seenFromOutside(dev).flockFree, true);
    EXPECT_TRUE(port.lockFile().isEmpty());

    // Also when the change comes while the port is open.
    port.setSettings(QStringLiteral("9600,E,8,2"));
    port.setPortOpen(true);
    EXPECT_EQ(rtErrorOf([&] { port.setSettings(QStringLiteral("9600,E,8,1.5")); }), rt::ErrDeviceUnavailable);
    EXPECT_FALSE(port.portOpen());
}

TEST_F(SerialPortTest, WithParityAReceivedFFIsTakenOnceAndBytesBeforeAHangUpAreKept)
{
    port.setSettings(QStringLiteral("9600,E,8,1"));
    port.setPortOpen(true);
    pty.write(QByteArray("\x01\xFF\x02", 3));
    ASSERT_TRUE(port.waitForInput(5000));
    QByteArray got;
    while (got.size() < 3 && port.waitForInput(1000))
        got += port.take(100);
    EXPECT_EQ(got, QByteArray("\x01\xFF\x02", 3));
    EXPECT_FALSE(port.takeNoise());

    // A reply read just before the other end hung up is still there to take.
    pty.write("reply");
    ASSERT_TRUE(port.waitForInput(5000));
    pty.closeMaster();
    EXPECT_FALSE(port.portOpen());
    got.clear();
    for (QByteArray part; !(part = port.take(100)).isEmpty();)
        got += part;
    EXPECT_EQ(got, "reply");
}

// A lock file this user may not read, or one another program is still
// writing (empty and just made), is held: the port stays closed and the file
// is left as it was. An empty one that has long been there is stale.
TEST_F(SerialPortTest, UnreadableAndUnfinishedLockFilesAreHeld)
{
    const std::string dev = pty.slavePath();
    const QString file = lockPath(dev);
    const auto refusedWith = [&](const QString& reason) {
        try {
            port.setPortOpen(true);
            ADD_FAILURE() << "opened beside a held lock";
        } catch (const rt::RtError& e) {
            EXPECT_EQ(e.number(), rt::ErrCommHardware);
            EXPECT_EQ(e.description(), QString::fromStdString(dev) + QStringLiteral(": busy, ") + reason);
        }
        EXPECT_FALSE(port.portOpen());
    };

    // Root's lock of a process that has ended, looked at as another user:
    // whether it is stale cannot be told.
    WriteLockFile(file, DeadPid());
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    const QByteArray before = contents(file);
    const QFileDevice::Permissions folder = QFile::permissions(LockDir());
    QFile::setPermissions(LockDir(), folder | QFile::ExeOther | QFile::ReadOther); // as /run/lock is
    ::setfsuid(ProgramRun::nobody());
    refusedWith(QStringLiteral("locked in ") + file + QStringLiteral(" (a lock file this user may not read)"));
    ::setfsuid(0);
    QFile::setPermissions(LockDir(), folder);
    EXPECT_EQ(contents(file), before);

    QFile::remove(file);
    QFile empty(file);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    refusedWith(QStringLiteral("another program is taking the lock ") + file);
    EXPECT_TRUE(QFile::exists(file));

    // A minute later it is a leftover.
    ASSERT_TRUE(empty.open(QIODevice::ReadWrite));
    ASSERT_TRUE(empty.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    empty.close();
    EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), 0);
    EXPECT_EQ(contents(file), QStringLiteral("%1\n").arg(::getpid(), 10).toLatin1());
}
