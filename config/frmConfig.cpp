#include "config/frmConfig.h"

#include "core/startup.h"
#include "shell/navigation.h"

FrmConfig& frmConfig() { return Forms::get<FrmConfig>(); }

static const Nav::Registration reg(Nav::Target::Configure,
                                   [](Form& from) { modZarn::SwitchForm(from, frmConfig()); });

FrmConfig::FrmConfig()
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configure Instrument"));
    resize(640, 470);
    lblAutoSendFileName = new QLabel(this);
    lblAutoSendFileName->setGeometry(8, 80, 624, 20);
}
