// Every caption of the logging dialog and the log viewer can be read in full.
#include "monitor/frmLogging.h"
#include "monitor/frmViewLog.h"
#include "support/captions.h"
#include "support/testenv.h"

namespace {

using LoggingCaptionTest = QxTest;

TEST_F(LoggingCaptionTest, LoggingScreensShowTheirCaptionsWhole)
{
    frmLogging().Show();
    expectCaptionsFit(&frmLogging(), QStringLiteral("frmLogging"));
    frmLogging().Hide();
    frmViewLog().Show();
    expectCaptionsFit(&frmViewLog(), QStringLiteral("frmViewLog"));
}

} // namespace
