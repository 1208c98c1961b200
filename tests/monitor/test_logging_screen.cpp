// The logging dialog: states, entry rules, Start, Stop, View Current and View Hist.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QScrollBar>
#include <QTimeZone>
#include <QTimer>
#include <functional>

#include "core/helpers.h"
#include "monitor/frmLogging.h"
#include "monitor/frmViewLog.h"
#include "platform/clock.h"
#include "platform/filedialog.h"
#include "shell/frmMain.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {
class LoggingScreen : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        Clock::setFake(QDateTime(QDate(2026, 12, 7), QTime(17, 27, 41), QTimeZone::utc()));
        gLogStatusText = {QStringLiteral("STARTED"), QStringLiteral("STOPPED"), QStringLiteral("FINISHED"), QString()};
        gCommOK = true;
        gDefaultFolder = programDir();
        for (const auto& [address, name] : {std::pair{"01", "Oven"}, {"02", "Kiln"}}) {
            InstrumentRecord& r = addInstrument(address, "", 0, name);
            r.LogDuration = 60;
            r.LogRate = 90;
            r.DurationUnits = r.RateUnits = 1;
        }
        frmLogging().Show();
    }
    FrmLogging& f() { return frmLogging(); }
    // What a turn of the viewer's event loop does after `turn` has run.
    enum class Next { Log, Wait, Close };
    // View Current for the selected instrument; at every turn of the open
    // viewer's event loop `turn` runs, then a logging tick 100 ms on the
    // fake clock (Log), nothing (Wait) or the viewer's Close (Close).
    void viewCurrent(const std::function<Next(LineView*)>& turn)
    {
        QTimer driver;
        driver.setInterval(0);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (!Forms::isLoaded<FrmViewLog>() || !frmViewLog().isVisible())
                return;
            switch (turn(frmViewLog().txtLog)) {
            case Next::Log:
                Clock::advanceMs(100);
                frmMain().tmrLogging_Timer();
                break;
            case Next::Close: frmViewLog().cmdClose_Click(); break;
            case Next::Wait: break;
            }
        });
        driver.start();
        f().cmdView_Click();
    }
    // Instrument i logs every 0.1 s from now into `name`, reading 1E-10 (demo mode).
    InstrumentRecord& logTenTimesASecond(int i, const char* name)
    {
        gDemoMode = true;
        InstrumentRecord& r = gInstruments[i];
        r.Protocol = QStringLiteral("R");
        r.LogRate = 0.1f;
        r.LogFile = file(name);
        r.LogStartSec = UtcNow() * 86400;
        r.LogState = 1;
        return r;
    }
    void select(int i)
    {
        QListWidget* l = f().lstControls;
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(i)).center());
    }
};

TEST_F(LoggingScreen, EntriesAreClampedConvertedAndSaved)
{
    select(0);
    // rate or duration, unit option, entry, shown, stored (minutes or seconds)
    const std::tuple<bool, int, const char*, const char*, float> cases[] = {
        {false, 0, "0.005", "0.01", 1},   // at least one minute
        {false, 0, "1.05", "1.05", 63},   // not 62 from a float a hair short
        {false, 0, "500", "480.00", 28800},
        {false, 1, "30000", "28800", 28800},
        {true, 1, "0.05", "0.1", 0.1f},
        {true, 0, "1.5", "1.50", 90},
        {true, 0, "0.01", "0.01", 1},     // never a rate of 0
        {true, 0, "61", "60.00", 3600},
    };
    for (const auto& [rate, unit, entry, shown, stored] : cases) {
        // The user picks the unit, types and leaves the field.
        (rate ? f().optMinSec(unit) : f().optHoursMins(unit))->click();
        QLineEdit* box = rate ? f().txtRate : f().txtDuration;
        box->setText(QString::fromLatin1(entry));
        rate ? f().txtRate_LostFocus() : f().txtDuration_LostFocus();
        EXPECT_EQ(box->text(), shown) << entry;
        EXPECT_EQ(rate ? gInstruments[0].LogRate : float(gInstruments[0].LogDuration), stored) << entry;
    }
    // Saved at once: line 8 of the instrument's record is its rate.
    EXPECT_EQ(QString::fromUtf8(readFile("Quinrex3.cfg")).split("\r\n").value(12 + 7), " 3600 ");
}

TEST_F(LoggingScreen, ShowingAValueInAnotherUnitNeverStoresIt)
{
    gInstruments[1].LogDuration = 59;
    gInstruments[1].DurationUnits = 0;
    select(1);
    EXPECT_EQ(f().txtDuration->text() + f().lblHoursMins->text(), "0.98hr");
    EXPECT_EQ(f().txtRate->text() + f().lblMinSec->text(), "90.0sec/log");
    // Fields entered and left untouched store nothing, write nothing.
    f().txtDuration_GotFocus();
    f().txtDuration_LostFocus();
    select(0);
    select(1);
    EXPECT_EQ(gInstruments[1].LogDuration, 59);
    EXPECT_FALSE(QFile::exists(file("Quinrex3.cfg")));

    // A stored 0 s rate and 0 min duration, which no entry gives, are put right when shown.
    gInstruments[0].LogRate = 0;
    gInstruments[0].LogDuration = 0;
    select(0);
    EXPECT_EQ(f().txtRate->text() + " " + f().txtDuration->text(), "0.1 1");
    EXPECT_TRUE(gInstruments[0].LogRate == 0.1f && gInstruments[0].LogDuration == 1);
}

TEST_F(LoggingScreen, StartReplacesTheOldFileAndStopAsksFirst)
{
    select(0);
    fd::Request asked;
    QString answer = file("oven.csv");
    fd::setHandler([&](const fd::Request& r) {
        asked = r;
        return answer;
    });
    writeFile("oven.csv", "old line\r\n");
    f().cmdStart_Click();
    EXPECT_EQ(asked.initialName, "01_20261207.csv");
    EXPECT_FALSE(QFile::exists(file("oven.csv")));
    EXPECT_TRUE(gInstruments[0].LogState == 1 && gInstruments[0].LogFile == file("oven.csv"));
    EXPECT_DOUBLE_EQ(gInstruments[0].LogStartSec, UtcNow() * 86400);

    // Another instrument on the running session's file is refused; a file
    // that cannot be deleted starts nothing and says why; Cancel does nothing.
    select(1);
    for (const auto& [name, title, says] :
         {std::tuple{file("oven.csv"), "File Currently Active", ""},
          {QStringLiteral("/proc/version"), "Start Log File",
           "could not be deleted: Permission denied (the folder cannot be written)."},
          {QString(), "", ""}}) {
        answer = name;
        boxes_.clear();
        f().cmdStart_Click();
        EXPECT_EQ(boxes_.last().title, title);
        EXPECT_TRUE(boxes_.last().text.contains(says));
        EXPECT_TRUE(gInstruments[1].LogState == 0 && gInstruments[1].LogFile.isEmpty());
    }

    select(0);
    boxes_.push(mb::No);
    f().cmdStop_Click();
    EXPECT_EQ(boxes_.last().text, "Are sure you wish to stop the current logging session?");
    EXPECT_EQ(gInstruments[0].LogState, 1);
    boxes_.push(mb::Yes);
    f().cmdStop_Click();
    EXPECT_EQ(gInstruments[0].LogState, 2);
    EXPECT_EQ(f().lblStatusText->text(), "STOPPED");
}

} // namespace

namespace {

TEST_F(LoggingScreen, ViewCurrentShowsASnapshotOfTheFile)
{
    gInstruments[0].LogState = 1;
    gInstruments[0].LogFile = file("oven.csv");
    select(0);

    writeFile("oven.csv", "12/07/2026 05:27:41 PM,25.5\r\n12/07/2026 05:27:42 PM,0\r\n");
    QString caption, text;
    viewCurrent([&](LineView* view) {
        if (view->loading())
            return Next::Wait;
        caption = frmViewLog().windowTitle();
        text = view->toPlainText();
        return Next::Close;
    });
    EXPECT_EQ(caption, "View Current Log (Snapshot) - " + file("oven.csv"));
    EXPECT_EQ(text, "12/07/2026 05:27:41 PM,25.5\n12/07/2026 05:27:42 PM,0");
    EXPECT_FALSE(Forms::isLoaded<FrmViewLog>());
}

TEST_F(LoggingScreen, SessionsLogOnScheduleWhileALargeLogIsViewed)
{
    logTenTimesASecond(0, "oven.csv");
    const qsizetype kLines = 1'000'000; // a day at 0.1 s and more
    writeFile("oven.csv", QByteArray("12/06/2026 05:27:41.0 PM,25.5\r\n").repeated(kLines));
    select(0);

    // Logging ticks 100 ms apart on the fake clock, run by the event loop of
    // the open viewer: they keep coming while it is still loading.
    int ticks = 0, whileLoading = 0;
    qint64 shown = 0;
    viewCurrent([&](LineView* view) {
        if (ticks < 30) {
            whileLoading += view->loading();
            ++ticks;
            return Next::Log;
        }
        shown = view->lineCount();
        return view->loading() ? Next::Wait : Next::Close;
    });

    EXPECT_GT(whileLoading, 0);
    EXPECT_EQ(shown, kLines) << "the snapshot as the file stood when opened";
    QStringList expected;
    for (int k = 0; k < 30; ++k)
        expected << QStringLiteral("12/07/2026 05:27:%1.%2 PM,1E-10").arg(41 + k / 10).arg(k % 10);
    const QList<QByteArray> logged = readFile("oven.csv").split('\n').mid(kLines, 30);
    QStringList got;
    for (const QByteArray& line : logged)
        got << QString::fromLatin1(line).chopped(1);
    EXPECT_EQ(got, expected);
}

} // namespace

namespace {

TEST_F(LoggingScreen, CopyingAllOfALargeLogHoldsUpNoSession)
{
    logTenTimesASecond(0, "oven.csv");
    InstrumentRecord& kiln = gInstruments[1]; // a finished session's large log
    kiln.LogFile = file("kiln.csv");
    kiln.LogState = 3;
    const qsizetype kLines = 1'000'000;
    const QByteArray line = "12/06/2026 05:27:41.0 PM,25.5";
    writeFile("kiln.csv", (line + "\r\n").repeated(kLines));
    select(1);

    // Ctrl+A, Ctrl+C at once in the open viewer; then a logging tick 100 ms
    // apart on the fake clock at every turn of its event loop, until the
    // clipboard has the lines.
    int ticks = 0, whileCopying = 0;
    bool keying = false;
    QGuiApplication::clipboard()->clear();
    viewCurrent([&](LineView* view) {
        if (keying)
            return Next::Wait;
        if (ticks == 0) {
            keying = true;
            frmViewLog().activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&frmViewLog()));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
            keying = false;
            EXPECT_EQ(QApplication::focusWidget(), view);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        }
        whileCopying += LineView::copying();
        if (ticks > 0 && !LineView::copying())
            return Next::Close;
        ++ticks;
        return Next::Log;
    });

    EXPECT_GT(whileCopying, 1) << "the copy took turns with the timers";
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_EQ(copied.size(), kLines * (line.size() + 1) - 1);
    EXPECT_TRUE(copied == QString::fromLatin1((line + "\n").repeated(kLines).chopped(1))) << "every line, as it is";
    QStringList expected;
    for (int k = 0; k < ticks; ++k)
        expected << QStringLiteral("12/07/2026 05:%1:%2.%3 PM,1E-10")
                        .arg(27 + (41 + k / 10) / 60)
                        .arg((41 + k / 10) % 60, 2, 10, QLatin1Char('0'))
                        .arg(k % 10);
    EXPECT_EQ(QString::fromLatin1(readFile("oven.csv")).split("\r\n", Qt::SkipEmptyParts), expected)
        << "a line for every 0.1 s";
}

} // namespace

namespace {

TEST_F(LoggingScreen, AScreenReaderReadsTheLinesOnScreenAndTheFieldsByTheirCaptions)
{
    gInstruments[0].LogState = 1;
    gInstruments[0].LogFile = file("oven.csv");
    select(0);
    QByteArray log;
    for (int k = 0; k < 500; ++k)
        log += QStringLiteral("12/07/2026 05:%1:41 PM,%2\r\n").arg(k / 60, 2, 10, QLatin1Char('0')).arg(k).toLatin1();
    writeFile("oven.csv", log);
    // what is read: top line, text at the top, line of the selection, text there
    std::vector<std::tuple<qint64, QString, QString>> read;
    QTimer::singleShot(0, [&] {
        LineView* view = frmViewLog().txtLog;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(view);
        QAccessibleTextInterface* text = a ? a->textInterface() : nullptr;
        if (text) {
            for (qint64 top : {qint64(0), qint64(250)}) {
                view->verticalScrollBar()->setValue(int(top));
                view->selectLines(top + 1, top + 1);
                const QString all = text->text(0, text->characterCount());
                int from = 0, to = 0;
                text->selection(0, &from, &to);
                read.emplace_back(view->topLine(), all.section(QLatin1Char('\n'), 0, 0), all.mid(from, to - from));
            }
            EXPECT_TRUE(a->state().readOnly && a->state().multiLine);
            EXPECT_EQ(a->text(QAccessible::Value).count(QLatin1Char('\n')) + 1, view->shownLines().size());
            EXPECT_GT(view->shownLines().size(), 3);
        }
        frmViewLog().cmdClose_Click();
    });
    f().cmdView_Click();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0], std::make_tuple(qint64(0), QStringLiteral("12/07/2026 05:00:41 PM,0"),
                                       QStringLiteral("12/07/2026 05:00:41 PM,1")));
    EXPECT_EQ(read[1], std::make_tuple(qint64(250), QStringLiteral("12/07/2026 05:04:41 PM,250"),
                                       QStringLiteral("12/07/2026 05:04:41 PM,251")));

    // The entry fields are named by the captions beside and above them.
    for (const auto& [field, name] : {std::pair{static_cast<QWidget*>(f().txtRate), "Rate"},
                                      {static_cast<QWidget*>(f().txtDuration), "Duration"}}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(field);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), name);
    }
}

TEST_F(LoggingScreen, MissingViewerIsNamedInItsBox)
{
    gViewApp = file("no-such-viewer");
    writeFile("old.csv", "line\r\n");
    fd::setHandler([&](const fd::Request&) { return file("old.csv"); });
    boxes_.clear();
    f().cmdViewHist->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.contains("Error Code 53 - File not found: the log viewer program >" +
                                            file("no-such-viewer")))
        << boxes_.last().text.toStdString();
}

// The folder of a session logging ten times a second is removed while the
// dialog shows it: one real box tells which session stopped and why, and no
// other follows, however long it is left open; the other session logs every
// line meanwhile; the session logs again once started again, and Exit is
// reached.
TEST_F(LoggingScreen, ASessionWhoseFolderIsGoneStopsWithOneBoxAndLogsAgainWhenStarted)
{
    const QString folder = file("line 3"), ovenLog = folder + "/oven.csv";
    ASSERT_TRUE(QDir().mkpath(folder));
    InstrumentRecord& oven = logTenTimesASecond(0, "unused.csv");
    oven.LogState = 0;
    const InstrumentRecord& kiln = logTenTimesASecond(1, "kiln.csv");
    select(0);
    fd::setHandler([&](const fd::Request&) { return ovenLog; });
    f().cmdStart->click();
    ASSERT_EQ(oven.LogState, 1);

    // The logging timer ticks 100 ms of the fake clock at every turn of
    // whatever loop runs; a box met is read for two seconds of ticks (or a
    // few hundred turns, should no tick come) and answered with Enter.
    int ticks = 0, metAt = 0, turns = 0;
    QPointer<QMessageBox> open;
    QTimer logging, user;
    QObject::connect(&logging, &QTimer::timeout, [&] {
        Clock::advanceMs(100);
        frmMain().tmrLogging.tick();
        ++ticks;
    });
    QObject::connect(&user, &QTimer::timeout, [&] {
        if (open && (ticks >= metAt + 20 || ++turns > 500)) {
            open = nullptr;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
    });
    const auto runTicks = [&](int n) {
        const int until = ticks + n;
        EXPECT_TRUE(runEventsUntil([&] { return ticks >= until; }, 10000));
    };
    boxes_.clear();
    {
        const RealBoxes met([&](QMessageBox* box) {
            open = box;
            metAt = ticks;
            turns = 0;
        });
        logging.start(0);
        user.start(0);
        runTicks(3);
        ASSERT_TRUE(QDir(folder).removeRecursively());
        runTicks(60);
        logging.stop();
        user.stop();
    }
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().text, "Logging of Address 01 (Oven) has been stopped: an application error has "
                                  "occurred writing its log file:\rError Code 76 - Path not found\r"
                                  "Routine - frmMain.tmrLogging_Timer, File >" + ovenLog);
    EXPECT_EQ(f().lblStatusText->text(), "STOPPED");
    EXPECT_TRUE(oven.LogState == 2 && f().cmdStart->isEnabled() && !f().cmdStop->isEnabled());
    EXPECT_EQ(QString::fromLatin1(readFile("kiln.csv")).count("\r\n"), ticks) << "a line for every 0.1 s";

    ASSERT_TRUE(QDir().mkpath(folder));
    f().cmdStart->click();
    frmMain().tmrLogging.tick();
    QString stamp = Clock::utcNow().toString(u"MM/dd/yyyy hh:mm:ss AP");
    stamp.insert(stamp.size() - 3, "." + QString::number(Clock::utcNow().time().msec() / 100));
    EXPECT_EQ(readFile("line 3/oven.csv"), stamp.toLatin1() + ",1E-10\r\n");
    EXPECT_EQ(kiln.LogState, 1);

    f().cmdClose->click();
    EXPECT_THROW(frmMain().mnuFileExit->trigger(), ProgramEnded);
    EXPECT_EQ(boxes_.count(), 1);
}

} // namespace
