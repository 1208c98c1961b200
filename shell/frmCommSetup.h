#pragma once
// Communications set-up: the serial line, the current controller group and
// protocol, the log viewer, the data folder and the instrument list. Nothing
// reaches the shared state before OK; OK rewrites the settings file, re-reads
// the model file and reopens the port.
#include <QLabel>

#include "core/state.h"
#include "platform/controls.h"
#include "platform/form.h"

class FrmCommSetup : public Form {
    Q_OBJECT
public:
    FrmCommSetup();

    void Form_Load() override;
    void Form_Unload(int& cancel) override;

    // ---- controls ----
    TextBox* txtCommPort;
    ComboBox* cbxBaudRate;
    ComboBox* cbxParity;
    ComboBox* cbxDataLength;
    ComboBox* cbxStopBits;
    TextBox* txtPollTimeout;
    ControlArray<OptionButton> optGlobalControllerGroup;
    ControlArray<OptionButton> optGlobalProtocol;
    TextBox* txtViewApp;
    CommandButton* cmdViewApp;
    TextBox* txtDefaultFolder;
    CommandButton* cmdDefaultFolder;
    QLabel* lblListHeading;
    ListBox* lstControls;
    ComboBox* cbxAddress;
    ControlArray<OptionButton> OptInstProtocol;
    ControlArray<OptionButton> optInstControllerGroup;
    TextBox* txtName;
    CommandButton* cmdUpdate;
    CommandButton* cmdRemove;
    CommandButton* cmdOK;
    CommandButton* cmdCancel;
    QLabel* lblTitle;
    QLabel* lblInfo;

    // ---- form state ----
    bool Changed = false;
    bool Loading = false;

    // ---- handlers ----
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdUpdate_Click();
    void cmdRemove_Click();
    void lstControls_Click();
    void cbxAddress_Click();
    void optGlobalControllerGroup_Click(int index);
    void optGlobalProtocol_Click(int index);
    void optInstControllerGroup_Click(int index);
    void OptInstProtocol_Click(int index);
    void cbxBaudRate_Click();
    void cbxParity_Click();
    void cbxDataLength_Click();
    void cbxStopBits_Click();
    void txtCommPort_Change();
    void txtPollTimeout_Change();
    void txtViewApp_Change();
    void txtDefaultFolder_Change();
    void txtName_Change();
    void txtCommPort_LostFocus();
    void txtPollTimeout_LostFocus();
    void txtName_LostFocus();
    void cmdDefaultFolder_Click();
    void cmdViewApp_Click();

    // The entry text of one instrument record as the list shows it.
    static QString InstrumentListEntry(const modZarn::InstrumentRecord& record);

private:
    // The entry the user chose, or nullptr.
    QListWidgetItem* selectedEntry() const;
    void SetGlobalProtocolOptions();
    void SetInstProtocolOptions();
    void markChanged();
    int selectedIndex(const ControlArray<OptionButton>& options) const;
    // Applies the edit fields to the list; false when they were refused. A
    // new entry logs every second for a minute; with keepLogging, the chosen
    // entry keeps its logging values when its address, protocol and group
    // stay as they were.
    bool applyUpdate(bool keepLogging);
    // Takes the fields into the shared state, saves the settings and
    // reopens the port.
    void commit();
    // False, after telling the user, when the viewer path or the data
    // folder (`folder`) holds a line end, which the settings file cannot
    // keep on its one line.
    bool pathStorable(const QString& path, bool folder);
};

FrmCommSetup& frmCommSetup();
