#pragma once
// The system monitor's parent window: the refresh-period menu and the
// monitor's life cycle. It works only while it is the program's active
// window: activation rebuilds the rows from the instrument table and
// Monitor.val and starts the poll; deactivation stops the poll, saves the
// rows and hides the window.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "platform/controls.h"
#include "platform/mdi.h"

class MdiMonitor : public MdiForm {
    Q_OBJECT
public:
    MdiMonitor();

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Deactivate() override;

    QMenuBar* menuBar;
    QAction* mnuFileClose;
    QMenu* mnuTemperatures;
    QMenu* mnuSetpoints;
    ControlArray<QAction> mnuTempRates;
    ControlArray<QAction> mnuSPRates;

    void mnuFileClose_Click();
    void mnuTempRates_Click(int index);
    void mnuSPRates_Click(int index);

private:
    void showRates();
};

MdiMonitor& mdiMonitor();
