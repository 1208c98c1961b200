#pragma once
// The instrument configuration window. This build carries its frame only: it
// can be switched to and back, and closing it ends the program.
#include <QLabel>
#include <QPushButton>

#include "platform/form.h"

class FrmConfig : public Form {
    Q_OBJECT
public:
    FrmConfig();
    void Form_Unload(int& cancel) override;

    QLabel* lblAutoSendFileName;
    QPushButton* cmdMainMenu;
    void cmdMainMenu_Click();
};

FrmConfig& frmConfig();
