#include "shell/frmZarnLink.h"

#include "core/helpers.h"
#include "shell/addresslist.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/controls.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

using namespace modZarn;


FrmZarnLink& frmZarnLink() { return Forms::get<FrmZarnLink>(); }

FrmZarnLink::FrmZarnLink()
{
    setObjectName(QStringLiteral("frmZarnLink"));
    setWindowTitle(QStringLiteral("Zarn Link Protocol Access"));
    setFixedSize(600, 600);
    setEnterMovesFocus(true);

    lblTitle = tool::TitleLabel(this, QStringLiteral("Zarn Link Protocol Acccess"));
    lblDemoMode = tool::DemoLabel(this);

    tool::Label(this, QStringLiteral("Address:"), 20, 60, 100);
    cbxAddress = tool::EditCombo(this, 130, 58, 80);
    tool::Label(this, QStringLiteral("Command:"), 20, 92, 100);
    txtCommand = tool::TextBox(this, 130, 90, 80);
    tool::Label(this, QStringLiteral("Value:"), 20, 124, 100);
    txtValue = tool::TextBox(this, 130, 122, 80);
    chkHexadecimal = new QCheckBox(QStringLiteral("Write Value as Hexadecimal"), this);
    chkHexadecimal->setGeometry(230, 122, 250, 24);
    tool::Label(this, QStringLiteral("Password To Allow Writes:"), 20, 160, 180);
    txtPassword = tool::PasswordBox(this, 200, 158, 120);

    cmdRead = new QPushButton(QStringLiteral("&Read"), this);
    cmdRead->setGeometry(20, 196, 100, 30);
    cmdWrite = new QPushButton(QStringLiteral("&Write"), this);
    cmdWrite->setGeometry(140, 196, 100, 30);
    cmdClose = new QPushButton(QStringLiteral("C&lose"), this);
    cmdClose->setGeometry(480, 196, 100, 30);
    lblErrorMessageText = tool::ErrorLabel(this, 20, 232, 560);

    tool::Label(this, QStringLiteral("Messages Received:"), 20, 276, 200);
    txtReply = new tool::TraceBox(this);
    txtReply->setGeometry(20, 298, 560, 150);
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
        20, 456, 560, 136);

    connect(cmdRead, &QPushButton::clicked, this, [this] { cmdRead_Click(); });
    connect(cmdWrite, &QPushButton::clicked, this, [this] { cmdWrite_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void FrmZarnLink::Form_Load()
{
    try {
        lblErrorMessageText->clear();
        txtValue->clear();
        txtPassword->clear();
        FillAddressCombo(cbxAddress, true, false);
        cbxAddress->setEditText(gZarnLinkLastAddress.isEmpty() ? Hex2(50) : gZarnLinkLastAddress);
        txtCommand->setText(gZarnLinkLastCommand);
        txtReply->clearTrace();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("frmZarnLink.Form_Load"));
    }
}

void FrmZarnLink::Form_Activate() { lblDemoMode->setVisible(gDemoMode); }

void FrmZarnLink::Form_Unload(int& cancel)
{
    (void)cancel;
    gZarnLinkLastAddress = cbxAddress->currentText();
    gZarnLinkLastCommand = txtCommand->text();
}

bool FrmZarnLink::instrumentAddress(int& address)
{
    address = rt::CInt(rt::Val(QStringLiteral("&H") + cbxAddress->currentText()));
    if (address >= 1 && address <= 255)
        return true;
    // 00 reaches every instrument on the line at once; nothing is sent.
    lblErrorMessageText->setText(tool::AddressRangeText(0, cbxAddress->currentText()));
    return false;
}

void FrmZarnLink::trace(const QByteArray& reply)
{
    constexpr char STX = 2;
    for (char c : reply) {
        if (txtReply->length() >= kTraceLimit)
            txtReply->clearTrace();
        if (c == STX) {
            // Every reply starts a line of its own.
            if (txtReply->length() > 0)
                txtReply->addLineEnd();
        } else {
            txtReply->addChar(c);
        }
    }
}

void FrmZarnLink::cmdRead_Click()
{
    try {
        int address = 0;
        const bool addressOk = instrumentAddress(address);
        const int cmd = rt::CInt(rt::Val(QStringLiteral("&H") + txtCommand->text()));
        txtValue->clear();
        if (!addressOk)
            return;
        Screen::setMousePointer(Screen::Hourglass);
        QString errText, valueText, unitText, formatText;
        int errCode = 0, alarm1 = 0, alarm2 = 0;
        float value = 0, divisor = 0, raw = 0;
        QByteArray reply;
        ZarnLinkRead(errText, errCode, address, cmd, valueText, unitText, formatText, value, divisor, alarm1,
                     alarm2, 0, reply, raw);
        Screen::setMousePointer(Screen::Default);
        if (errCode != 0) {
            lblErrorMessageText->setText(errText);
        } else {
            lblErrorMessageText->clear();
            txtValue->setText(rt::Trim(rt::StrSingle(value)));
        }
        trace(reply);
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        mb::AppError(e, QStringLiteral("frmZarnLink.cmdRead_Click"));
    }
}

void FrmZarnLink::cmdWrite_Click()
{
    try {
        if (!tool::PasswordAccepted(txtPassword, this))
            return;
        int address = 0;
        const bool addressOk = instrumentAddress(address);
        const int cmd = rt::CInt(rt::Val(QStringLiteral("&H") + txtCommand->text()));
        if (!addressOk)
            return;
        const bool hex = chkHexadecimal->isChecked();
        const float value = hex ? rt::CSng(rt::Val(QStringLiteral("&H") + txtValue->text()))
                                : rt::CSng(rt::Val(txtValue->text()));
        Screen::setMousePointer(Screen::Hourglass);
        QString errText;
        int errCode = 0;
        QByteArray reply;
        ZarnLinkWrite(errText, errCode, address, cmd, value, 0, reply, hex);
        Screen::setMousePointer(Screen::Default);
        if (errCode != 0)
            lblErrorMessageText->setText(errText);
        else
            lblErrorMessageText->clear();
        trace(reply);
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        mb::AppError(e, QStringLiteral("frmZarnLink.cmdWrite_Click"));
    }
}

void FrmZarnLink::cmdClose_Click() { Unload(); }
