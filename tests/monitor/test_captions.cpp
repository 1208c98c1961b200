// Every caption of the monitor folder's screens can be read in full, also with
// the longest texts shown, and every text stands out from its ground, on light
// and dark desktops at every desktop font size.
#include <QListWidget>
#include <QScopedValueRollback>
#include <QTest>

#include "core/deffiles.h"
#include "core/state.h"
#include "monitor/frmGraph.h"
#include "monitor/frmGraphCfg.h"
#include "monitor/frmLogging.h"
#include "monitor/frmMonitor.h"
#include "monitor/mdiMonitor.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmStatus.h"
#include "monitor/frmViewLog.h"
#include "support/captions.h"
#include "support/desktop.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {
using CaptionTest = QxTest;
const QString kLongestName = QStringLiteral("WWWWWWWWWWWWWWWWWWWWW"); // 21 of the widest letter

TEST_F(CaptionTest, LoggingScreensShowTheirCaptionsWhole)
{
    gLogStatusText = {QStringLiteral("STARTED"), QStringLiteral("STOPPED"), QStringLiteral("FINISHED"), QString()};
    InstrumentRecord& r = addInstrument("255", "A", 2, kLongestName);
    r.LogState = 3;
    r.LogDuration = 9999;
    r.LogRate = 9999;

    ReadableOnEveryDesktop check;
    check.run([&] {
        FrmLogging& f = frmLogging();
        f.Show();
        check.expect(&f, QStringLiteral("frmLogging"));
        QListWidget* l = f.lstControls;
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
        ASSERT_EQ(f.lblNameText->text(), kLongestName);
        check.expect(&f, QStringLiteral("frmLogging-chosen"));
        f.Hide();
        frmViewLog().Show();
        check.expect(&frmViewLog(), QStringLiteral("frmViewLog"));
    });
}

TEST_F(CaptionTest, GraphScreensShowTheirCaptionsWhole)
{
    gDemoMode = true;
    ReadableOnEveryDesktop check;
    check.run([&] {
        FrmGraph& g = frmGraph();
        g.Show();
        g.cbxDuration->setListIndex(g.cbxDuration->ListCount() - 1); // never stop: the buffer label shows
        g.cmdStartSampling->click();
        g.lblSampleCountText->setText(QStringLiteral("12,799"));
        g.lblBufferSizeText->setText(QStringLiteral("127,990 Of 128,000"));
        check.expect(&g, QStringLiteral("frmGraph"));
        g.cmdStopSampling->click();
        frmGraphCfg().Show();
        check.expect(&frmGraphCfg(), QStringLiteral("frmGraphCfg"));
    });
}

TEST_F(CaptionTest, StatusAndSetpointScreensShowTheirCaptionsWhole)
{
    copySampleData();
    ReadModelFile();
    addInstrument("255", "R", 1, kLongestName);
    ReadableOnEveryDesktop check;
    check.run([&] {
        gDemoMode = true; // the demo label shows and the first tick fills the fields
        gCommOK = false;
        FrmStatus& s = frmStatus();
        s.Show();
        s.lblModelType->setText(QStringLiteral("QX-4Z, 1/4 DIN 4-Stage Ramp/Soak Controller"));
        s.lblProcessValueText->setText(QStringLiteral("-1,999,999.0000 °F"));
        s.lblSetpointText->setText(QStringLiteral("-1,999,999.0000 °F"));
        s.lblErrorMessageText->setText(
            QStringLiteral("Address 001:Illegal Data Address response from instrument for register 1029H (4137)"));
        check.expect(&s, QStringLiteral("frmStatus"));
        s.Hide();

        gCommOK = true;
        FrmSetpoints& p = frmSetpoints();
        p.Show();
        p.lblAddressText->setText(QStringLiteral("255"));
        p.lblNameText->setText(kLongestName);
        for (int k = 0; k < FrmSetpoints::kFields; ++k)
            p.lblUnits(k)->setText(QStringLiteral(" °F"));
        for (QWidget* w : std::initializer_list<QWidget*>{p.lblAlm3HiSV, p.lblAlm3LoSV, p.txtSV(5), p.txtSV(6),
                                                          p.lblUnits(5), p.lblUnits(6)})
            w->show(); // the alarm-3 fields of the three-alarm model
        check.expect(&p, QStringLiteral("frmSetpoints"));
        p.Hide();
    });
}

TEST_F(CaptionTest, MonitorShowsItsCaptionsWhole)
{
    addInstrument("255", "A", 2, kLongestName);
    ReadableOnEveryDesktop check;
    check.run([&] {
        mdiMonitor().Show();
        FrmMonitor& m = frmMonitor();
        // A row as the poll leaves it with the widest texts it writes.
        const QScopedValueRollback polling(gMonitorBusy, true);
        for (int r : {0, 39}) {
            m.cbxControl(r)->setListIndex(0);
            m.lblTempText(r)->setText(QStringLiteral("-3,276.8  °F"));
            m.txtSVText(r)->setText(QStringLiteral("-3,276.8  °F"));
            m.lblAlm1StatText(r)->setText(QStringLiteral("OFF"));
            m.lblAlm2StatText(r)->setText(QStringLiteral("OFF"));
            for (QWidget* w : std::initializer_list<QWidget*>{m.cmdRampCfg(r), m.cmdRampOn(r), m.cmdRampHold(r),
                                                             m.cmdRampOff(r), m.shpRampSoak(r)})
                w->show();
        }
        m.txtChangeAll->setText(QStringLiteral("-3,276.8  °F"));
        // The closed lists show the longest label whole too.
        check.expect(&m, QStringLiteral("frmMonitor"));
    });
}

} // namespace
