// The main menu: its title and demo switch, the terminal's logging guard, the idle lamp.
#include <QTimer>
#include <utility>

#include "core/helpers.h"
#include "platform/controls.h"
#include "shell/frmMain.h"
#include "shell/frmTerminal.h"
#include "support/testenv.h"

using namespace modZarn;

using MainMenuTest = QxTest;

namespace {
// Counts the paint events of the widgets it filters.
struct PaintCount : QObject {
    int n = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        n += e->type() == QEvent::Paint;
        return false;
    }
};
} // namespace

TEST_F(MainMenuTest, MissingTitleGivesAnEmptyCaptionAndTheEditionReadsItsOwnFile)
{
    EXPECT_TRUE(frmMain().windowTitle().isEmpty());
    Forms::discardAll();
    writeFile("Apptitle.txt", "Standard\r\n");
    writeFile("Apptitle-1.txt", "Private Label\r\n");
    gKT9PMode = true;
    EXPECT_EQ(frmMain().lblTitle->text(), "Private Label");
    EXPECT_EQ(boxes_.count(), 0);

    frmMain().cmdDemoMode->click();
    frmMain().cmdDemoMode->click();
    EXPECT_FALSE(gDemoMode || !frmMain().lblDemoMode->isHidden());
}

TEST_F(MainMenuTest, TerminalGuardStopsLoggingOnlyAfterYes)
{
    gInstruments.Resize(2);
    gInstruments[0].LogState = 1;
    gInstruments[1].LogState = 3;
    // A session started now that runs for an hour (its reads fail: the port is closed).
    gInstruments[0].LogStartSec = UtcNow() * 86400;
    gInstruments[0].LogDuration = 60;
    gInstruments[0].LogRate = 1;
    gInstruments[0].LogFile = file("log.csv");
    FrmMain& f = frmMain();
    f.tmrLogging_Timer();
    ASSERT_TRUE(gInstruments.LoggingActive);
    EXPECT_EQ(f.shpLogging->fillColor(), color::Green);

    boxes_.push(mb::No);
    f.mnuCommTerm_Click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Display Terminal?");
    EXPECT_TRUE(gInstruments[0].LogState == 1 && gInstruments.LoggingActive);
    EXPECT_FALSE(Forms::isLoaded<FrmTerminal>());

    // The terminal opens modal: close it as soon as it shows.
    int opened = 0;
    auto closeTerminalWhenShown = [&opened] {
        QTimer::singleShot(0, [&opened] {
            if (Forms::isLoaded<FrmTerminal>() && frmTerminal().isModalShown()) {
                ++opened;
                frmTerminal().cmdClose_Click();
            }
        });
    };
    boxes_.push(mb::Yes);
    closeTerminalWhenShown();
    f.mnuCommTerm_Click();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(gInstruments[0].LogState * 10 + gInstruments[1].LogState, 23); // the running session stopped, the other kept
    EXPECT_FALSE(gInstruments.LoggingActive);
    EXPECT_EQ(f.shpLogging->fillColor(), color::ButtonFace);
}

TEST_F(MainMenuTest, LoggingTickRepaintsTheLampOnlyWhenItChanges)
{
    // The tick sets the logging lamp 20 times a second: the idle program
    // must not repaint each time.
    FrmMain& m = frmMain();
    m.Show();
    QCoreApplication::processEvents();
    PaintCount paints;
    m.shpLogging->installEventFilter(&paints);
    const auto tick = [&] {
        m.tmrLogging_Timer();
        QCoreApplication::processEvents();
        return std::exchange(paints.n, 0);
    };
    EXPECT_EQ(tick() + tick(), 0);

    gInstruments.Resize(1);
    gInstruments[0].LogState = 1;
    gInstruments[0].LogStartSec = UtcNow() * 86400;
    gInstruments[0].LogDuration = 60;
    gInstruments[0].LogRate = 1;
    gInstruments[0].LogFile = file("log.csv");
    EXPECT_GT(tick(), 0);
    EXPECT_EQ(m.shpLogging->fillColor(), color::Green);
}
