#pragma once
// The instrument configuration screen: the whole parameter set of one
// instrument held in on-screen widgets, one widget per register, built from
// the parameter map of each controller group (config/parammap.h). Three tab
// strips, one per group, exist at all times at one place; the current
// group's strip is the one shown.
#include <QLabel>
#include <functional>
#include <map>
#include <utility>

#include "platform/controls.h"
#include "platform/tabstrip.h"
#include "shell/mainscreen.h"

class FrmConfig : public MainScreen {
    Q_OBJECT
public:
    FrmConfig();

    // ---- screen state ----
    bool Loading = false;
    bool Changed = false;
    QString ConfigFileName;
    int CurDecimalPoint = 0;
    int CurInputType = 0;
    int CurModelIndex = 0;
    bool RampRegPresent = false;
    int RampSoakModelIndex = 0;
    int LoadedGroup = 0;

    // ---- fixed widgets ----
    QWidget* client;  // the window's area under the menu bar; positions in twips
    QLabel* lblTitle;
    QLabel* lblAddress;
    ComboBox* cbxAddress;
    QPushButton* cmdReadFile;
    QPushButton* cmdSaveFile;
    QPushButton* cmdReadControl;
    QPushButton* cmdSaveControl;
    QLabel* lblProgress;
    QLabel* lblAutoSendFileName;
    QLabel* lblDemoMode;

    // ---- per-group widgets, indexed by controller group ----
    ControlArray<TabStrip> tabConfig;
    ControlArray<ComboBox> cbxModelID;
    ControlArray<QLabel> lblModelType;
    ControlArray<TextBox> txtDescription;
    ControlArray<ComboBox> cbxDecimalPoint;
    ControlArray<QLabel> lblDecimalPoint;
    ControlArray<ComboBox> cbxInputType;
    ControlArray<QLabel> lblInputType;

    // ---- parameter widgets, indexed by register ----
    ControlArray<TextBox> txtParameter;
    ControlArray<ComboBox> cbxParameter;
    // Indexed by register x 10 + bit (bits 0-7), register x 10 + 1000 + bit - 8 (bits 8-15).
    ControlArray<CheckBox> chkParameter;
    ControlArray<QLabel> lblParamLabel;
    ControlArray<ComboBox> cbxReset;
    // Indexed by register - 2080H.
    ControlArray<TextBox> txtPattHour;
    ControlArray<TextBox> txtPattMin;
    ControlArray<QLabel> lblLabels;

    // The check box of one bit of a register; a bit without one is the
    // missing control-array element error.
    CheckBox* bitBox(int reg, int bit) const;

    // ---- events ----
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Deactivate() override;
    void AskBeforeProgramEnds(int& cancel, QWidget* closing) override;
    void tabConfig_Click(int index, int previousTab);

    void cbxModelID_Click(int group);
    void cbxDecimalPoint_Click(int group);
    void cbxInputType_Click(int group);
    void cbxParameter_Click(int reg);
    void cbxReset_Click(int reg);
    void chkParameter_Click(int index);
    void txtParameter_Change(int reg);
    void txtPattHour_Change(int index);
    void txtPattMin_Change(int index);
    void txtDescription_Change(int group);
    void txtParameter_GotFocus(int reg);
    void txtPattHour_GotFocus(int index);
    void txtPattMin_GotFocus(int index);
    void txtParameter_LostFocus(int reg);
    void txtPattHour_LostFocus(int index);
    void txtPattMin_LostFocus(int index);

    // ---- methods ----
    // The layout pass: shows exactly the fields whose registers the selected
    // model has, re-formats the shown text fields, then runs the group's rules.
    void SetupFormFields();
    QString DecimalPointFormat(int reg, float& factor) const;
    // Ticks the register's check boxes from a 16-bit value, and back.
    void DistributeBits(int reg, float value);
    void CompressBits(int reg, int& value);
    // Asks about unsaved edits; cancel is set when the user keeps the screen.
    // The question stands over `asker` (this screen when none is given).
    void AskIfDiscardChanges(int& cancel, QWidget* asker = nullptr);
    QString GStr(int reg) const;
    // Reads the instrument at the address shown into the screen.
    void ReadControllerParameters();
    void cmdSaveFile_Click();
    // The field that holds the focus completes its entry as when it is left
    // (without the offer to write it at once): what is saved has been through
    // the field's own rule, however the save was asked for.
    void CompleteEntry();

    // ---- configuration transfer ----
    // Loads a parameter file into the screen: 0 loaded, -1 refused or failed
    // (the reason already shown).
    int ReadParameterFile(QString fileName);
    void SaveParameterFile(QString fileName);
    // Sends the screen to the instrument at the address shown; Failed stays
    // true unless the whole send succeeded. AutoSend: nobody is at the screen.
    void SendControllerParameters(bool& Failed, bool AutoSend);

    // ---- commands of the top row, navigation row and menu ----
    void cmdReadFile_Click();
    void cmdReadControl_Click();
    void cmdSaveControl_Click();
    void cmdMainMenu_Click() override;
    void cmdConfigureController_Click() override;
    void cmdStatus_Click() override;
    void cmdFind_Click() override;

    // The selected model's two-character ID: the last two characters of the
    // current group's model list text ("" when the group has no list).
    QString ModelID() const;

private:
    void wireCommands();
    void leaveAfterAsking(const std::function<void()>& leave);
    void fileCommand(bool save, const QString& routine, const std::function<void(const QString&)>& use);
    void buildFixedControls();
    void buildGroup(int group);
    void wireArrays();
    void fillGroupLists(int group);
    // The box of one bit, after the check that its index fits the index rule.
    CheckBox* indexedBitBox(int reg, int bit) const;
    // Runs `step` for each bit of the register's bit field, first to last; a
    // fault shows the routine's error box and ends the walk.
    void walkBits(int reg, const QString& routine, const std::function<void(int, CheckBox*)>& step);
    // One data line of a parameter file into its widgets, or with `write`
    // false only checked.
    void loadDataLine(int reg, float value, bool write);
    // A text field's own entry rule: limits and display format.
    void completeTextEntry(int reg);

    // The lists of group 1 written to the instrument at once.
    void pidGroupChanged(bool wasChanged);
    void commAddressChanged();
    void commSettingChanged(int reg);

    std::map<std::pair<int, int>, CheckBox*> bits_;
};

FrmConfig& frmConfig();
