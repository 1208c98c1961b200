#include "monitor/frmGraphCfg.h"

#include <QFocusEvent>
#include <cstdlib>

#include "core/state.h"
#include "platform/runtime.h"

using namespace modZarn;

FrmGraphCfg& frmGraphCfg() { return Forms::get<FrmGraphCfg>(); }

namespace {

// The tick box's text as a tick count is kept to 2..20.
void KeepTicksInRange(QLineEdit* box)
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
    txtXAxisTicks = new QLineEdit(this);
    txtXAxisTicks->setGeometry(110, 16, 50, 22);
    chkShowXGrid = new QCheckBox(QStringLiteral("Show Grid Lines"), this);
    chkShowXGrid->setGeometry(180, 16, 140, 22);
    lblYAxisTicks = new QLabel(QStringLiteral("Y-Axis Ticks:"), this);
    lblYAxisTicks->setGeometry(16, 50, 90, 22);
    txtYAxisTicks = new QLineEdit(this);
    txtYAxisTicks->setGeometry(110, 50, 50, 22);
    chkShowYGrid = new QCheckBox(QStringLiteral("Show Grid Lines"), this);
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

    connect(txtXAxisTicks, &QLineEdit::textChanged, this, [this] { txtXAxisTicks_Change(); });
    connect(txtYAxisTicks, &QLineEdit::textChanged, this, [this] { txtYAxisTicks_Change(); });
    connect(chkShowXGrid, &QCheckBox::toggled, this, [this] { chkShowXGrid_Click(); });
    connect(chkShowYGrid, &QCheckBox::toggled, this, [this] { chkShowYGrid_Click(); });
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    txtXAxisTicks->installEventFilter(this);
    txtYAxisTicks->installEventFilter(this);
}

bool FrmGraphCfg::eventFilter(QObject* obj, QEvent* e)
{
    if (obj == txtXAxisTicks || obj == txtYAxisTicks) {
        const bool x = obj == txtXAxisTicks;
        if (e->type() == QEvent::FocusIn) {
            x ? txtXAxisTicks_GotFocus() : txtYAxisTicks_GotFocus();
        } else if (e->type() == QEvent::FocusOut) {
            // Leaving for another control, not for a box or another window.
            const Qt::FocusReason why = static_cast<QFocusEvent*>(e)->reason();
            if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
                x ? txtXAxisTicks_LostFocus() : txtYAxisTicks_LostFocus();
        }
    }
    return Form::eventFilter(obj, e);
}

void FrmGraphCfg::Form_Load()
{
    gGraphCfgChanged = false;
    Loading = true;
    txtXAxisTicks->setText(QString::number(gGraphXTicks));
    txtYAxisTicks->setText(QString::number(gGraphYTicks));
    chkShowXGrid->setChecked(std::abs(gGraphXGrid % 2) == 1);
    chkShowYGrid->setChecked(std::abs(gGraphYGrid % 2) == 1);
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
        gGraphXGrid = chkShowXGrid->isChecked() ? 1 : 0;
        gGraphYGrid = chkShowYGrid->isChecked() ? 1 : 0;
    }
    Unload();
}

void FrmGraphCfg::cmdCancel_Click() { Unload(); }
