// Every caption of the logging dialog and the log viewer can be read in full,
// also with a chosen instrument's longest name and state shown.
#include <QListWidget>
#include <QTest>

#include "core/state.h"
#include "monitor/frmLogging.h"
#include "monitor/frmViewLog.h"
#include "support/captions.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

using LoggingCaptionTest = QxTest;

TEST_F(LoggingCaptionTest, LoggingScreensShowTheirCaptionsWhole)
{
    gLogStatusText = {QStringLiteral("STARTED"), QStringLiteral("STOPPED"), QStringLiteral("FINISHED"), QString()};
    InstrumentRecord r;
    r.Address = QStringLiteral("255");
    r.Name = QStringLiteral("WWWWWWWWWWWWWWWWWWWWW"); // the longest name, in the widest letter
    r.Protocol = QStringLiteral("A");
    r.Group = 2;
    r.LogState = 3;
    r.LogDuration = 9999;
    r.LogRate = 9999;
    gInstruments.Append(r);

    FrmLogging& f = frmLogging();
    f.Show();
    expectCaptionsFit(&f, QStringLiteral("frmLogging"));
    QListWidget* l = f.lstControls;
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
    ASSERT_EQ(f.lblNameText->text(), r.Name);
    expectCaptionsFit(&f, QStringLiteral("frmLogging-chosen"));
    f.Hide();

    frmViewLog().Show();
    expectCaptionsFit(&frmViewLog(), QStringLiteral("frmViewLog"));
}

} // namespace
