#include "config/frmConfig.h"

FrmConfig& frmConfig() { return Forms::get<FrmConfig>(); }

FrmConfig::FrmConfig()
{
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("Configure Instrument"));
    resize(640, 470);
    lblAutoSendFileName = new QLabel(this);
    lblAutoSendFileName->setGeometry(8, 80, 624, 20);
}
