#pragma once
// "Zarn Link" access: sends one raw "Zarn Link" read or write command to one
// instrument and traces every character of the reply. Writes need the write
// password.
#include "shell/toolwidgets.h"

class FrmZarnLink : public tool::AccessForm {
    Q_OBJECT
public:
    FrmZarnLink();

    void Form_Load() override;
    void Form_Unload(int& cancel) override;

    TextBox* txtCommand;
    CheckBox* chkHexadecimal;
    tool::TraceBox* txtReply;

    void cmdRead_Click() override;
    void cmdWrite_Click() override;
};

FrmZarnLink& frmZarnLink();
