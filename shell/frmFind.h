#pragma once
// Find Instruments: tries every combination of address, baud rate, framing
// and protocol the user leaves open for one controller group, reading each
// address's model register, and lists every instrument that answers. The
// port carries each probe's settings while the search runs and gets the
// configured settings back when it ends, however it ends.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include "platform/controls.h"
#include "shell/mainscreen.h"

class FrmFind : public MainScreen {
    Q_OBJECT
public:
    FrmFind();

    void Form_Load() override;
    void Form_Activate() override;
    void Form_Deactivate() override;

    // ---- form values ----
    bool Filling = false;      // code is setting the serial-setting lists
    bool CancelSearch = false; // tested after every probe
    bool Searching = false;    // a search is running

    // ---- search controls ----
    QGroupBox* fraControllerGroup;
    ControlArray<QRadioButton> optInstControllerGroup;
    QGroupBox* fraInstProtocol;
    ControlArray<QRadioButton> OptInstProtocol;
    ComboBox* cbxStartAddress;
    ComboBox* cbxEndAddress;
    ComboBox* cbxBaudRate;
    ComboBox* cbxParity;
    ComboBox* cbxDataLength;
    ComboBox* cbxStopBits;
    QPushButton* cmdStartSearch;
    QPushButton* cmdCancelSearch;
    ListBox* lisSearchResults;
    QLabel* lblProgress;
    QLabel* lblErrorMessageText;
    QLabel* lblDemoMode;
    QLabel* lblTitle;

    // ---- handlers ----
    void optInstControllerGroup_Click(int Index);
    void cbxDataLength_Click();
    void cbxParity_Click();
    void cbxStopBits_Click();
    void cmdStartSearch_Click();
    void cmdCancelSearch_Click();

private:
    void UpdateProtocolOptions();
    void CheckStopBits();
    void ApplyGroupFraming();

    int selectedGroup() const;
    void fillAddressLists(int group);
};

FrmFind& frmFind();
