#pragma once
// "Zarn Link" access: sends one raw "Zarn Link" read or write command to one
// instrument and traces every character of the reply. Writes need the write
// password.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/form.h"
#include "shell/toolwidgets.h"

class FrmZarnLink : public Form {
    Q_OBJECT
public:
    FrmZarnLink();

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int& cancel) override;

    QComboBox* cbxAddress;
    QLineEdit* txtCommand;
    QLineEdit* txtValue;
    QCheckBox* chkHexadecimal;
    QLineEdit* txtPassword;
    tool::TraceBox* txtReply;
    QPushButton* cmdRead;
    QPushButton* cmdWrite;
    QPushButton* cmdClose;
    QLabel* lblErrorMessageText;
    QLabel* lblDemoMode;
    QLabel* lblTitle;
    QLabel* lblInstruction;

    void cmdRead_Click();
    void cmdWrite_Click();
    void cmdClose_Click();

    // The trace holds at most this many characters before it starts anew.
    static constexpr int kTraceLimit = 16000;

private:
    bool instrumentAddress(int& address);
    void trace(const QByteArray& reply);
};

FrmZarnLink& frmZarnLink();
