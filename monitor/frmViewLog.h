#pragma once
// A snapshot of a log file as it stood when it was opened.
#include <QPushButton>

#include "platform/form.h"
#include "platform/lineview.h"

class FrmViewLog : public Form {
    Q_OBJECT
public:
    FrmViewLog();

    LineView* txtLog;
    QPushButton* cmdClose;

    void cmdClose_Click();
};

FrmViewLog& frmViewLog();
