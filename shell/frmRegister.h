#pragma once
// Register access: reads or writes one register of one instrument by hand,
// in the program's numbering through the register dispatch, or in groups 1
// and 2 as a native Modbus register. Writes need the write password.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/controls.h"
#include "platform/form.h"

class FrmRegister : public Form {
    Q_OBJECT
public:
    FrmRegister();

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(int& cancel) override;

    QComboBox* cbxAddress;
    QLineEdit* txtRegisterNumber;
    ControlArray<QRadioButton> optUseNative;
    QLineEdit* txtValue;
    QLineEdit* txtPassword;
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

private:
    bool nativeNumbering() const;
    // The address of the box, or false with the error text shown when it is
    // no single instrument's address.
    bool instrumentAddress(int& address);
};

FrmRegister& frmRegister();
