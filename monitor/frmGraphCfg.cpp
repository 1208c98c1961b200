#include "monitor/frmGraphCfg.h"

#include <QScopedValueRollback>
#include <cstdlib>

#include "core/state.h"
#include "platform/builders.h"
#include "platform/runtime.h"
#include "platform/twips.h"

using namespace modZarn;

FrmGraphCfg& frmGraphCfg() { return Forms::get<FrmGraphCfg>(); }

namespace {

// The tick box's text as a tick count is kept to 2..20.
void KeepTicksInRange(TextBox* box)
{
    const double v = rt::Val(box->text());
    if (v < 2 || v > 20)
        box->setText(QStringLiteral("5"));
}

} // namespace

FrmGraphCfg::FrmGraphCfg()
{
    setObjectName(QStringLiteral("frmGraphCfg"));
    setWindowTitle(QStringLiteral("Graph Setup"));
    setFixedSize(tw::px(4950), tw::px(3000));
    setEnterMovesFocus(true);

    lblXAxisTicks = ctl::label(this, QStringLiteral("X-Axis Ticks:"), 240, 240, 1350, 330);
    txtXAxisTicks = ctl::textBox(this, QStringLiteral("txtXAxisTicks"), 1650, 240, 750, 330);
    chkShowXGrid = ctl::checkBox(this, QStringLiteral("chkShowXGrid"), QStringLiteral("Show Grid Lines"), 2700, 240,
                                 2100, 330);
    lblYAxisTicks = ctl::label(this, QStringLiteral("Y-Axis Ticks:"), 240, 750, 1350, 330);
    txtYAxisTicks = ctl::textBox(this, QStringLiteral("txtYAxisTicks"), 1650, 750, 750, 330);
    chkShowYGrid = ctl::checkBox(this, QStringLiteral("chkShowYGrid"), QStringLiteral("Show Grid Lines"), 2700, 750,
                                 2100, 330);
    lblNote = ctl::label(this, QStringLiteral("Note: X &&Y Ticks are only used when not Auto Scaling."), 240, 1290,
                         4500, 600);
    lblNote->setTextFormat(Qt::PlainText);
    lblNote->setText(lblNote->text().replace(QStringLiteral("&&"), QStringLiteral("&")));
    lblNote->setWordWrap(true);
    cmdOK = ctl::button(this, QStringLiteral("cmdOK"), QStringLiteral("&OK"), 900, 2190, 1350, 450);
    cmdCancel = ctl::button(this, QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"), 2700, 2190, 1350, 450);

    txtXAxisTicks->Change = [this] { txtXAxisTicks_Change(); };
    txtYAxisTicks->Change = [this] { txtYAxisTicks_Change(); };
    txtXAxisTicks->GotFocus = [this] { txtXAxisTicks_GotFocus(); };
    txtYAxisTicks->GotFocus = [this] { txtYAxisTicks_GotFocus(); };
    txtXAxisTicks->LostFocus = [this] { txtXAxisTicks_LostFocus(); };
    txtYAxisTicks->LostFocus = [this] { txtYAxisTicks_LostFocus(); };
    chkShowXGrid->Click = [this] { chkShowXGrid_Click(); };
    chkShowYGrid->Click = [this] { chkShowYGrid_Click(); };
    ctl::on(cmdOK, &QPushButton::clicked, "Click", [this] { cmdOK_Click(); });
    ctl::on(cmdCancel, &QPushButton::clicked, "Click", [this] { cmdCancel_Click(); });
}

void FrmGraphCfg::Form_Load()
{
    gGraphCfgChanged = false;
    const QScopedValueRollback loading(Loading, true);
    txtXAxisTicks->setText(QString::number(gGraphXTicks));
    txtYAxisTicks->setText(QString::number(gGraphYTicks));
    chkShowXGrid->setValue(std::abs(gGraphXGrid % 2));
    chkShowYGrid->setValue(std::abs(gGraphYGrid % 2));
}

void FrmGraphCfg::txtXAxisTicks_Change() { if (!Loading) gGraphCfgChanged = true; }
void FrmGraphCfg::txtYAxisTicks_Change() { if (!Loading) gGraphCfgChanged = true; }
void FrmGraphCfg::chkShowXGrid_Click() { if (!Loading) gGraphCfgChanged = true; }
void FrmGraphCfg::chkShowYGrid_Click() { if (!Loading) gGraphCfgChanged = true; }
void FrmGraphCfg::txtXAxisTicks_GotFocus() { txtXAxisTicks->selectAll(); }
void FrmGraphCfg::txtYAxisTicks_GotFocus() { txtYAxisTicks->selectAll(); }
void FrmGraphCfg::txtXAxisTicks_LostFocus() { KeepTicksInRange(txtXAxisTicks); }
void FrmGraphCfg::txtYAxisTicks_LostFocus() { KeepTicksInRange(txtYAxisTicks); }

void FrmGraphCfg::cmdOK_Click()
{
    if (gGraphCfgChanged) {
        // What the boxes hold right now, also when OK is pressed straight
        // from a box: its range rule runs first.
        KeepTicksInRange(txtXAxisTicks);
        KeepTicksInRange(txtYAxisTicks);
        gGraphXTicks = rt::CInt(rt::Val(txtXAxisTicks->text()));
        gGraphYTicks = rt::CInt(rt::Val(txtYAxisTicks->text()));
        gGraphXGrid = chkShowXGrid->Value();
        gGraphYGrid = chkShowYGrid->Value();
    }
    Unload();
}

void FrmGraphCfg::cmdCancel_Click() { Unload(); }
