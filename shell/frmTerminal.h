#pragma once
// The serial terminal: shows every character that arrives on the line and
// sends every character typed into its box, without framing. It works on the
// port as it is open; it opens and closes nothing.
#include <QLabel>
#include <QPushButton>

#include "platform/controls.h"
#include "platform/form.h"
#include "shell/toolwidgets.h"

class FrmTerminal : public Form {
    Q_OBJECT
public:
    FrmTerminal();

    void Form_Activate() override;
    void Form_Deactivate() override;
    void Form_Unload(int& cancel) override;

    tool::TraceBox* txtReply;
    CommandButton* cmdClose;
    QLabel* lblTitle;
    QLabel* lblNote;
    QLabel* lblInstruction;

    // Set to end the receive loop.
    bool StopReceive = true;

    // Drives the receive loop while the window is active: each tick moves
    // what waits on the line into the box. The line is polled, not waited
    // on, so the rest of the program runs in between.
    Timer tmrReceive;

    void cmdClose_Click();
    void txtReply_KeyPress(int KeyAscii);
    // One pass of the receive loop: up to kPassLimit characters.
    void commtest();

    static constexpr int kPassLimit = 50;
    static constexpr int kIdlePollMs = 20;
    // Shown on a line of its own in the box when the line does not take
    // what is typed.
    static constexpr const char* kNotSent = "[Not sent: the serial port does not take output]";

private:
    void stopReceiving();
    // The last character typed was not taken by the line, and it was said.
    bool notSending_ = false;
};

FrmTerminal& frmTerminal();
