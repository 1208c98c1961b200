#include "shell/frmTerminal.h"

#include <QFont>
#include <QKeyEvent>

#include "core/state.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "shell/frmMain.h"

FrmTerminal& frmTerminal() { return Forms::get<FrmTerminal>(); }

FrmTerminal::FrmTerminal() : tmrReceive(kIdlePollMs, [this] { commtest(); }, this)
{
    setObjectName(QStringLiteral("frmTerminal"));
    setWindowTitle(QStringLiteral("Terminal"));
    setFixedSize(640, 520);
    setEnterMovesFocus(true);

    lblTitle = tool::TitleLabel(this, QStringLiteral("Terminal Emulator"));

    txtReply = new tool::TraceBox(this);
    txtReply->setGeometry(20, 50, 600, 250);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    txtReply->setFont(fixed);
    txtReply->setAcceptDrops(false);
    txtReply->setUndoRedoEnabled(false);
    txtReply->setTabChangesFocus(true);
    txtReply->installEventFilter(this);
    // Enter typed in the box goes out on the line.
    keepEnter(txtReply);

    cmdClose = new QPushButton(QStringLiteral("C&lose"), this);
    cmdClose->setGeometry(520, 310, 100, 30);
    lblNote = tool::Label(this, QStringLiteral("NOTE:  Logging is stopped when this form is viewed."), 20, 314, 480);
    lblInstruction = tool::Instruction(
        this,
        QStringLiteral("    This screen emulates a serial terminal and can be used to test if a serial port is "
                       "working or not.  Whatever characters are received by the serial port are displayed in the "
                       "box above.  If you click the mouse in the box and type characters on the keyboard, then "
                       "then those characters will be sent out the serial port.  If you jumper out pins 2 && 3 of "
                       "the serial port then whatever you type on the keyboard will be echoed back and displayed "
                       "in the box above.  This indicates that the serial port is working properly.  If you type "
                       "AT and press Enter and then the letters OK appears, then you have chosen a serial port "
                       "that is hooked up to a phone modem."),
        20, 350, 600, 160);
    // Shown as written: "&&" is one ampersand.
    lblInstruction->setText(lblInstruction->text().replace(QStringLiteral("&&"), QStringLiteral("&")));
    lblInstruction->setTextFormat(Qt::PlainText);

    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void FrmTerminal::Form_Activate()
{
    StopReceive = false;
    tmrReceive.setInterval(kIdlePollMs);
    tmrReceive.setEnabled(true);
}

void FrmTerminal::Form_Deactivate() { stopReceiving(); }

void FrmTerminal::Form_Unload(int& cancel)
{
    (void)cancel;
    stopReceiving();
}

void FrmTerminal::stopReceiving()
{
    StopReceive = true;
    tmrReceive.setEnabled(false);
}

void FrmTerminal::cmdClose_Click() { Hide(); }

void FrmTerminal::commtest()
{
    // A window that is no longer shown must not go on taking the line's input.
    if (StopReceive || !isVisible()) {
        stopReceiving();
        return;
    }
    try {
        SerialPortControl& port = frmMain().comPort;
        int count = 0;
        while (count < kPassLimit && port.inBufferCount() != 0) {
            if (txtReply->length() >= kTraceLimit)
                txtReply->clearTrace();
            ++count;
            port.setInputLen(1);
            for (char c : port.input())
                txtReply->addChar(c);
        }
        // More waiting: the next pass follows as soon as other events have run.
        tmrReceive.setInterval(port.inBufferCount() != 0 ? 0 : kIdlePollMs);
    } catch (const rt::RtError& e) {
        stopReceiving();
        mb::AppError(e, QStringLiteral("frmTerminal.commtest"));
    }
}

void FrmTerminal::txtReply_KeyPress(int KeyAscii)
{
    try {
        SerialPortControl& port = frmMain().comPort;
        if (port.portOpen())
            port.output(QByteArray(1, char(KeyAscii & 0xFF)));
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("frmTerminal.txtReply_KeyPress"));
    }
}

bool FrmTerminal::eventFilter(QObject* obj, QEvent* e)
{
    if (obj == txtReply && e->type() == QEvent::KeyPress) {
        const auto* k = static_cast<QKeyEvent*>(e);
        const QString text = k->text();
        // Tab keeps its meaning (the next field); every other key goes out.
        if (!text.isEmpty() && k->key() != Qt::Key_Tab && k->key() != Qt::Key_Backtab) {
            // The key goes out on the line; only the echo, if any, is shown.
            txtReply_KeyPress(text.at(0).unicode());
            return true;
        }
    }
    return Form::eventFilter(obj, e);
}
