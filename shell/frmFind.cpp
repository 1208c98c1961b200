#include "shell/frmFind.h"

#include <algorithm>

#include <QCoreApplication>
#include <QMenuBar>
#include <QScopedValueRollback>

#include "core/dispatch.h"
#include "core/exchange.h"
#include "core/modZarn.h"
#include "core/startup.h"
#include "platform/builders.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/twips.h"
#include "shell/addresslist.h"

using namespace modZarn;

FrmFind& frmFind() { return Forms::get<FrmFind>(); }

namespace {
// Wide enough for the group options' captions on one line each (twips).
constexpr int kFormWidth = 10500;
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

void selectText(QComboBox* c, const QString& text)
{
    const int i = c->findText(text);
    if (i >= 0)
        c->setCurrentIndex(i);
}

// List positions to try: every entry after "UNKNOWN", else the chosen one.
FrmFind::Span listRange(const QComboBox* c)
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
    setFixedSize(tw::px(kFormWidth), tw::px(9000));
    tw::place(menuBar, 0, 0, kFormWidth, 360);

    lblTitle = ctl::label(this, QStringLiteral("Find Instruments"), 0, 1140, kFormWidth, 390);
    lblTitle->setAlignment(Qt::AlignCenter);
    QFont tf = lblTitle->font();
    tf.setPointSize(14);
    tf.setBold(true);
    lblTitle->setFont(tf);
    lblDemoMode = ctl::label(this, QStringLiteral("Demo Mode"), 180, 1200, 1800, 300);
    lblDemoMode->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lblDemoMode->setVisible(false);

    fraControllerGroup = ctl::frame(this, QStringLiteral("Select Controller Group"), 120, 1560, kFormWidth - 240, 1380);
    optInstControllerGroup.setName(QStringLiteral("optInstControllerGroup"));
    for (int g = 0; g < 3; ++g)
        optInstControllerGroup.build(fraControllerGroup, {{g, ctl::Kind::OptionButton, 120, 300 + 330 * g,
                                                           kFormWidth - 600, 300,
                                                           QString::fromLatin1(kGroupCaptions[g])}});
    optInstControllerGroup.wire(ctl::clickEvents([this](int g) { optInstControllerGroup_Click(g); }));

    fraInstProtocol = ctl::frame(this, QStringLiteral("Protocol"), 120, 3030, 3000, 1770);
    const char* const protocolCaptions[4] = {"Zarn Link Protocol", "Modbus RTU Protocol",
                                             "Modbus ASCII Protocol", "Unknown"};
    OptInstProtocol.setName(QStringLiteral("OptInstProtocol"));
    for (int p = 0; p < 4; ++p)
        OptInstProtocol.build(fraInstProtocol, {{p, ctl::Kind::OptionButton, 120, 300 + 345 * p, 2760, 300,
                                                 QString::fromLatin1(protocolCaptions[p])}});
    OptInstProtocol(kUnknownProtocol)->setChecked(true);

    // A caption and its list on each line.
    struct Setting {
        ComboBox*& list;
        const char* name;
        const char* caption;
        int width;
        bool editable;
    };
    const Setting settings[] = {
        {cbxStartAddress, "cbxStartAddress", "Starting Address To Search:", 1350, true},
        {cbxEndAddress, "cbxEndAddress", "Ending Address To Search:", 1350, true},
        {cbxBaudRate, "cbxBaudRate", "Baud Rate:", 1650, false},
        {cbxParity, "cbxParity", "Parity:", 1650, false},
        {cbxDataLength, "cbxDataLength", "Data Length:", 1650, false},
        {cbxStopBits, "cbxStopBits", "Stop Bits:", 1650, false},
    };
    int top = 3060;
    for (const Setting& r : settings) {
        ctl::label(this, QString::fromLatin1(r.caption), 3300, top + 30, 2940, 300);
        r.list = ctl::comboBox(this, QString::fromLatin1(r.name), 6300, top, r.width, 360, r.editable);
        top += 420;
    }

    cmdStartSearch =
        ctl::button(this, QStringLiteral("cmdStartSearch"), QStringLiteral("  &Begin  Search"), 450, 4950, 2250, 510);
    cmdCancelSearch =
        ctl::button(this, QStringLiteral("cmdCancelSearch"), QStringLiteral("  C&ancel Search"), 450, 5550, 2250, 510);

    lblProgress = ctl::label(this, QString(), 120, 6180, kFormWidth - 240, 300);
    ctl::label(this, QStringLiteral("Search Results"), 120, 6540, 3000, 300);
    lisSearchResults = ctl::listBox(this, QStringLiteral("lisSearchResults"), 120, 6840, kFormWidth - 240, 1650);
    QFont fixed(QStringLiteral("Courier New"), 9);
    fixed.setStyleHint(QFont::TypeWriter); // columns line up in any fixed-pitch font
    lisSearchResults->setFont(fixed);
    lblErrorMessageText = ctl::label(this, QString(), 120, 8550, kFormWidth - 240, 360);
    lblErrorMessageText->setStyleSheet(QStringLiteral("color: #a00000"));

    cbxDataLength->Click = [this] { cbxDataLength_Click(); };
    cbxParity->Click = [this] { cbxParity_Click(); };
    cbxStopBits->Click = [this] { cbxStopBits_Click(); };
    ctl::on(cmdStartSearch, &QPushButton::clicked, "Click", [this] { cmdStartSearch_Click(); });
    ctl::on(cmdCancelSearch, &QPushButton::clicked, "Click", [this] { cmdCancelSearch_Click(); });
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
    // Nothing here may keep the screen from loading: a step that fails is
    // passed over and the next one runs.
    const QScopedValueRollback filling(Filling, true);
    lblProgress->clear();
    lisSearchResults->clear();
    lblErrorMessageText->clear();

    if (gKT9PMode) {
        ctl::skipOnFailure([this] {
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
        });
    }

    ctl::skipOnFailure([this] { fillAddressLists(gControllerGroup); });

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
    const QScopedValueRollback filling(Filling, true);
    const QString parity = cbxParity->currentText();
    if (cbxDataLength->currentText() == QLatin1String("8") && cbxStopBits->currentText() == QLatin1String("2") &&
        (parity == QLatin1String("Odd") || parity == QLatin1String("Even")))
        selectText(cbxStopBits, QStringLiteral("1"));
}

void FrmFind::ApplyGroupFraming()
{
    // Group 0 instruments speak only None, 8, 1.
    const QScopedValueRollback filling(Filling, true);
    if (optInstControllerGroup(0)->isChecked()) {
        selectText(cbxParity, QStringLiteral("None"));
        selectText(cbxDataLength, QStringLiteral("8"));
        selectText(cbxStopBits, QStringLiteral("1"));
    }
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
    // A line that worked (or was lost and waited for) before the search.
    const bool lineWasUp = gCommOK || xchg::LineGone();
    lisSearchResults->clear();
    // Searching must not stay set whatever leaves this routine.
    const QScopedValueRollback searching(Searching, true);
    CancelSearch = false;
    int found = 0;
    bool complete = false;
    // A failure ends the walk; the search still puts the line back and
    // tells what it found.
    ctl::guard(this, QStringLiteral("frmFind.cmdSearch_Click"), [&] { complete = walk(readRanges(group), found); });

    // The line goes back to the configured settings however the search ended:
    // other users of the port (logging, graph sampling) expect them.
    bool failed = true;
    InitComm(CommSettingsString(), failed);
    // A device that went away during the search is a lost line like any
    // other: it is tried again every second until it is back.
    if (failed && lineWasUp)
        CommLost();
    showSummary(complete, found);
}

FrmFind::SearchPlan FrmFind::readRanges(int group)
{
    SearchPlan plan;
    plan.group = group;
    plan.stopBits = listRange(cbxStopBits);
    plan.baud = listRange(cbxBaudRate);
    plan.dataLength = listRange(cbxDataLength);
    plan.parity = listRange(cbxParity);
    plan.anyProtocol = OptInstProtocol(kUnknownProtocol)->isChecked();
    plan.protocol = {0, 2};
    if (!plan.anyProtocol) {
        plan.protocol = {0, -1};
        for (int p = 0; p < 3; ++p)
            if (OptInstProtocol(p)->isChecked())
                plan.protocol = {p, p};
    }

    // Address 0 is a broadcast and numbers past 255 are no address at
    // all: a typed range is held to 1..255, and the lists show what is
    // searched.
    plan.startAddress = std::clamp(AddressToNumber(group, cbxStartAddress->currentText()), 1, 255);
    plan.endAddress = std::clamp(AddressToNumber(group, cbxEndAddress->currentText()), 1, 255);
    cbxStartAddress->setCurrentText(AddressToText(group, plan.startAddress));
    cbxEndAddress->setCurrentText(AddressToText(group, plan.endAddress));
    return plan;
}

bool FrmFind::walk(const SearchPlan& plan, int& found)
{
    const int step = plan.startAddress > plan.endAddress ? -1 : 1;
    Combination c;
    for (c.stopBits = plan.stopBits.first; c.stopBits <= plan.stopBits.last; ++c.stopBits)
        for (c.baud = plan.baud.first; c.baud <= plan.baud.last; ++c.baud) {
            if (!baudAccepted(plan.group, cbxBaudRate->itemText(c.baud)))
                continue;
            for (c.address = plan.startAddress;; c.address += step) {
                for (c.dataLength = plan.dataLength.first; c.dataLength <= plan.dataLength.last; ++c.dataLength)
                    for (c.parity = plan.parity.first; c.parity <= plan.parity.last; ++c.parity)
                        for (c.protocol = plan.protocol.first; c.protocol <= plan.protocol.last; ++c.protocol) {
                            // Protocols the group does not speak are not
                            // tried (their options are disabled).
                            if (!protocolOfGroup(plan.group, c.protocol))
                                continue;
                            if (!probe(plan, c, found))
                                return false;
                        }
                if (c.address == plan.endAddress)
                    break;
            }
        }
    return true;
}

bool FrmFind::probe(const SearchPlan& plan, const Combination& c, int& found)
{
    const QString settings = cbxBaudRate->itemText(c.baud) + QLatin1Char(',') +
                             cbxParity->itemText(c.parity).left(1) + QLatin1Char(',') +
                             cbxDataLength->itemText(c.dataLength) + QLatin1Char(',') +
                             cbxStopBits->itemText(c.stopBits);
    const QString protocolName = QString::fromLatin1(kProtocolNames[c.protocol]);
    const QString addressText = AddressToText(plan.group, c.address);
    lblProgress->setText(QStringLiteral("Polling Address ") + addressText + QStringLiteral("   ") + settings +
                         QLatin1Char(' ') + protocolName);

    bool failed = true;
    InitComm(settings, failed);
    if (failed) {
        CancelSearch = true;
        return false;
    }

    QString errText;
    int errCode = -1;
    float value = 0;
    ReadInstrumentRegister(plan.group, ProtocolLetter(c.protocol), errText, errCode, c.address, kModelRegister,
                           value);

    if (gDemoMode) {
        // A demo instrument answers at every address, but only at the
        // first combination of the ranges.
        const bool first = c.stopBits == plan.stopBits.first && c.baud == plan.baud.first &&
                           c.dataLength == plan.dataLength.first && c.parity == plan.parity.first &&
                           (plan.anyProtocol || c.protocol == plan.protocol.first);
        if (first) {
            errCode = 0;
            value = demoModelValue(plan.group, c.address);
        } else {
            errCode = -1;
        }
    }

    lblErrorMessageText->setText(errCode != 0 ? errText : QString());

    if (errCode == 0) {
        QString modelID, typeCaption, modelName;
        int modelIndex = 0;
        ModelFromRegisterValue(plan.group, value, modelID, typeCaption, modelIndex, modelName);
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
}

void FrmFind::showSummary(bool complete, int found)
{
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
