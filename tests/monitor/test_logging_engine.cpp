// The logging engine driven tick by tick on a frozen clock.
#include <QTimeZone>
#include <sys/stat.h>

#include "core/exchange.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/transports.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "shell/frmMain.h"
#include "sim-driver/simulator.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {
const QDateTime kStart(QDate(2026, 12, 7), QTime(17, 27, 41), QTimeZone::utc());

class LoggingEngine : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        Clock::setFake(kStart);
        gDemoMode = true; // every read succeeds with 0 unless a test says otherwise
    }

    // Adds an instrument (group 0, Modbus RTU) with a session started now,
    // as the dialog's Start does; returns its number.
    int start(const QString& address, float rate, int minutes, const QString& name = QString())
    {
        const int i = gInstruments.Count();
        gInstruments.Resize(i + 1);
        gInstruments[i].Address = address;
        gInstruments[i].Protocol = QStringLiteral("R");
        gInstruments[i].LogRate = rate;
        gInstruments[i].LogDuration = minutes;
        gInstruments[i].LogFile = file(name.isEmpty() ? QStringLiteral("log%1.csv").arg(i) : name);
        gInstruments[i].LogStartSec = UtcNow() * 86400;
        gInstruments[i].LogState = 1;
        return i;
    }
    // One tick of the logging timer, and the boxes it leaves to be shown.
    void tick()
    {
        frmMain().tmrLogging_Timer();
        QCoreApplication::sendPostedEvents(&frmMain(), QEvent::MetaCall);
    }
    void after(qint64 ms) { Clock::advanceMs(ms), tick(); }
    // The lines of a log file; each must end with CR LF.
    QStringList lines(int i = 0) const
    {
        QFile f(gInstruments[i].LogFile);
        QString all = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        EXPECT_TRUE(all.isEmpty() || all.endsWith(QStringLiteral("\r\n")));
        all.chop(2);
        return all.isEmpty() ? QStringList() : all.split(QStringLiteral("\r\n"));
    }
    QString errorLine() const { return frmMain().lblErrorMessageText->text(); }
};

TEST_F(LoggingEngine, SamplesOnTheGridFromTheStartAndFinishesAtTheDuration)
{
    start(QStringLiteral("01"), 30, 1);
    tick();
    EXPECT_EQ(lines(), QStringList{"12/07/2026 05:27:41 PM,1E-10"});

    after(29980); // 20 ms before the grid instant: not due
    EXPECT_EQ(lines().size(), 1);
    after(10); // due 10 ms early, stamped with its scheduled instant
    after(30000); // the 60 s sample is written and the session ends in that tick
    EXPECT_EQ(lines().mid(1), (QStringList{"12/07/2026 05:28:11 PM,1E-10", "12/07/2026 05:28:41 PM,1E-10"}));
    EXPECT_EQ(gInstruments[0].LogState, 3);
}

TEST_F(LoggingEngine, TimeStampsAreTheScheduledInstantInLocalTime)
{
    // Local time an hour ahead; a first tick 0.7 s late must not pull the stamp back a second.
    // The stamps read the same under any locale of the user's.
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    Clock::setFake(kStart.addMSecs(999), 3600);
    start(QStringLiteral("01"), 1, 60);
    after(700);
    EXPECT_EQ(lines().value(0), "12/07/2026 06:27:41 PM,1E-10");

    // Below a second: the tenths digit before the marker; midnight is 12 AM.
    Clock::setFake(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59), QTimeZone::utc()), 0);
    start(QStringLiteral("02"), 0.5f, 60);
    tick();
    after(500);
    after(500);
    EXPECT_EQ(lines(1), (QStringList{"12/07/2026 11:59:59.0 PM,1E-10", "12/07/2026 11:59:59.5 PM,1E-10",
                                     "12/08/2026 12:00:00.0 AM,1E-10"}));
    QLocale::setDefault(QLocale::c());
}

TEST_F(LoggingEngine, ErrorLineShowsReadFailuresAtMostEveryHalfSecond)
{
    frmMain().lblErrorMessageText->setText(QStringLiteral("from another screen"));
    tick(); // nothing running: the line is left alone
    EXPECT_EQ(errorLine(), "from another screen");
    EXPECT_FALSE(gInstruments.LoggingActive);

    gDemoMode = false; // port closed: every read fails
    start(QStringLiteral("01"), 0.1f, 60);
    tick();
    EXPECT_EQ(lines(), QStringList{"12/07/2026 05:27:41.0 PM,0"});
    EXPECT_EQ(errorLine(), "12/7/2026 5:27:41 PM - Address 01:Selected comm port is not open.");

    gDemoMode = true;
    after(300); // a good read, but the line is kept for half a second
    EXPECT_TRUE(errorLine().endsWith("Selected comm port is not open."));
    after(300);
    EXPECT_EQ(errorLine(), "");
}

TEST_F(LoggingEngine, AFailureOfATickIsShownThoughALaterReadSucceeds)
{
    // Demo reads succeed, but none is made for an unknown protocol code.
    const int bad = start(QStringLiteral("01"), 0.1f, 60);
    start(QStringLiteral("02"), 0.1f, 60);
    gInstruments[bad].Protocol = QStringLiteral("X");
    tick();
    EXPECT_EQ(lines(0).value(0).right(2) + lines(1).value(0).right(6), ",0,1E-10");
    EXPECT_EQ(errorLine(), "12/7/2026 5:27:41 PM - Address 01:Invalid protocol code >X");

    gInstruments[bad].Protocol = QStringLiteral("R");
    after(600); // no failure since: cleared
    EXPECT_EQ(errorLine(), "");

    // A failure in a tick the half-second passes over waits for the next
    // showing, though every read since has succeeded.
    gInstruments[bad].Protocol = QStringLiteral("X");
    after(100);
    gInstruments[bad].Protocol = QStringLiteral("R");
    for (int k = 0; k < 3; ++k)
        after(100);
    EXPECT_EQ(errorLine(), "");
    EXPECT_EQ(lines(0).mid(2), (QStringList{"12/07/2026 05:27:41.7 PM,0", "12/07/2026 05:27:41.8 PM,1E-10",
                                            "12/07/2026 05:27:41.9 PM,1E-10", "12/07/2026 05:27:42.0 PM,1E-10"}));
    after(200);
    EXPECT_TRUE(errorLine().endsWith(" - Address 01:Invalid protocol code >X")) << errorLine().toStdString();
}

// An adapter pulled out mid-logging and plugged back in: no samples while it is
// gone, one quiet try a second, and logging goes on from where it stood.
TEST_F(LoggingEngine, ALostPortIsReopenedAndLoggingGoesOn)
{
    const char* line = "instrument 50 group 0 protocol R\nreg 50 2 0x10\nreg 50 1 %1\n";
    const QString link = file(QStringLiteral("adapter"));
    const auto plugIn = [&](SimProcess& sim, int value) {
        ASSERT_TRUE(sim.start(QString::fromLatin1(line).arg(value).toStdString())) << sim.errorText();
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(QString::fromStdString(sim.ptyPath()), link));
    };
    SimProcess first, second;
    plugIn(first, 255);
    qputenv("QUINREX3_COM7", link.toLocal8Bit());
    gCommPort = 7;
    gPollTimeoutMs = 300;
    gDemoMode = false;
    bool failed = true;
    InitComm(QStringLiteral("9600,N,8,1"), failed);
    ASSERT_FALSE(failed);
    start(QStringLiteral("32"), 1, 60);
    tick();
    after(1000);

    first.stop(); // pulled out: the pseudo-terminal is gone
    QFile::remove(link);
    after(1000);
    EXPECT_TRUE(!gCommOK && !frmMain().tmrLogging.enabled() && ReopenTimer().enabled());
    EXPECT_EQ(errorLine(), "12/7/2026 5:27:43 PM - Address 32:Communications Disabled - the comm port's device has gone");

    Clock::advanceMs(1000);
    ReopenLostPort(); // the device is not there yet: no message, still lost
    EXPECT_TRUE(!gCommOK && boxes_.count() == 0);
    plugIn(second, 300);
    ReopenLostPort(); // within the same second: not tried again
    EXPECT_FALSE(gCommOK);
    Clock::advanceMs(1000);
    ReopenLostPort();
    EXPECT_TRUE(gCommOK && frmMain().tmrLogging.enabled() && !ReopenTimer().enabled());
    EXPECT_EQ(frmMain().shpComms->fillColor(), color::Green);

    after(50); // 4 s after the start: the overdue sample, then on the grid again
    after(950);
    after(1000);
    EXPECT_EQ(lines(), (QStringList{"12/07/2026 05:27:41 PM,25.5", "12/07/2026 05:27:42 PM,25.5",
                                    "12/07/2026 05:27:43 PM,0", "12/07/2026 05:27:44 PM,30",
                                    "12/07/2026 05:27:45 PM,30", "12/07/2026 05:27:46 PM,30"}));
    EXPECT_EQ(errorLine(), "");
    qunsetenv("QUINREX3_COM7");
}

TEST_F(LoggingEngine, ALogFileThatIsNoFileOrReadOnlyIsRefusedAtOnceAndTheOtherSessionsLogOn)
{
    writeFile("kept.csv", "an earlier log\r\n");
    MakeReadOnly(file("kept.csv"));
    std::vector<NotAFile> cases = NotFilesIn(programDir());
    cases.pop_back(); // a large file is a log like any other
    cases.push_back({file("kept.csv"), QStringLiteral("70 - Permission denied")});
    for (const NotAFile& c : cases) {
        // In a copy of the program that may take 256 MB more and is stopped
        // after ten seconds: a second of 0.1 s sessions, one on the odd file.
        const QString got = InChild(
            [&] {
                start(QStringLiteral("01"), 0.1f, 60);
                start(QStringLiteral("02"), 0.1f, 60, QFileInfo(c.path).baseName() + "-other.csv");
                gInstruments[0].LogFile = c.path;
                for (int k = 0; k < 10; ++k)
                    after(k ? 100 : 0);
                QStringList says = {QString::number(boxes_.count()), boxes_.last().text, errorLine(),
                                    QString::number(gInstruments[0].LogState), QString::number(lines(1).size())};
                return says.join('|');
            },
            10, 256);
        EXPECT_EQ(got, QStringList({"1", // the session is stopped: told once, not at every sample
                                    "Logging of Address 01 has been stopped: an application error has occurred "
                                    "writing its log file:\rError Code " + c.says +
                                        "\rRoutine - frmMain.tmrLogging_Timer, File >" + c.path,
                                    "12/7/2026 5:27:41 PM - Address 01:Logging stopped, Error Code " + c.says +
                                        ", File >" + c.path,
                                    "2", "10"})
                           .join('|'));
    }
    EXPECT_EQ(readFile("kept.csv"), "an earlier log\r\n");
    struct stat st{};
    EXPECT_TRUE(::lstat(QFile::encodeName(file("pipe.csv")).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
}

// The disk fills: each session stops with its lines whole and says so once,
// on the error line and in one box naming it.
TEST_F(LoggingEngine, ALogWhoseDiskFillsMidLineKeepsEveryLineWholeAndStops)
{
    start(QStringLiteral("01"), 1, 60, QStringLiteral("oven.csv"));
    gInstruments[0].Name = QStringLiteral("Oven");
    start(QStringLiteral("02"), 1, 60);
    tick();
    {
        DiskFull full(QFileInfo(gInstruments[0].LogFile).size() + 10); // room for part of a line
        after(1000);
        after(1000);
    }
    ASSERT_EQ(boxes_.count(), 2);
    EXPECT_EQ(boxes_.calls()[0].text, "Logging of Address 01 (Oven) has been stopped: an application error has "
                                      "occurred writing its log file:\rError Code 61 - Disk full\r"
                                      "Routine - frmMain.tmrLogging_Timer, File >" + file("oven.csv"));
    EXPECT_TRUE(boxes_.calls()[1].text.startsWith("Logging of Address 02 has been stopped:"));
    after(1000); // space is back
    EXPECT_TRUE(errorLine().endsWith("Address 01:Logging stopped, Error Code 61 - Disk full, File >" +
                                     file("oven.csv")))
        << errorLine().toStdString();
    EXPECT_EQ(lines(), QStringList{"12/07/2026 05:27:41 PM,1E-10"});
    EXPECT_TRUE(boxes_.count() == 2 && gInstruments[1].LogState == 2);
}

TEST_F(LoggingEngine, RateZeroIsSkippedWithOneLineNotABoxPerTick)
{
    start(QStringLiteral("01"), 0, 1);
    for (int k = 0; k < 12; ++k)
        after(50);
    EXPECT_EQ(errorLine(), "12/7/2026 5:27:41 PM - Address 01:Logging rate of 0 s cannot be sampled, nothing is logged");
    EXPECT_TRUE(boxes_.count() == 0 && !QFile::exists(gInstruments[0].LogFile));
    after(60000); // the duration still ends it
    EXPECT_EQ(gInstruments[0].LogState, 3);
}

} // namespace
