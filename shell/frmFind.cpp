#include "shell/frmFind.h"

#include <algorithm>

#include <QCoreApplication>
#include <QMenuBar>

#include "core/dispatch.h"
#include "core/modZarn.h"
#include "core/startup.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "shell/addresslist.h"

using namespace modZarn;

FrmFind& frmFind() { return Forms::get<FrmFind>(); }

namespace {
// Wide enough for the group options' captions on one line each.
constexpr int kFormWidth = 700;
// The model register (702H): two characters of the model ID.
constexpr int kModelRegister = 1794;
constexpr int kUnknownProtocol = 3;

const char* const kGroupCaptions[3] = {
    "TQW,  RR72, 53K2, 53K3, 4700, 9300, 71K, && 71MV (Factory default: Addr=32, Comm.= 9600,N,8,1)",
    "6G, 9G, 53G, 71G, && TQN.                                      (Factory default: Addr=001, Comm.= "
    "9600,E,7,1,ASCII)",
    "6H, 9H, &&  53H. (Fact. Default=001,9600,E,7,1,ASCII)",
};
const char* const kGroupHints[3] = {
    " (Factory default: Addr=32, Comm.= 9600,N,8,1)",
    " (Factory default: Addr=001, Comm.= 9600,E,7,1,ASCII)",
    " (Fact. Default=001,9600,E,7,1,ASCII)",
};

const char* const kProtocolNames[3] = {"Zarn Link", "Modbus RTU", "Modbus ASCII"};

bool baudAccepted(int group, const QString& baud)
{
    static const QStringList group0 = {"300", "1200", "2400", "4800", "9600", "19200", "28800", "57600"};
    static const QStringList group12 = {"2400", "4800", "9600", "19200", "38400"};
    return (group == 0 ? group0 : group12).contains(baud);
}

// The protocols a controller group speaks: the options the group leaves enabled.
bool protocolOfGroup(int group, int option)
{
    switch (group) {
    case 0: return option == 0 || option == 1;
    case 1: return option == 1 || option == 2;
    default: return option == 2;
    }
}

// The model value a demo instrument answers with.
float demoModelValue(int group, int address)
{
    const bool odd = address % 2 != 0;
    switch (group) {
    case 0: return odd ? 21591 : 21047; // TW, R7
    case 1: return odd ? 22599 : 21585; // XG, TQ
    default: return 22600;              // XH
    }
}

QPushButton* button(QWidget* parent, const QString& caption, int x, int y, int w = 96, int h = 40)
{
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(x, y, w, h);
    return b;
}

QLabel* caption(QWidget* parent, const QString& text, int x, int y, int w)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 20);
    return l;
}

ComboBox* combo(QWidget* parent, int x, int y, int w, bool editable)
{
    auto* c = new ComboBox(parent);
    c->setGeometry(x, y, w, 24);
    c->setEditable(editable);
    return c;
}

void selectText(QComboBox* c, const QString& text)
{
    const int i = c->findText(text);
    if (i >= 0)
        c->setCurrentIndex(i);
}

// List positions to try: every entry after "UNKNOWN", else the chosen one.
struct Range {
    int first = 0;
    int last = -1;
};
Range listRange(const QComboBox* c)
{
    if (c->currentText() == QLatin1String("UNKNOWN"))
        return {1, c->count() - 1};
    return {c->currentIndex(), c->currentIndex()};
}
} // namespace

FrmFind::FrmFind()
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find Instruments"));
    setFixedSize(kFormWidth, 600);
    menuBar->setGeometry(0, 0, kFormWidth, 24);

    lblTitle = new QLabel(QStringLiteral("Find Instruments"), this);
    lblTitle->setGeometry(0, 76, kFormWidth, 26);
    lblTitle->setAlignment(Qt::AlignCenter);
    QFont tf = lblTitle->font();
    tf.setPointSize(14);
    tf.setBold(true);
    lblTitle->setFont(tf);
    lblDemoMode = new QLabel(QStringLiteral("Demo Mode"), this);
    lblDemoMode->setGeometry(12, 80, 120, 20);
    lblDemoMode->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lblDemoMode->setVisible(false);

    fraControllerGroup = new QGroupBox(QStringLiteral("Select Controller Group"), this);
    fraControllerGroup->setGeometry(8, 104, kFormWidth - 16, 92);
    for (int g = 0; g < 3; ++g) {
        auto* o = new QRadioButton(QString::fromLatin1(kGroupCaptions[g]), fraControllerGroup);
        o->setGeometry(8, 20 + 22 * g, kFormWidth - 40, 20);
        optInstControllerGroup.add(g, o);
        connect(o, &QRadioButton::toggled, this, [this, g](bool on) {
            if (on)
                optInstControllerGroup_Click(g);
        });
    }

    fraInstProtocol = new QGroupBox(QStringLiteral("Protocol"), this);
    fraInstProtocol->setGeometry(8, 202, 200, 118);
    const char* const protocolCaptions[4] = {"Zarn Link Protocol", "Modbus RTU Protocol",
                                             "Modbus ASCII Protocol", "Unknown"};
    for (int p = 0; p < 4; ++p) {
        auto* o = new QRadioButton(QString::fromLatin1(protocolCaptions[p]), fraInstProtocol);
        o->setGeometry(8, 20 + 23 * p, 184, 20);
        OptInstProtocol.add(p, o);
    }
    OptInstProtocol(kUnknownProtocol)->setChecked(true);

    const int lx = 220, cx = 420;
    caption(this, QStringLiteral("Starting Address To Search:"), lx, 206, 196);
    cbxStartAddress = combo(this, cx, 204, 90, true);
    caption(this, QStringLiteral("Ending Address To Search:"), lx, 234, 196);
    cbxEndAddress = combo(this, cx, 232, 90, true);
    caption(this, QStringLiteral("Baud Rate:"), lx, 262, 196);
    cbxBaudRate = combo(this, cx, 260, 110, false);
    caption(this, QStringLiteral("Parity:"), lx, 290, 196);
    cbxParity = combo(this, cx, 288, 110, false);
    caption(this, QStringLiteral("Data Length:"), lx, 318, 196);
    cbxDataLength = combo(this, cx, 316, 110, false);
    caption(this, QStringLiteral("Stop Bits:"), lx, 346, 196);
    cbxStopBits = combo(this, cx, 344, 110, false);

    cmdStartSearch = button(this, QStringLiteral("  &Begin  Search"), 30, 330, 150, 34);
    cmdCancelSearch = button(this, QStringLiteral("  C&ancel Search"), 30, 370, 150, 34);

    lblProgress = new QLabel(this);
    lblProgress->setGeometry(8, 412, kFormWidth - 16, 20);
    caption(this, QStringLiteral("Search Results"), 8, 436, 200);
    lisSearchResults = new ListBox(this);
    lisSearchResults->setGeometry(8, 456, kFormWidth - 16, 110);
    QFont fixed(QStringLiteral("Courier New"), 9);
    fixed.setStyleHint(QFont::TypeWriter); // columns line up in any fixed-pitch font
    lisSearchResults->setFont(fixed);
    lblErrorMessageText = new QLabel(this);
    lblErrorMessageText->setGeometry(8, 570, kFormWidth - 16, 24);
    lblErrorMessageText->setStyleSheet(QStringLiteral("color: #a00000"));

    cbxDataLength->Click = [this] { cbxDataLength_Click(); };
    cbxParity->Click = [this] { cbxParity_Click(); };
    cbxStopBits->Click = [this] { cbxStopBits_Click(); };
    connect(cmdStartSearch, &QPushButton::clicked, this, [this] { cmdStartSearch_Click(); });
    connect(cmdCancelSearch, &QPushButton::clicked, this, [this] { cmdCancelSearch_Click(); });
}

int FrmFind::selectedGroup() const
{
    for (int g = 0; g < 3; ++g)
        if (optInstControllerGroup(g)->isChecked())
            return g;
    return -1;
}

void FrmFind::fillAddressLists(int group)
{
    FillAddressCombo(cbxStartAddress, group == 0, false);
    FillAddressCombo(cbxEndAddress, group == 0, false);
    cbxStartAddress->setCurrentText(AddressToText(group, 1));
    cbxEndAddress->setCurrentText(AddressToText(group, 255));
}

void FrmFind::Form_Load()
{
    // Nothing here may keep the screen from loading: each step swallows its
    // own failure and the next one runs.
    Filling = true;
    lblProgress->clear();
    lisSearchResults->clear();
    lblErrorMessageText->clear();

    if (gKT9PMode) {
        try {
            for (int g = 0; g < 3; ++g) {
                QString text;
                for (int m = 1; m <= gModelCount[g]; ++m) {
                    if (gModelName[g][m] == QLatin1String("Ramp/Soak"))
                        continue;
                    if (m != 1)
                        text += QStringLiteral(", ");
                    text += gModelName[g][m];
                }
                optInstControllerGroup(g)->setText(text + QString::fromLatin1(kGroupHints[g]));
            }
        } catch (const rt::RtError&) {
        }
    }

    try {
        fillAddressLists(gControllerGroup);
    } catch (const rt::RtError&) {
    }

    cbxBaudRate->clear();
    cbxBaudRate->addItems({"UNKNOWN", "9600", "19200", "38400", "28800", "57600", "4800", "2400"});
    cbxParity->clear();
    cbxParity->addItems({"UNKNOWN", "Even", "None", "Odd"});
    cbxDataLength->clear();
    cbxDataLength->addItems({"UNKNOWN", "7", "8"});
    cbxStopBits->clear();
    cbxStopBits->addItems({"UNKNOWN", "1", "2"});
    selectText(cbxBaudRate, QStringLiteral("UNKNOWN"));
    selectText(cbxParity, QStringLiteral("UNKNOWN"));
    selectText(cbxDataLength, QStringLiteral("UNKNOWN"));
    selectText(cbxStopBits, QStringLiteral("1"));

    if (gControllerGroup >= 0 && gControllerGroup <= 2) {
        optInstControllerGroup(gControllerGroup)->setChecked(true);
        UpdateProtocolOptions();
    }
    Filling = false;
}

void FrmFind::Form_Activate() { lblDemoMode->setVisible(gDemoMode); }

// Leaving the screen (another screen, a dialog) ends a running search once
// control comes back to it.
void FrmFind::Form_Deactivate() { CancelSearch = true; }

void FrmFind::UpdateProtocolOptions()
{
    const int group = selectedGroup();
    if (group < 0)
        return;
    bool spoken = OptInstProtocol(kUnknownProtocol)->isChecked();
    for (int p = 0; p < 3; ++p) {
        OptInstProtocol(p)->setEnabled(protocolOfGroup(group, p));
        spoken = spoken || (OptInstProtocol(p)->isChecked() && protocolOfGroup(group, p));
    }
    // A protocol the group does not speak gives way to the group's own
    // (RTU; ASCII in group 2).
    if (!spoken)
        OptInstProtocol(group == 2 ? 2 : 1)->setChecked(true);
}

void FrmFind::CheckStopBits()
{
    // Eight data bits with parity and two stop bits is a twelve-bit character
    // the instruments do not speak.
    Filling = true;
    const QString parity = cbxParity->currentText();
    if (cbxDataLength->currentText() == QLatin1String("8") && cbxStopBits->currentText() == QLatin1String("2") &&
        (parity == QLatin1String("Odd") || parity == QLatin1String("Even")))
        selectText(cbxStopBits, QStringLiteral("1"));
    Filling = false;
}

void FrmFind::ApplyGroupFraming()
{
    // Group 0 instruments speak only None, 8, 1.
    Filling = true;
    if (optInstControllerGroup(0)->isChecked()) {
        selectText(cbxParity, QStringLiteral("None"));
        selectText(cbxDataLength, QStringLiteral("8"));
        selectText(cbxStopBits, QStringLiteral("1"));
    }
    Filling = false;
}

void FrmFind::cbxDataLength_Click()
{
    if (Filling)
        return;
    CheckStopBits();
    ApplyGroupFraming();
}

void FrmFind::cbxParity_Click()
{
    if (Filling)
        return;
    CheckStopBits();
    ApplyGroupFraming();
}

void FrmFind::cbxStopBits_Click()
{
    if (Filling)
        return;
    CheckStopBits();
    ApplyGroupFraming();
}

void FrmFind::optInstControllerGroup_Click(int Index)
{
    UpdateProtocolOptions();
    fillAddressLists(Index);
    ApplyGroupFraming();
}

void FrmFind::cmdStartSearch_Click()
{
    if (Searching)
        return;

    const int group = std::max(selectedGroup(), 0);
    lisSearchResults->clear();
    Searching = true;
    CancelSearch = false;
    int found = 0;
    bool complete = false;

    // Searching must not stay set whatever leaves this routine.
    struct ClearSearching {
        bool& flag;
        ~ClearSearching() { flag = false; }
    } clearSearching{Searching};

    try {
        const Range stopRange = listRange(cbxStopBits);
        const Range baudRange = listRange(cbxBaudRate);
        const Range dataRange = listRange(cbxDataLength);
        const Range parityRange = listRange(cbxParity);
        const bool anyProtocol = OptInstProtocol(kUnknownProtocol)->isChecked();
        Range protocolRange{0, 2};
        if (!anyProtocol) {
            protocolRange = {0, -1};
            for (int p = 0; p < 3; ++p)
                if (OptInstProtocol(p)->isChecked())
                    protocolRange = {p, p};
        }

        // Address 0 is a broadcast and numbers past 255 are no address at
        // all: a typed range is held to 1..255, and the lists show what is
        // searched.
        const int startAddress = std::clamp(AddressToNumber(group, cbxStartAddress->currentText()), 1, 255);
        const int endAddress = std::clamp(AddressToNumber(group, cbxEndAddress->currentText()), 1, 255);
        cbxStartAddress->setCurrentText(AddressToText(group, startAddress));
        cbxEndAddress->setCurrentText(AddressToText(group, endAddress));
        const int step = startAddress > endAddress ? -1 : 1;

        // Returns false when the search is to stop.
        auto probe = [&](int sb, int br, int address, int dl, int pa, int pr) {
            const QString settings = cbxBaudRate->itemText(br) + QLatin1Char(',') +
                                     cbxParity->itemText(pa).left(1) + QLatin1Char(',') +
                                     cbxDataLength->itemText(dl) + QLatin1Char(',') + cbxStopBits->itemText(sb);
            const QString protocolName = QString::fromLatin1(kProtocolNames[pr]);
            const QString addressText = AddressToText(group, address);
            lblProgress->setText(QStringLiteral("Polling Address ") + addressText + QStringLiteral("   ") +
                                 settings + QLatin1Char(' ') + protocolName);

            bool failed = true;
            InitComm(settings, failed);
            if (failed) {
                CancelSearch = true;
                return false;
            }

            QString errText;
            int errCode = -1;
            float value = 0;
            ReadInstrumentRegister(group, ProtocolLetter(pr), errText, errCode, address, kModelRegister, value);

            if (gDemoMode) {
                // A demo instrument answers at every address, but only at the
                // first combination of the ranges.
                const bool first = sb == stopRange.first && br == baudRange.first && dl == dataRange.first &&
                                   pa == parityRange.first && (anyProtocol || pr == protocolRange.first);
                if (first) {
                    errCode = 0;
                    value = demoModelValue(group, address);
                } else {
                    errCode = -1;
                }
            }

            lblErrorMessageText->setText(errCode != 0 ? errText : QString());

            if (errCode == 0) {
                QString modelID, typeCaption, modelName;
                int modelIndex = 0;
                ModelFromRegisterValue(group, value, modelID, typeCaption, modelIndex, modelName);
                lisSearchResults->addItem(QStringLiteral("Addr:") + addressText + QStringLiteral("  ID#:") + modelID +
                                          QStringLiteral("  Type:") + modelName + QStringLiteral(", ") + typeCaption +
                                          QStringLiteral("  ") + settings + QStringLiteral("  ") + protocolName);
                ++found;
            } else if (errCode == 2) {
                lisSearchResults->addItem(QStringLiteral("Addr:") + addressText + QStringLiteral("  ID#:??") +
                                          QStringLiteral("  Type:Possible 53G, 53H, TQN Controller     ") +
                                          QStringLiteral("  ") + settings + QStringLiteral("  ") + protocolName);
                ++found;
            }

            QCoreApplication::processEvents();
            return !CancelSearch;
        };

        auto run = [&] {
            for (int sb = stopRange.first; sb <= stopRange.last; ++sb)
                for (int br = baudRange.first; br <= baudRange.last; ++br) {
                    if (!baudAccepted(group, cbxBaudRate->itemText(br)))
                        continue;
                    for (int address = startAddress;; address += step) {
                        for (int dl = dataRange.first; dl <= dataRange.last; ++dl)
                            for (int pa = parityRange.first; pa <= parityRange.last; ++pa)
                                for (int pr = protocolRange.first; pr <= protocolRange.last; ++pr) {
                                    // Protocols the group does not speak are
                                    // not tried (their options are disabled).
                                    if (!protocolOfGroup(group, pr))
                                        continue;
                                    if (!probe(sb, br, address, dl, pa, pr))
                                        return false;
                                }
                        if (address == endAddress)
                            break;
                    }
                }
            return true;
        };
        complete = run();
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmFind.cmdSearch_Click"));
        complete = false;
    }

    // The line goes back to the configured settings however the search ended:
    // other users of the port (logging, graph sampling) expect them.
    bool failed = true;
    InitComm(CommSettingsString(), failed);
    Searching = false;

    const QString n = rt::Str(found);
    if (!complete) {
        lblProgress->setText(QStringLiteral("Search Cancelled"));
        if (found == 0)
            lblProgress->setText(QStringLiteral("Zero instruments found."));
        else if (found == 1)
            lblProgress->setText(QStringLiteral("Found") + n + QStringLiteral(" instrument."));
        else
            lblProgress->setText(QStringLiteral("Found") + n + QStringLiteral(" instruments."));
    } else if (found == 0) {
        lblProgress->setText(QStringLiteral("Search completed.  Zero instruments found."));
    } else if (found == 1) {
        lblProgress->setText(QStringLiteral("Search completed. Found") + n + QStringLiteral(" instrument."));
    } else {
        lblProgress->setText(QStringLiteral("Search completed. Found") + n + QStringLiteral(" instruments."));
    }
}

void FrmFind::cmdCancelSearch_Click() { CancelSearch = true; }
