#pragma once
// "Graph Setup": the graph's X and Y tick counts and grid lines. OK stores
// what was edited into the shared graph settings and leaves the changed flag
// set for the graph screen, which saves and applies them.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/form.h"

class FrmGraphCfg : public Form {
    Q_OBJECT
public:
    FrmGraphCfg();

    void Form_Load() override;

    QLabel* lblXAxisTicks;
    QLineEdit* txtXAxisTicks;
    QLabel* lblYAxisTicks;
    QLineEdit* txtYAxisTicks;
    QCheckBox* chkShowXGrid;
    QCheckBox* chkShowYGrid;
    QLabel* lblNote;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;

    bool Loading = false;

    void txtXAxisTicks_Change();
    void txtYAxisTicks_Change();
    void chkShowXGrid_Click();
    void chkShowYGrid_Click();
    void txtXAxisTicks_GotFocus();
    void txtYAxisTicks_GotFocus();
    void txtXAxisTicks_LostFocus();
    void txtYAxisTicks_LostFocus();
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;
};

FrmGraphCfg& frmGraphCfg();
