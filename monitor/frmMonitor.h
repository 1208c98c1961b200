#pragma once
// The system monitor's rows: 40 instruments at once with process value, set
// point, alarm and ramp/soak states, refreshed by a 50 ms poll on their own
// periods, with set-point and ramp/soak commands row by row or for all rows.
// It lives inside mdiMonitor, which starts and stops it.
#include <QLabel>
#include <array>

#include "monitor/monitor_rows.h"
#include "platform/controls.h"
#include "platform/mdi.h"

class FrmMonitor : public MdiChildForm {
    Q_OBJECT
public:
    FrmMonitor();

    void Form_Load() override;
    // The child is never unloaded: closing it hides the whole monitor.
    void Form_Unload(int& cancel) override;

    // ---- controls ----
    QLabel* lblChangeAll;
    TextBox* txtChangeAll;
    CommandButton* cmdChangeAll;
    CommandButton* cmdStartAll;
    CommandButton* cmdStopAll;
    CommandButton* cmdHoldAll;
    QLabel* lblHeading;
    QLabel* lblRampSoak;
    Timer tmrPoll;

    ControlArray<QLabel> lblNum;
    ControlArray<Shape> shpPoll;
    ControlArray<ComboBox> cbxControl;
    ControlArray<QLabel> lblTempText;
    ControlArray<TextBox> txtSVText;
    ControlArray<QLabel> lblAlm1StatText;
    ControlArray<QLabel> lblAlm2StatText;
    ControlArray<CommandButton> cmdRampCfg;
    ControlArray<CommandButton> cmdRampOn;
    ControlArray<CommandButton> cmdRampHold;
    ControlArray<CommandButton> cmdRampOff;
    ControlArray<Shape> shpRampSoak;

    // ---- row state, kept for the whole run ----
    // The divisor of the row's last good set-point read; 0 blocks set-point writes.
    std::array<float, monitor::kRows> RowScale{};
    // Alarm display: 0 blank, 1 "ON" while the flag is clear, 2 "ON" while it is set.
    std::array<int, monitor::kRows> Alm1Mode{};
    std::array<int, monitor::kRows> Alm2Mode{};

    // ---- handlers ----
    void tmrPoll_Timer();
    void cbxControl_Click(int index);
    void txtSVText_Change(int index);
    void txtSVText_GotFocus(int index);
    void txtSVText_KeyPress(int index, int& keyAscii);
    void txtSVText_LostFocus(int index);
    void txtChangeAll_Change();
    void txtChangeAll_GotFocus();
    void cmdChangeAll_Click();
    void cmdRampOn_Click(int index);
    void cmdRampHold_Click(int index);
    void cmdRampOff_Click(int index);
    void cmdStartAll_Click();
    void cmdHoldAll_Click();
    void cmdStopAll_Click();
    void cmdRampCfg_Click(int index);

    // ---- used by mdiMonitor ----
    // Fills every row's instrument list from the instrument table and empties
    // the rows' values (the row state is kept).
    void ClearRows();
    // Selects each row's stored instrument: the first configured instrument
    // whose label equals the stored text, else the empty row.
    void RestoreRows(const QStringList& stored);
    // The text each row's selector shows, row 0 first.
    QStringList RowTexts() const;

    // True while a poll pass is running (it yields after every row).
    bool PassRunning() const { return passRunning_; }

private:
    // One of the three ramp/soak commands of a row.
    enum class Ramp { On, Hold, Off };
    struct RampCommand;
    static const RampCommand& rampCommand(Ramp kind);

    void pollRow(int r, bool pvDue, bool spDue, int& errCode, QString& errText);
    void showAlarm(QLabel* label, int mode, int flag);
    void readAlarmModes(int r, const monitor::RowTarget& t, int& errCode, QString& errText);
    void readRampState(int r, const monitor::RowTarget& t, int& errCode, QString& errText);
    void setRampVisible(int r, bool on);
    // The two writes of a ramp/soak command; false after a failure (shown).
    bool sendRamp(int r, const monitor::RowTarget& t, Ramp kind);
    void rampRow(int index, Ramp kind);
    void rampAll(Ramp kind);
    // A refusal or failure box owned by the monitor.
    int box(const QString& text, int style, const QString& title);
    // The warning for a command given on a row without an instrument.
    void noInstrument();
    // A typed value the instrument cannot take: the box goes red and says so.
    void refuseTyped(QWidget* box, const QString& text);

    bool passRunning_ = false;
};

FrmMonitor& frmMonitor();
