#pragma once
// Register access: reads or writes one register of one instrument by hand,
// in the program's numbering through the register dispatch, or in groups 1
// and 2 as a native Modbus register. Writes need the write password.
#include "shell/toolwidgets.h"

class FrmRegister : public tool::AccessForm {
    Q_OBJECT
public:
    FrmRegister();

    void Form_Load() override;
    void Form_Unload(int& cancel) override;

    TextBox* txtRegisterNumber;
    ControlArray<OptionButton> optUseNative;

    void cmdRead_Click() override;
    void cmdWrite_Click() override;

private:
    bool nativeNumbering() const;
};

FrmRegister& frmRegister();
