#pragma once
// Edit Setpoint Values: the set point and the alarm set points of one
// instrument of the instrument list, read from the instrument when it is
// chosen and written back by Update. Each instrument is reached with its own
// group, protocol and address; communication errors go to the main form's
// shared error line, and a failed Update is told over the dialog as well.
// Update writes a field only as the value typed, at that field's own scale.
#include <QLabel>
#include <array>

#include "platform/controls.h"
#include "platform/form.h"

class FrmSetpoints : public Form {
    Q_OBJECT
public:
    FrmSetpoints();

    void Form_Load() override;
    void Form_Unload(int& cancel) override;

    // The seven value fields: 0 SV, 1/2 alarm 1 low/high, 3/4 alarm 2
    // low/high, 5/6 alarm 3 high/low (group 1 model XG only).
    static constexpr int kFields = 7;
    static const int kRegister[kFields];

    // ---- controls ----
    ListBox* lstControls;
    QLabel* lblControls;
    QLabel* lblInstruction;
    QLabel* lblAddress;
    QLabel* lblAddressText;
    QLabel* lblName;
    QLabel* lblNameText;
    QLabel* lblSV;
    QLabel* lblAlm1LoSV;
    QLabel* lblAlm1HiSV;
    QLabel* lblAlm2LoSV;
    QLabel* lblAlm2HiSV;
    QLabel* lblAlm3HiSV;
    QLabel* lblAlm3LoSV;
    ControlArray<TextBox> txtSV;
    ControlArray<QLabel> lblUnits;
    CommandButton* cmdUpdate;
    CommandButton* cmdClose;

    // ---- form values ----
    bool Loading = false;
    bool Changed = false;
    int SelIndex = -1;   // list position of the shown instrument = its instrument index
    // Per field, as its own read found them: an instrument may show its
    // fields at different decimal places.
    std::array<QString, kFields> ValueFormat; // display format of the shown value
    std::array<float, kFields> Scale{};       // the shown value x Scale is the raw value

    // ---- handlers ----
    void lstControls_Click();
    void txtSV_Change(int Index);
    void txtSV_GotFocus(int Index);
    void txtSV_LostFocus(int Index);
    void cmdUpdate_Click();
    void cmdClose_Click();
    void lblName_Click();

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    void ClearFields();
    void ShowAlarm3(bool on);
    bool AskCancelChanges();
    // The raw value field k sends, or false after a box that says why not.
    bool FieldToSend(int k, float& raw);
    QString FieldName(int k) const;
    // A failed Update, told in a box over this dialog.
    void TellFailedUpdate(int failed, const QString& errText);
};

FrmSetpoints& frmSetpoints();
