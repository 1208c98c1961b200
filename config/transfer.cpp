#include "config/transfer.h"

#include "config/frmConfig.h"
#include "core/state.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

namespace cfgxfer {

QString PlainNumber(double v)
{
    QString s = QString::number(v, 'f', 4);
    if (s.contains(u'.')) {
        while (s.endsWith(u'0'))
            s.chop(1);
        if (s.endsWith(u'.'))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s;
}

int FieldKind(int reg)
{
    if (reg < 0 || reg > modZarn::kMaxRegister)
        rt::raise(rt::ErrSubscript);
    return modZarn::gCfgField[std::size_t(reg)][1];
}

bool RampSoakBlock(int reg) { return (reg >= 0x1040 && reg <= 0x1067) || (reg >= 0x2000 && reg <= 0x20BF); }

QString FieldLabel(const FrmConfig& f, int reg)
{
    const int kind = FieldKind(reg);
    if (kind != 1 && kind != 2)
        return QString();
    if (RampSoakBlock(reg))
        return QStringLiteral("(Ramp/Soak)");
    return QLatin1Char('(') + f.lblParamLabel(reg)->text() + QLatin1Char(')');
}

bool LeaveDemoMode(FrmConfig& f, const QString& purpose)
{
    if (mb::MsgBox(QStringLiteral("You are currently in DEMO MODE.  Do you want to exit DEMO MODE and ") + purpose
                       + QStringLiteral(" ?"),
                   mb::YesNo | mb::DefaultButton2, QStringLiteral("Switch out of Demo Mode"), &f)
        != mb::Yes)
        return false;
    modZarn::gDemoMode = false;
    f.lblDemoMode->setVisible(false);
    return true;
}

bool ReportExchangeError(FrmConfig& f, int reg, const QString& errText, bool askable, const QString& title,
                         const QString& question)
{
    const QString message = QStringLiteral("Communications Error >") + errText + QStringLiteral(". ") + FieldLabel(f, reg);
    const bool goOn = askable ? mb::MsgBox(message + question, mb::YesNo | mb::DefaultButton2, title, &f) == mb::Yes
                              : (mb::MsgBox(message, mb::Exclamation, title, &f), false);
    f.lblProgress->setText(QString());
    return goOn;
}

} // namespace cfgxfer
