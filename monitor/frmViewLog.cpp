#include "monitor/frmViewLog.h"

FrmViewLog& frmViewLog() { return Forms::get<FrmViewLog>(); }

FrmViewLog::FrmViewLog()
{
    setObjectName(QStringLiteral("frmViewLog"));
    setWindowTitle(QStringLiteral("View Log"));
    resize(640, 480);

    txtLog = new LineView(this);
    txtLog->setGeometry(10, 10, 620, 420);

    cmdClose = new QPushButton(QStringLiteral("C&lose"), this);
    cmdClose->setGeometry(530, 440, 100, 30);
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void FrmViewLog::cmdClose_Click() { Unload(); }
