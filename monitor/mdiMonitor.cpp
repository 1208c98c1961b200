#include "monitor/mdiMonitor.h"

#include <QMdiSubWindow>
#include <QVBoxLayout>

#include "core/state.h"
#include "core/sysconfig.h"
#include "monitor/frmMonitor.h"
#include "monitor/monitor_rows.h"
#include "platform/builders.h"
#include "platform/msgbox.h"
#include "platform/twips.h"

using namespace modZarn;

namespace {
const QString kTemperatures = QStringLiteral("Process Variables");
const QString kSetpoints = QStringLiteral("Setpoints");
} // namespace

MdiMonitor::MdiMonitor()
{
    setObjectName(QStringLiteral("mdiMonitor"));
    setWindowTitle(QStringLiteral("System Monitor"));

    menuBar = new QMenuBar(this);
    frameLayout()->setMenuBar(menuBar);
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    mnuFileClose = file->addAction(QStringLiteral("C&lose"));
    QMenu* rates = menuBar->addMenu(QStringLiteral("&Refresh Rates"));
    mnuTemperatures = rates->addMenu(kTemperatures);
    mnuSetpoints = rates->addMenu(kSetpoints);
    const QStringList& captions = monitor::RateCaptions();
    for (int i = 0; i < captions.size(); ++i) {
        QAction* pv = mnuTemperatures->addAction(captions[i]);
        QAction* sp = mnuSetpoints->addAction(captions[i]);
        mnuTempRates.add(i, pv);
        mnuSPRates.add(i, sp);
        ctl::onClick(pv, this, QStringLiteral("mnuTempRates"), [this, i] { mnuTempRates_Click(i); });
        ctl::onClick(sp, this, QStringLiteral("mnuSPRates"), [this, i] { mnuSPRates_Click(i); });
    }
    ctl::onClick(mnuFileClose, this, QStringLiteral("mnuFileClose"), [this] { mnuFileClose_Click(); });

    resize(tw::px(9375), tw::px(6120) + menuBar->sizeHint().height());
}

void MdiMonitor::Form_Load()
{
    FrmMonitor& child = frmMonitor();
    child.setMdiParent(*this);
    child.subWindow()->setWindowTitle(child.windowTitle());
    // The child is taller than the parent's client area, which scrolls.
    child.subWindow()->adjustSize();
    child.subWindow()->show();
}

void MdiMonitor::showRates()
{
    mnuTemperatures->setTitle(monitor::RateMenuCaption(kTemperatures, gPVPollSeconds));
    mnuSetpoints->setTitle(monitor::RateMenuCaption(kSetpoints, gSPPollSeconds));
}

void MdiMonitor::Form_Activate()
{
    const Screen::Busy busy;
    FrmMonitor& m = frmMonitor();
    gMonitorStop = false;
    gLastPVPollTime = kPollNow;
    gLastSPPollTime = kPollNow;
    showRates();
    gMonitorBusy = true;
    m.ClearRows();
    // No file yet (a first run) restores every row empty; a short one
    // restores the rows it holds.
    m.RestoreRows(monitor::ReadRowFile(monitor::RowFilePath()));
    m.tmrPoll.setEnabled(gCommOK);
    // With the port closed the rows stay inert: choosing an instrument
    // then changes nothing else in the row.
    if (gCommOK)
        gMonitorBusy = false;
}

void MdiMonitor::Form_Deactivate()
{
    FrmMonitor& m = frmMonitor();
    gMonitorStop = true;
    m.tmrPoll.setEnabled(false);
    monitor::WriteRowFile(monitor::RowFilePath(), m.RowTexts());
    Hide();
}

void MdiMonitor::mnuFileClose_Click() { Hide(); }

void MdiMonitor::mnuTempRates_Click(int index)
{
    gPVPollSeconds = monitor::RatePeriod(mnuTempRates(index)->text());
    showRates();
    SaveSystemConfig();
}

void MdiMonitor::mnuSPRates_Click(int index)
{
    gSPPollSeconds = monitor::RatePeriod(mnuSPRates(index)->text());
    showRates();
    SaveSystemConfig();
}

MdiMonitor& mdiMonitor() { return Forms::get<MdiMonitor>(); }
