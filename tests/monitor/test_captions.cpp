// Every caption of the logging dialog, the log viewer, the system monitor, the
// graph screen and its set-up dialog can be read in full, also with the
// longest texts shown.
#include <QListWidget>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

#include "core/state.h"
#include "monitor/frmGraph.h"
#include "monitor/frmGraphCfg.h"
#include "monitor/frmLogging.h"
#include "monitor/frmMonitor.h"
#include "monitor/mdiMonitor.h"
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

TEST_F(LoggingCaptionTest, GraphScreensShowTheirCaptionsWhole)
{
    gDemoMode = true;
    FrmGraph& g = frmGraph();
    g.Show();
    g.cbxDuration->setListIndex(g.cbxDuration->ListCount() - 1); // never stop: the buffer label shows
    g.cmdStartSampling->click();
    g.lblSampleCountText->setText(QStringLiteral("12,799"));
    g.lblBufferSizeText->setText(QStringLiteral("127,990 Of 128,000"));
    expectCaptionsFit(&g, QStringLiteral("frmGraph"));
    g.cmdStopSampling->click();
    frmGraphCfg().Show();
    expectCaptionsFit(&frmGraphCfg(), QStringLiteral("frmGraphCfg"));
}

TEST_F(LoggingCaptionTest, MonitorShowsItsCaptionsWhole)
{
    InstrumentRecord r;
    r.Address = QStringLiteral("255");
    r.Name = QStringLiteral("WWWWWWWWWWWWWWWWWWWWW");
    r.Protocol = QStringLiteral("A");
    r.Group = 2;
    gInstruments.Append(r);
    mdiMonitor().Show();
    FrmMonitor& m = frmMonitor();
    // A row as the poll leaves it with the widest texts it writes.
    for (int r : {0, 39}) {
        m.cbxControl(r)->setListIndex(0);
        m.lblTempText(r)->setText(QStringLiteral("-3,276.8  °F"));
        m.lblAlm1StatText(r)->setText(QStringLiteral("OFF"));
        m.lblAlm2StatText(r)->setText(QStringLiteral("OFF"));
        for (QWidget* w : std::initializer_list<QWidget*>{m.cmdRampCfg(r), m.cmdRampOn(r), m.cmdRampHold(r),
                                                         m.cmdRampOff(r), m.shpRampSoak(r)})
            w->show();
    }
    expectCaptionsFit(&m, QStringLiteral("frmMonitor"));
    // The closed list shows the longest label whole.
    ComboBox* list = m.cbxControl(0);
    QStyleOptionComboBox opt;
    opt.initFrom(list);
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, list);
    EXPECT_LE(QFontMetrics(list->font()).horizontalAdvance(list->Text()), field.width()) << list->Text().toStdString();
}

} // namespace
