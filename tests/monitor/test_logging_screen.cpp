// The logging dialog: states, entry rules, Start, Stop, View Current and View Hist.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimeZone>
#include <QTimer>

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
        for (const char* name : {"Oven", "Kiln"}) {
            InstrumentRecord r;
            r.Address = QStringLiteral("0%1").arg(gInstruments.Count() + 1);
            r.Name = QString::fromLatin1(name);
            r.LogDuration = 60;
            r.LogRate = 90;
            r.DurationUnits = r.RateUnits = 1;
            gInstruments.Append(r);
        }
        frmLogging().Show();
    }
    FrmLogging& f() { return frmLogging(); }
    // The user clicks entry i.
    void select(int i)
    {
        QListWidget* l = f().lstControls;
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(i)).center());
    }
};

TEST_F(LoggingScreen, OpensWithNothingSelectedAndShowsEachState)
{
    EXPECT_EQ(f().windowTitle(), "Process Variable Logging");
    ASSERT_EQ(f().lstControls->count(), 2);
    EXPECT_EQ(f().lstControls->item(1)->text(), "02     Kiln");
    for (QWidget* w : std::initializer_list<QWidget*>{f().cmdStart, f().cmdStop, f().cmdView, f().txtDuration,
                                                     f().txtRate, f().optHoursMins(0), f().optMinSec(1)})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_TRUE(f().cmdViewHist->isEnabled() && f().cmdClose->isEnabled());

    // The list taking the focus chooses nothing: the first row becomes
    // current, but no instrument is shown and Start stays disabled.
    f().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f()));
    f().lstControls->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(f().lstControls->hasFocus());
    EXPECT_EQ(f().lstControls->currentRow(), 0);
    EXPECT_EQ(f().SelectedIndex, -1);
    EXPECT_FALSE(f().cmdStart->isEnabled());
    EXPECT_EQ(f().lblAddressText->text(), "");

    // state, status text, colour, enabled Start/Stop/View/entry fields
    const std::tuple<int, const char*, quint32, const char*> rows[] = {
        {1, "STARTED", color::Green, "0110"},
        {2, "STOPPED", color::Red, "1011"},
        {3, "FINISHED", color::ButtonFace, "1011"},
        {0, "", color::ButtonFace, "1001"},
    };
    gInstruments[1].LogStartDate = 46363.75; // 12/7/2026 6:00 PM
    for (const auto& [state, text, colour, enabled] : rows) {
        gInstruments[1].LogState = state;
        select(1);
        EXPECT_EQ(f().lblAddressText->text() + f().lblNameText->text(), "02Kiln");
        EXPECT_EQ(f().lblStatusText->text(), text);
        EXPECT_EQ(f().statusColor(), colour);
        EXPECT_EQ(f().lblStartTimeText->text(), state == 1 ? "Logging started 12/7/2026 6:00:00 PM" : "");
        QString shown;
        for (QWidget* w : std::initializer_list<QWidget*>{f().cmdStart, f().cmdStop, f().cmdView, f().txtRate})
            shown += w->isEnabled() ? '1' : '0';
        EXPECT_EQ(shown, enabled) << "state " << state;
        EXPECT_EQ(f().optHoursMins(0)->isEnabled(), f().txtRate->isEnabled());
    }
    // With the port closed, only View Hist and Close can act.
    gCommOK = false;
    gInstruments[1].LogState = 1;
    select(1);
    EXPECT_FALSE(f().cmdStop->isEnabled() || f().cmdView->isEnabled());
}

TEST_F(LoggingScreen, EntriesAreClampedConvertedAndSaved)
{
    select(0);
    // rate or duration, unit option, entry, shown, stored (minutes or seconds)
    const std::tuple<bool, int, const char*, const char*, float> cases[] = {
        {false, 0, "0.005", "0.01", 1},   // at least one minute
        {false, 0, "2.5", "2.50", 150},
        {false, 0, "1.05", "1.05", 63},   // not 62 from a float a hair short
        {false, 0, "500", "480.00", 28800},
        {false, 1, "0", "1", 1},
        {false, 1, "30000", "28800", 28800},
        {false, 1, "45.9", "45", 45},
        {true, 1, "0.05", "0.1", 0.1f},
        {true, 1, "7200", "3600.0", 3600},
        {true, 0, "1.5", "1.50", 90},
        {true, 0, "0.3333", "0.33", 19},
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
    EXPECT_FALSE(f().Changed);
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(LoggingScreen, ShowingAValueInAnotherUnitNeverStoresIt)
{
    gInstruments[1].LogDuration = 59;
    gInstruments[1].DurationUnits = 0;
    select(1);
    EXPECT_EQ(f().txtDuration->text() + f().lblHoursMins->text(), "0.98hr");
    EXPECT_EQ(f().txtRate->text() + f().lblMinSec->text(), "90.0sec/log");
    // Selecting and leaving the fields untouched stores nothing, writes nothing.
    f().txtDuration_GotFocus();
    f().txtDuration_LostFocus();
    select(0);
    select(1);
    EXPECT_EQ(gInstruments[1].LogDuration, 59);
    EXPECT_FALSE(QFile::exists(file("Quinrex3.cfg")));

    // Switching units shows the stored value and saves only the unit.
    f().optMinSec(0)->click();
    EXPECT_EQ(f().txtRate->text() + f().lblMinSec->text(), "1.50min/log");
    EXPECT_TRUE(gInstruments[1].RateUnits == 0 && QFile::exists(file("Quinrex3.cfg")));
    f().optMinSec(1)->click();
    f().optHoursMins(1)->click();
    EXPECT_EQ(f().txtRate->text() + " " + f().txtDuration->text(), "90.0 59");
    EXPECT_TRUE(gInstruments[1].LogRate == 90.0f && gInstruments[1].LogDuration == 59);

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
    EXPECT_TRUE(asked.kind == fd::Save && asked.title == "Start Log File" && asked.initialDir == programDir());
    EXPECT_EQ(asked.initialName, "01_20261207.csv");
    EXPECT_FALSE(QFile::exists(file("oven.csv")));
    EXPECT_TRUE(gInstruments[0].LogState == 1 && gInstruments[0].LogFile == file("oven.csv") && gInstruments[0].LogNextSec == 0);
    EXPECT_DOUBLE_EQ(gInstruments[0].LogStartSec, UtcNow() * 86400);
    EXPECT_EQ(f().lblStatusText->text(), "STARTED");

    // Another instrument on the running session's file is refused; a file
    // that cannot be deleted starts nothing and says why; Cancel does nothing.
    select(1);
    for (const auto& [name, title, says] :
         {std::tuple{file("oven.csv"), "File Currently Active", ""},
          {QStringLiteral("/proc/version"), "Start Log File", "could not be deleted (Permission denied)"},
          {QString(), "", ""}}) {
        answer = name;
        boxes_.clear();
        f().cmdStart_Click();
        EXPECT_EQ(boxes_.last().title, title);
        EXPECT_TRUE(boxes_.last().text.contains(says));
        EXPECT_TRUE(gInstruments[1].LogState == 0 && gInstruments[1].LogFile.isEmpty());
    }

    // Stop asks first.
    select(0);
    boxes_.push(mb::No);
    f().cmdStop_Click();
    EXPECT_EQ(boxes_.last().text, "Are sure you wish to stop the current logging session?");
    EXPECT_EQ(boxes_.last().style, mb::YesNo | mb::DefaultButton2 | mb::Question);
    EXPECT_EQ(gInstruments[0].LogState, 1);
    boxes_.push(mb::Yes);
    f().cmdStop_Click();
    EXPECT_EQ(gInstruments[0].LogState, 2);
    EXPECT_EQ(f().lblStatusText->text(), "STOPPED");
}

TEST_F(LoggingScreen, ViewCurrentShowsASnapshotOfTheFile)
{
    gInstruments[0].LogState = 1;
    gInstruments[0].LogFile = file("oven.csv");
    select(0);
    f().cmdView_Click(); // no file yet: nothing happens
    EXPECT_FALSE(Forms::isLoaded<FrmViewLog>());

    writeFile("oven.csv", "12/07/2026 05:27:41 PM,25.5\r\n12/07/2026 05:27:42 PM,0\r\n");
    QString caption, text;
    QTimer::singleShot(0, [&] {
        caption = frmViewLog().windowTitle();
        text = frmViewLog().txtLog->toPlainText();
        frmViewLog().cmdClose_Click();
    });
    f().cmdView_Click();
    EXPECT_EQ(caption, "View Current Log (Snapshot) - " + file("oven.csv"));
    EXPECT_EQ(text, "12/07/2026 05:27:41 PM,25.5\n12/07/2026 05:27:42 PM,0");
    EXPECT_FALSE(Forms::isLoaded<FrmViewLog>());
}

TEST_F(LoggingScreen, ViewHistRefusesTheRunningLogAndStartsTheViewerOtherwise)
{
    gInstruments[0].LogState = 1;
    gInstruments[0].LogFile = file("oven.csv");
    gInstruments[1].LogState = 2;
    gInstruments[1].LogFile = file("kiln.csv");
    QString answer = file("oven.csv");
    fd::Request asked;
    fd::setHandler([&](const fd::Request& r) {
        asked = r;
        return answer;
    });
    gViewApp = file("viewer.sh");
    // The viewer notes its argument (whole, by a rename, so the test never reads half of it).
    writeFile("viewer.sh", "#!/bin/sh\ncd \"$(dirname \"$0\")\" && echo \"$1\" > seen.tmp && mv seen.tmp viewed.txt\n");
    QFile::setPermissions(gViewApp, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    f().cmdViewHist_Click();
    EXPECT_TRUE(asked.kind == fd::Open && asked.title == "View Historical Log");
    EXPECT_EQ(boxes_.last().title, "File Currently Active");
    EXPECT_EQ(boxes_.last().text,
              file("oven.csv") + "\rThis file is currently being logged to and cannot be viewed Historically.");

    answer = file("kiln.csv");
    f().cmdViewHist_Click();
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(file("viewed.txt")) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(readFile("viewed.txt"), file("kiln.csv").toUtf8() + "\n");
}

TEST_F(LoggingScreen, MainMenuButtonOpensTheDialogModally)
{
    Forms::discardAll();
    bool modal = false;
    QTimer::singleShot(0, [&] {
        modal = frmLogging().isModalShown();
        frmLogging().cmdClose_Click();
    });
    frmMain().cmdLogging->click();
    EXPECT_TRUE(modal);
    EXPECT_FALSE(Forms::isLoaded<FrmLogging>());
}

} // namespace
