#pragma once
// The logging dialog: one logging session per configured instrument, with its
// rate and duration in the user's units, start (which names the log file),
// stop, a snapshot of the current log and the opening of older logs in the
// viewer program.
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>

#include "platform/controls.h"
#include "platform/form.h"

class FrmLogging : public Form {
    Q_OBJECT
public:
    FrmLogging();

    void Form_Load() override;

    QLabel* lblControls;
    QListWidget* lstControls;
    QLabel* lblInstruction;
    QLabel* lblAddress;
    QLabel* lblAddressText;
    QLabel* lblName;
    QLabel* lblNameText;
    QLabel* lblStatus;
    QLabel* lblStatusText;
    QLabel* lblStartTimeText;
    QGroupBox* fraDuration;
    ControlArray<OptionButton> optHoursMins; // 0 "Hours", 1 "Minutes"
    TextBox* txtDuration;
    QLabel* lblHoursMins;
    QGroupBox* fraRate;
    ControlArray<OptionButton> optMinSec; // 0 "min/log", 1 "sec/log"
    TextBox* txtRate;
    QLabel* lblMinSec;
    CommandButton* cmdStart;
    CommandButton* cmdStop;
    CommandButton* cmdView;
    CommandButton* cmdViewHist;
    CommandButton* cmdClose;

    // Form values.
    bool Loading = false;
    int SelectedIndex = -1;
    bool Changed = false;

    // The background colour of lblStatusText (&HBBGGRR or a system colour).
    quint32 statusColor() const { return statusColor_; }

    void lstControls_Click();
    void optHoursMins_Click(int Index);
    void optMinSec_Click(int Index);
    void txtDuration_Change();
    void txtDuration_GotFocus();
    void txtDuration_LostFocus();
    void txtRate_Change();
    void txtRate_GotFocus();
    void txtRate_LostFocus();
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdView_Click();
    void cmdViewHist_Click();
    void cmdClose_Click();
    void lblNameText_Click();

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    struct UnitField;
    static const UnitField kDurationField, kRateField;
    // The units step of both entries: one routine, a table each.
    void unitClick(const UnitField& u, int Index);
    // The LostFocus step of both entries: the entry kept within its unit's
    // limits, stored and shown as stored.
    void entryRule(const UnitField& u);
    // lstControls_Click as a step of another handler, with its own box.
    void showChosen();
    void setStatusColor(quint32 c);
    void setFieldsEnabled(bool on);
    void setTextQuietly(QLineEdit* box, const QString& text);
    quint32 statusColor_ = 0x8000000F;
};

FrmLogging& frmLogging();

// Whole units of an entry (hours x 60 = minutes, min/log x 60 = seconds),
// rounded down. The entry is a 32-bit float, so 1.05 h is held as
// 1.04999995 h; a tiny tolerance keeps that from coming out a minute short
// while 19.998 s still gives 19.
int WholeUnits(float entry, int factor);
