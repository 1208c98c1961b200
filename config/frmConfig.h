#pragma once
// The instrument configuration window. This build carries its frame only: the
// main screens' menu and navigation row (so it can be switched to and back,
// and closing it ends the program) and the auto-send file name.
#include <QLabel>

#include "shell/mainscreen.h"

class FrmConfig : public MainScreen {
    Q_OBJECT
public:
    FrmConfig();

    QLabel* lblAutoSendFileName;
};

FrmConfig& frmConfig();
