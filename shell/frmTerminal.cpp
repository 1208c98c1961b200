#include "shell/frmTerminal.h"

#include <QFont>
#include <QScopeGuard>

#include "core/commport.h"
#include "core/state.h"
#include "platform/builders.h"
#include "platform/twips.h"
#include "shell/frmMain.h"

FrmTerminal& frmTerminal() { return Forms::get<FrmTerminal>(); }

FrmTerminal::FrmTerminal() : tmrReceive(kIdlePollMs, [this] { commtest(); }, this)
{
    setObjectName(QStringLiteral("frmTerminal"));
    setWindowTitle(QStringLiteral("Terminal"));
    setFixedSize(tw::px(9600), tw::px(7800));
    setEnterMovesFocus(true);
    tmrReceive.setRoutine(QStringLiteral("frmTerminal.commtest"));

    lblTitle = tool::TitleLabel(this, QStringLiteral("Terminal Emulator"));

    txtReply = new tool::TraceBox(this);
    txtReply->setObjectName(QStringLiteral("txtReply"));
    tw::place(txtReply, 300, 750, 9000, 3750);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    txtReply->setFont(fixed);
    txtReply->setAcceptDrops(false);
    txtReply->setUndoRedoEnabled(false);
    txtReply->setTabChangesFocus(true);
    // Every key typed in the box goes out on the line; only the echo, if
    // any, is shown. Tab keeps its meaning (the next field).
    ctl::onKeyPress(txtReply, [this](int& keyAscii) {
        const int typed = keyAscii;
        keyAscii = 0;
        txtReply_KeyPress(typed);
    });
    // Enter typed in the box goes out on the line.
    keepEnter(txtReply);

    cmdClose = ctl::button(this, QStringLiteral("cmdClose"), QStringLiteral("C&lose"), 7800, 4650, 1500, 450);
    lblNote = ctl::label(this, QStringLiteral("NOTE:  Logging is stopped when this form is viewed."), 300, 4710,
                         7200, 330);
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
        300, 5250, 9000, 2400);
    // Shown as written: "&&" is one ampersand.
    lblInstruction->setText(lblInstruction->text().replace(QStringLiteral("&&"), QStringLiteral("&")));
    lblInstruction->setTextFormat(Qt::PlainText);

    ctl::on(cmdClose, &QPushButton::clicked, "Click", [this] { cmdClose_Click(); });
}

void FrmTerminal::Form_Activate()
{
    StopReceive = false;
    notSending_ = false;
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
    // A failing pass ends the receive loop before its error is shown.
    auto stop = qScopeGuard([this] { stopReceiving(); });
    SerialPortControl& port = modZarn::CommPort();
    int count = 0;
    while (count < kPassLimit && port.inBufferCount() != 0) {
        ++count;
        port.setInputLen(1);
        txtReply->add(port.input());
    }
    stop.dismiss();
    // More waiting: the next pass follows as soon as other events have run.
    tmrReceive.setInterval(port.inBufferCount() != 0 ? 0 : kIdlePollMs);
}

void FrmTerminal::txtReply_KeyPress(int KeyAscii)
{
    SerialPortControl& port = modZarn::CommPort();
    if (!port.portOpen())
        return;
    // A line that did not take the last character is not waited on again
    // until it takes one: each key would hold the window for the whole wait.
    // What is dropped is said once for the run of keys, in the box, and
    // none of it goes out when the line moves again.
    const bool sent =
        port.output(QByteArray(1, char(KeyAscii & 0xFF)), notSending_ ? 0 : SerialPortControl::kOutputWaitMs);
    if (!sent && !notSending_)
        txtReply->addLine(kNotSent);
    notSending_ = !sent;
}
