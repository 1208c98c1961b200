#include "monitor/frmViewLog.h"

#include "platform/builders.h"
#include "platform/twips.h"

FrmViewLog& frmViewLog() { return Forms::get<FrmViewLog>(); }

FrmViewLog::FrmViewLog()
{
    setObjectName(QStringLiteral("frmViewLog"));
    setWindowTitle(QStringLiteral("View Log"));
    resize(tw::px(9600), tw::px(7200));

    txtLog = new LineView(this);
    txtLog->setObjectName(QStringLiteral("txtLog"));
    tw::place(txtLog, 150, 150, 9300, 6300);

    cmdClose = ctl::button(this, QStringLiteral("cmdClose"), QStringLiteral("C&lose"), 7950, 6600, 1500, 450);
    ctl::on(cmdClose, &QPushButton::clicked, "Click", [this] { cmdClose_Click(); });
}

void FrmViewLog::cmdClose_Click() { Unload(); }
