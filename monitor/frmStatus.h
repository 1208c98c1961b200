#pragma once
// Instrument Status: the full status of one instrument, read once a second
// while this screen is the active window: model, process value, set point,
// auto/manual and remote/local modes, the two alarm outputs, the unit errors
// and the versions. The instrument is reached with the current controller
// group and protocol of the settings; in demo mode simulated values stand in.
#include <QGroupBox>
#include <QLabel>

#include "platform/controls.h"
#include "shell/mainscreen.h"

class FrmStatus : public MainScreen {
    Q_OBJECT
public:
    FrmStatus();

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Deactivate() override;

    // ---- controls ----
    QLabel* lblTitle;
    QLabel* lblAddress;
    ComboBox* cbxAddress;
    QLabel* lblDateTime;
    QLabel* lblDemoMode;
    QLabel* lblErrorMessageText;
    QGroupBox* fraModelInfo;
    ControlArray<QLabel> lblLabels; // 0 model, 1 process value, 2 comm. mode, 3 unit errors
    QLabel* lblModelIDText;
    QLabel* lblModelType;
    QLabel* lblSoftVer;
    QLabel* lblSoftVerText;
    QLabel* lblCommVer;
    QLabel* lblCommVerText;
    QLabel* lblProcessValueText;
    QLabel* lblSetpoint;
    QLabel* lblSetpointText;
    QLabel* lblMode;
    QLabel* lblModeText;
    QLabel* lblCommModeText;
    QLabel* lblAlm1Stat;
    QLabel* lblAlm1StatText;
    QLabel* lblAlm2Stat;
    QLabel* lblAlm2StatText;
    ListBox* lisUnitErrors;
    Timer tmrPoll;

    // ---- form values ----
    int LastErrorWord = 0; // the error word (group 1: its code) the list shows
    int LastNatFlag = 0;   // the "No Activity Timer" flag the list shows (-1/0)
    int LoadedGroup = 0;   // the controller group the address list was filled for

    // ---- handlers ----
    void cbxAddress_Click();
    // One poll tick (tmrPoll.tick() runs it inside the timer's boundary): an
    // instrument failure shows its text and ends the tick; anything else
    // throws to the boundary's error box.
    void tmrPoll_Timer();
    void ClearAllFields();

private:
    void DemoTick();
    void FillAddresses();
    void ShowModel(float code);
    void ShowModes(int statusWord);
    void ShowAlarm(QLabel* text, bool on);
    void ShowProcessValue(int raw, float divisor, const QString& formatText, const QString& unitText);
    void ShowUnitErrorsGroup0(int errorWord, int natFlag);
    void ShowUnitErrorLine(int code, const QString& line);
    int address() const;
};

FrmStatus& frmStatus();

// The text of the label's own colour (&HBBGGRR), as the poll sets it.
quint32 TextColor(const QLabel* l);
