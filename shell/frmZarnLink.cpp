#include "shell/frmZarnLink.h"

#include "core/helpers.h"
#include "shell/addresslist.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/builders.h"
#include "platform/twips.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

using namespace modZarn;


FrmZarnLink& frmZarnLink() { return Forms::get<FrmZarnLink>(); }

FrmZarnLink::FrmZarnLink()
    : AccessForm(QStringLiteral("frmZarnLink"), QStringLiteral("Zarn Link Protocol Access"),
                 QStringLiteral("Zarn Link Protocol Acccess"), 9000, 9000)
{
    ctl::label(this, QStringLiteral("Address:"), 300, 900, 1500, 330);
    cbxAddress = ctl::comboBox(this, QStringLiteral("cbxAddress"), 1950, 870, 1200, 360, true);
    ctl::label(this, QStringLiteral("Command:"), 300, 1380, 1500, 330);
    txtCommand = ctl::textBox(this, QStringLiteral("txtCommand"), 1950, 1350, 1200, 360);
    ctl::label(this, QStringLiteral("Value:"), 300, 1860, 1500, 330);
    txtValue = ctl::textBox(this, QStringLiteral("txtValue"), 1950, 1830, 1200, 360);
    chkHexadecimal = ctl::checkBox(this, QStringLiteral("chkHexadecimal"),
                                   QStringLiteral("Write Value as Hexadecimal"), 3450, 1830, 3750, 360);
    ctl::label(this, QStringLiteral("Password To Allow Writes:"), 300, 2400, 2700, 330);
    txtPassword = tool::PasswordBox(this, QStringLiteral("txtPassword"), 3000, 2370, 1800);

    buildButtons(2940, 7200);
    lblErrorMessageText = tool::ErrorLabel(this, 300, 3480, 8400);

    ctl::label(this, QStringLiteral("Messages Received:"), 300, 4140, 3000, 330);
    // Every reply starts a line of its own.
    txtReply = new tool::TraceBox(this, tool::TraceBox::Stx::StartsLine);
    txtReply->setObjectName(QStringLiteral("txtReply"));
    tw::place(txtReply, 300, 4470, 8400, 2250);
    // Enter goes on to the next field here too, so Tab must move the focus.
    txtReply->setTabChangesFocus(true);

    lblInstruction = tool::Instruction(
        this,
        QStringLiteral("    This screen allows the reading and writing of the registers in the instruments using "
                       "the Zarn Link protocol.  It is useful for accessing registers that are not the normal part "
                       "of configuring the instruments.  Commands are found in the command list for the "
                       "instrument series in use.  An example would be a read command of 00 returns the current "
                       "process value.  Writing to registers could possibly cause the instrument to loose its "
                       "calibration and should be done with EXTREME CAUTION!"),
        300, 6840, 8400, 2040);
}

void FrmZarnLink::Form_Load()
{
    startLoad(true, false);
    cbxAddress->setEditText(gZarnLinkLastAddress.isEmpty() ? Hex2(50) : gZarnLinkLastAddress);
    txtCommand->setText(gZarnLinkLastCommand);
    txtReply->clearTrace();
}

void FrmZarnLink::Form_Unload(int& cancel)
{
    (void)cancel;
    gZarnLinkLastAddress = cbxAddress->currentText();
    gZarnLinkLastCommand = txtCommand->text();
}

void FrmZarnLink::cmdRead_Click()
{
    int address = 0;
    const bool addressOk = instrumentAddress(0, address);
    const int cmd = rt::CInt(rt::Val(QStringLiteral("&H") + txtCommand->text()));
    txtValue->clear();
    if (!addressOk)
        return;
    QString errText, valueText, unitText, formatText;
    int errCode = 0, alarm1 = 0, alarm2 = 0;
    float value = 0, divisor = 0, raw = 0;
    QByteArray reply;
    {
        const Screen::Busy busy;
        ZarnLinkRead(errText, errCode, address, cmd, valueText, unitText, formatText, value, divisor, alarm1,
                     alarm2, 0, reply, raw);
    }
    if (errCode != 0) {
        lblErrorMessageText->setText(errText);
    } else {
        lblErrorMessageText->clear();
        txtValue->setText(rt::Trim(rt::StrSingle(value)));
    }
    txtReply->add(reply);
}

void FrmZarnLink::cmdWrite_Click()
{
    if (!tool::PasswordAccepted(txtPassword, this))
        return;
    int address = 0;
    if (!instrumentAddress(0, address))
        return;
    // A mistyped command must not send the value somewhere else.
    int cmd = 0;
    if (!tool::WriteTarget(txtCommand->text(), true, QStringLiteral("The command"), QStringLiteral("Invalid Command"),
                           this, cmd))
        return;
    const bool hex = chkHexadecimal->isChecked();
    float value = 0;
    if (!tool::WriteValue(txtValue->text(), hex, hex ? kZarnHexLowest : -kZarnDecimalLimit,
                          hex ? kZarnHexHighest : kZarnDecimalLimit, this, value))
        return;
    QString errText;
    int errCode = 0;
    QByteArray reply;
    {
        const Screen::Busy busy;
        ZarnLinkWrite(errText, errCode, address, cmd, value, 0, reply, hex);
    }
    if (errCode != 0)
        lblErrorMessageText->setText(errText);
    else
        lblErrorMessageText->clear();
    txtReply->add(reply);
}
