#pragma once
// "Graph Setup": the graph's X and Y tick counts and grid lines. OK stores
// what was edited into the shared graph settings and leaves the changed flag
// set for the graph screen, which saves and applies them.
#include <QLabel>

#include "platform/controls.h"
#include "platform/form.h"

class FrmGraphCfg : public Form {
    Q_OBJECT
public:
    FrmGraphCfg();

    void Form_Load() override;

    QLabel* lblXAxisTicks;
    TextBox* txtXAxisTicks;
    QLabel* lblYAxisTicks;
    TextBox* txtYAxisTicks;
    CheckBox* chkShowXGrid;
    CheckBox* chkShowYGrid;
    QLabel* lblNote;
    CommandButton* cmdOK;
    CommandButton* cmdCancel;

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
};

FrmGraphCfg& frmGraphCfg();
