#pragma once
// Find Instruments: tries every combination of address, baud rate, framing
// and protocol the user leaves open for one controller group, reading each
// address's model register, and lists every instrument that answers. The
// port carries each probe's settings while the search runs and gets the
// configured settings back when it ends, however it ends.
#include <QGroupBox>
#include <QLabel>

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
    ControlArray<OptionButton> optInstControllerGroup;
    QGroupBox* fraInstProtocol;
    ControlArray<OptionButton> OptInstProtocol;
    ComboBox* cbxStartAddress;
    ComboBox* cbxEndAddress;
    ComboBox* cbxBaudRate;
    ComboBox* cbxParity;
    ComboBox* cbxDataLength;
    ComboBox* cbxStopBits;
    CommandButton* cmdStartSearch;
    CommandButton* cmdCancelSearch;
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

    // List positions from first to last (none when last < first).
    struct Span {
        int first = 0;
        int last = -1;
    };

private:
    // What one search tries.
    struct SearchPlan {
        int group = 0;
        Span stopBits, baud, dataLength, parity, protocol;
        bool anyProtocol = false; // "Unknown": every protocol of the group
        int startAddress = 1, endAddress = 1;
    };
    // One combination of the walk: list positions, protocol and address.
    struct Combination {
        int stopBits = 0, baud = 0, address = 0, dataLength = 0, parity = 0, protocol = 0;
    };
    // The search steps: read the ranges from the screen (holding the typed
    // addresses to 1..255), walk every combination (false when the walk was
    // cancelled), probe one (false when the search is to stop; answers are
    // listed and counted in `found`) and word the summary.
    SearchPlan readRanges(int group);
    bool walk(const SearchPlan& plan, int& found);
    bool probe(const SearchPlan& plan, const Combination& c, int& found);
    void showSummary(bool complete, int found);

    void UpdateProtocolOptions();
    void CheckStopBits();
    void ApplyGroupFraming();

    int selectedGroup() const;
    void fillAddressLists(int group);
};

FrmFind& frmFind();
