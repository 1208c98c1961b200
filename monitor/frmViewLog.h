#pragma once
// A snapshot of a log file as it stood when it was opened.

#include "platform/controls.h"
#include "platform/form.h"
#include "platform/lineview.h"

class FrmViewLog : public Form {
    Q_OBJECT
public:
    FrmViewLog();

    LineView* txtLog;
    CommandButton* cmdClose;

    void cmdClose_Click();
};

FrmViewLog& frmViewLog();
