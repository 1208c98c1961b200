#pragma once
// A snapshot of a log file as it stood when it was opened.
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/form.h"

class FrmViewLog : public Form {
    Q_OBJECT
public:
    FrmViewLog();

    QPlainTextEdit* txtLog;
    QPushButton* cmdClose;

    void cmdClose_Click();
};

FrmViewLog& frmViewLog();
