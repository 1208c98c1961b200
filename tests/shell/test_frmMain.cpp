// The main menu: the terminal's logging guard.
#include <QTimer>

#include "core/helpers.h"
#include "platform/controls.h"
#include "shell/frmMain.h"
#include "shell/frmTerminal.h"
#include "support/testenv.h"

using namespace modZarn;

using MainMenuTest = QxTest;

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
