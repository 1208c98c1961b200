#include "config/frmConfig.h"

#include <QVBoxLayout>

#include "core/startup.h"
#include "platform/app.h"
#include "shell/frmMain.h"

FrmConfig& frmConfig() { return Forms::get<FrmConfig>(); }

FrmConfig::FrmConfig()
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configure Instrument"));
    resize(640, 470);
    auto* lay = new QVBoxLayout(this);
    cmdMainMenu = new QPushButton(QStringLiteral("   &Main Menu Screen"), this);
    lblAutoSendFileName = new QLabel(this);
    lay->addWidget(cmdMainMenu, 0, Qt::AlignLeft);
    lay->addWidget(lblAutoSendFileName);
    lay->addStretch();
    connect(cmdMainMenu, &QPushButton::clicked, this, [this] { cmdMainMenu_Click(); });
}

void FrmConfig::Form_Unload(int& cancel)
{
    (void)cancel;
    App::end(0);
}

void FrmConfig::cmdMainMenu_Click() { modZarn::SwitchForm(*this, frmMain()); }
