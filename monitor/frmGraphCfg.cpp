#include "monitor/frmGraphCfg.h"

#include <cstdlib>

#include "core/state.h"
#include "platform/runtime.h"

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
    setFixedSize(330, 200);
    setEnterMovesFocus(true);

    lblXAxisTicks = new QLabel(QStringLiteral("X-Axis Ticks:"), this);
    lblXAxisTicks->setGeometry(16, 16, 90, 22);
    txtXAxisTicks = new TextBox(this);
    txtXAxisTicks->setObjectName(QStringLiteral("txtXAxisTicks"));
    txtXAxisTicks->setGeometry(110, 16, 50, 22);
    chkShowXGrid = new CheckBox(QStringLiteral("Show Grid Lines"), this);
    chkShowXGrid->setObjectName(QStringLiteral("chkShowXGrid"));
    chkShowXGrid->setGeometry(180, 16, 140, 22);
    lblYAxisTicks = new QLabel(QStringLiteral("Y-Axis Ticks:"), this);
    lblYAxisTicks->setGeometry(16, 50, 90, 22);
    txtYAxisTicks = new TextBox(this);
    txtYAxisTicks->setObjectName(QStringLiteral("txtYAxisTicks"));
    txtYAxisTicks->setGeometry(110, 50, 50, 22);
    chkShowYGrid = new CheckBox(QStringLiteral("Show Grid Lines"), this);
    chkShowYGrid->setObjectName(QStringLiteral("chkShowYGrid"));
    chkShowYGrid->setGeometry(180, 50, 140, 22);
    lblNote = new QLabel(QStringLiteral("Note: X &&Y Ticks are only used when not Auto Scaling."), this);
    lblNote->setTextFormat(Qt::PlainText);
    lblNote->setText(lblNote->text().replace(QStringLiteral("&&"), QStringLiteral("&")));
    lblNote->setGeometry(16, 86, 300, 40);
    lblNote->setWordWrap(true);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setGeometry(60, 146, 90, 30);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setGeometry(180, 146, 90, 30);

    txtXAxisTicks->Change = [this] { txtXAxisTicks_Change(); };
    txtYAxisTicks->Change = [this] { txtYAxisTicks_Change(); };
    txtXAxisTicks->GotFocus = [this] { txtXAxisTicks_GotFocus(); };
    txtYAxisTicks->GotFocus = [this] { txtYAxisTicks_GotFocus(); };
    txtXAxisTicks->LostFocus = [this] { txtXAxisTicks_LostFocus(); };
    txtYAxisTicks->LostFocus = [this] { txtYAxisTicks_LostFocus(); };
    chkShowXGrid->Click = [this] { chkShowXGrid_Click(); };
    chkShowYGrid->Click = [this] { chkShowYGrid_Click(); };
    connect(cmdOK, &QPushButton::clicked, this,
            [this] { ctl::guard(this, QStringLiteral("frmGraphCfg.cmdOK_Click"), [this] { cmdOK_Click(); }); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
}

void FrmGraphCfg::Form_Load()
{
    gGraphCfgChanged = false;
    Loading = true;
    txtXAxisTicks->setText(QString::number(gGraphXTicks));
    txtYAxisTicks->setText(QString::number(gGraphYTicks));
    chkShowXGrid->setValue(std::abs(gGraphXGrid % 2));
    chkShowYGrid->setValue(std::abs(gGraphYGrid % 2));
    Loading = false;
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
