#include "shell/frmCommSetup.h"

#include <QDir>
#include <QFont>
#include <QScopedValueRollback>
#include <QVariant>
#include <cmath>

#include "core/deffiles.h"
#include "core/helpers.h"
#include "shell/addresslist.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/sysconfig.h"
#include "platform/app.h"
#include "platform/builders.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/twips.h"

using namespace modZarn;

FrmCommSetup& frmCommSetup() { return Forms::get<FrmCommSetup>(); }

namespace {

constexpr int kEntryWidth = 46;

// Characters start..start+len-1 (counted from 1) of an entry.
QString Mid(const QString& s, int start, int len) { return s.mid(start - 1, len); }

// Writes `value` into columns start..start+width-1 of `entry`, cut to the
// width; a shorter value leaves the rest of the columns as they were.
void Put(QString& entry, int start, int width, const QString& value)
{
    const QString v = value.left(width);
    entry.replace(start - 1, v.size(), v);
}

QString AddressColumns(const QString& entry) { return rt::Trim(Mid(entry, 1, 3)); }

// The list shows a whole number of seconds per sample, so each entry made
// from an instrument record also carries the record's exact logging values;
// OK takes those, not the columns, and a rate such as 0.5 s survives.
struct LoggingValues {
    int duration = 0;
    float rate = 0;
    int durationUnits = 0;
    int rateUnits = 0;
};
constexpr int kExactRole = Qt::UserRole + 1;

QVariant Carry(const LoggingValues& v)
{
    return QVariantList{v.duration, QVariant::fromValue(v.rate), v.durationUnits, v.rateUnits};
}

bool Carried(const QListWidgetItem* item, LoggingValues& v)
{
    const QVariant data = item->data(kExactRole);
    if (!data.isValid())
        return false;
    const QVariantList l = data.toList();
    if (l.size() != 4)
        return false;
    v.duration = l[0].toInt();
    v.rate = l[1].value<float>();
    v.durationUnits = l[2].toInt();
    v.rateUnits = l[3].toInt();
    return true;
}

// The allowed protocols of the selected group; the selection moves to an
// allowed one.
void ApplyProtocolRules(const ControlArray<OptionButton>& groups, const ControlArray<OptionButton>& protocols)
{
    for (int g = 0; g <= 2; ++g) {
        if (!groups(g)->isChecked())
            continue;
        switch (g) {
        case 0:
            protocols(0)->setEnabled(true);
            protocols(1)->setEnabled(true);
            protocols(2)->setEnabled(false);
            if (protocols(2)->isChecked())
                protocols(1)->setChecked(true);
            break;
        case 1:
            protocols(0)->setEnabled(false);
            protocols(1)->setEnabled(true);
            protocols(2)->setEnabled(true);
            if (protocols(0)->isChecked())
                protocols(1)->setChecked(true);
            break;
        case 2:
            protocols(0)->setEnabled(false);
            protocols(1)->setEnabled(false);
            protocols(2)->setEnabled(true);
            if (!protocols(2)->isChecked())
                protocols(2)->setChecked(true);
            break;
        }
    }
}

const char* const kProtocolCaptions[3] = {"Zarn Link Protocol", "Modbus RTU Protocol", "Modbus ASCII Protocol"};
const char* const kGlobalGroupCaptions[3] = {
    "Communicate with models  TQW,  RR72, 53K2, 53K3, 4700, 9300, 71K, && 71MV.",
    "Communicate with models 6G, 9G, 53G, 71G, && TQN.",
    "Communicate with models 6H, 9H, &&  53H.",
};
const char* const kInstGroupCaptions[3] = {
    " TQW,  RR72, 53K2, 53K3, 4700, 9300, 71K, && 71MV.",
    "Models 6G, 9G, 53G, 71G, && TQN.",
    "Models 6H, 9H, &&  53H.",
};

} // namespace

FrmCommSetup::FrmCommSetup()
{
    setObjectName(QStringLiteral("frmCommSetup"));
    setWindowTitle(QStringLiteral("Communications Setup"));
    setFixedSize(tw::px(14700), tw::px(9600));
    setEnterMovesFocus(true);
    using ctl::label;

    lblTitle = label(this, QStringLiteral("Communications Setup"), 0, 120, 14700, 420);
    lblTitle->setAlignment(Qt::AlignCenter);
    QFont tf = lblTitle->font();
    tf.setPointSize(14);
    tf.setBold(true);
    lblTitle->setFont(tf);

    // ---- serial line ----
    QGroupBox* fraPort = ctl::frame(this, QStringLiteral("Serial Port Settings"), 180, 660, 4500, 3210);
    label(fraPort, QStringLiteral("Comm Port:"), 180, 390, 1650, 300);
    txtCommPort = ctl::textBox(fraPort, QStringLiteral("txtCommPort"), 1830, 360, 900, 360);
    label(fraPort, QStringLiteral("Baud Rate:"), 180, 840, 1650, 300);
    cbxBaudRate = ctl::comboBox(fraPort, QStringLiteral("cbxBaudRate"), 1830, 810, 1500, 360, true);
    label(fraPort, QStringLiteral("Parity:"), 180, 1290, 1650, 300);
    cbxParity = ctl::comboBox(fraPort, QStringLiteral("cbxParity"), 1830, 1260, 1500, 360, true);
    label(fraPort, QStringLiteral("Data Length:"), 180, 1740, 1650, 300);
    cbxDataLength = ctl::comboBox(fraPort, QStringLiteral("cbxDataLength"), 1830, 1710, 1500, 360, true);
    label(fraPort, QStringLiteral("Stop Bits:"), 180, 2190, 1650, 300);
    cbxStopBits = ctl::comboBox(fraPort, QStringLiteral("cbxStopBits"), 1830, 2160, 1500, 360, true);
    label(fraPort, QStringLiteral("Polling Timeout:                  msec"), 180, 2640, 4200, 300);
    // "msec" follows it in the caption
    txtPollTimeout = ctl::textBox(fraPort, QStringLiteral("txtPollTimeout"), 1830, 2610, 780, 360);

    lblInfo = label(this,
                    QStringLiteral("The Comm Port number must be the same one that you plug the serial cable into.  "
                                   "The Baud Rate must match the setting of the instrument(s) you are communicating "
                                   "to.  The Polling Timeout should be at least 125 msec."),
                    180, 3960, 4500, 1440);
    lblInfo->setWordWrap(true);

    // ---- current group and protocol ----
    QGroupBox* fraGroup = ctl::frame(this, QStringLiteral("Select Controller Group"), 4860, 660, 9660, 1650);
    QGroupBox* fraProtocol =
        ctl::frame(this, QStringLiteral("Select Communications Protocol"), 4860, 2400, 9660, 1470);
    optGlobalControllerGroup.setName(QStringLiteral("optGlobalControllerGroup"));
    optGlobalProtocol.setName(QStringLiteral("optGlobalProtocol"));
    for (int i = 0; i <= 2; ++i) {
        optGlobalControllerGroup.build(fraGroup, {{i, ctl::Kind::OptionButton, 180, 330 + 420 * i, 9300, 360,
                                                   QString::fromUtf8(kGlobalGroupCaptions[i])}});
        optGlobalProtocol.build(fraProtocol, {{i, ctl::Kind::OptionButton, 180, 330 + 360 * i, 4500, 330,
                                               QString::fromUtf8(kProtocolCaptions[i])}});
    }

    // ---- viewer and folder ----
    label(this, QStringLiteral("Application Used to View Hist. Logs:"), 4860, 4020, 4500, 300);
    txtViewApp = ctl::textBox(this, QStringLiteral("txtViewApp"), 4860, 4350, 9000, 360);
    cmdViewApp = ctl::button(this, QStringLiteral("cmdViewApp"), QStringLiteral("..."), 13950, 4350, 570, 360);
    label(this, QStringLiteral("Default Folder for Log Files:"), 4860, 4800, 4500, 300);
    txtDefaultFolder = ctl::textBox(this, QStringLiteral("txtDefaultFolder"), 4860, 5130, 9000, 360);
    cmdDefaultFolder =
        ctl::button(this, QStringLiteral("cmdDefaultFolder"), QStringLiteral("..."), 13950, 5130, 570, 360);

    // ---- instrument list ----
    QGroupBox* fraInst = ctl::frame(this, QStringLiteral("INSTRUMENT SETUP"), 180, 5640, 14340, 3150);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    lblListHeading = label(fraInst, QStringLiteral("Address   P        Name"), 180, 300, 5700, 300);
    lblListHeading->setFont(fixed);
    lstControls = ctl::listBox(fraInst, QStringLiteral("lstControls"), 180, 630, 5700, 2340);
    lstControls->setFont(fixed);
    lstControls->setSortingEnabled(true);

    label(fraInst, QStringLiteral("Address"), 6060, 300, 1200, 300);
    cbxAddress = ctl::comboBox(fraInst, QStringLiteral("cbxAddress"), 6060, 630, 1200, 360, true);
    label(fraInst, QStringLiteral("Name"), 7410, 300, 1200, 300);
    txtName = ctl::textBox(fraInst, QStringLiteral("txtName"), 7410, 630, 4050, 360);
    QGroupBox* fraInstGroup = ctl::frame(fraInst, QStringLiteral("Controller Group"), 6060, 1080, 5490, 1500);
    QGroupBox* fraInstProtocol = ctl::frame(fraInst, QStringLiteral("Protocol"), 11670, 1080, 2550, 1500);
    optInstControllerGroup.setName(QStringLiteral("optInstControllerGroup"));
    OptInstProtocol.setName(QStringLiteral("OptInstProtocol"));
    for (int i = 0; i <= 2; ++i) {
        optInstControllerGroup.build(fraInstGroup, {{i, ctl::Kind::OptionButton, 120, 300 + 390 * i, 5250, 330,
                                                     QString::fromUtf8(kInstGroupCaptions[i])}});
        OptInstProtocol.build(fraInstProtocol, {{i, ctl::Kind::OptionButton, 120, 300 + 390 * i, 2340, 330,
                                                 QString::fromUtf8(kProtocolCaptions[i])}});
    }
    cmdUpdate = ctl::button(fraInst, QStringLiteral("cmdUpdate"), QStringLiteral("&Update"), 11670, 600, 1200, 420);
    cmdRemove = ctl::button(fraInst, QStringLiteral("cmdRemove"), QStringLiteral("&Remove"), 13020, 600, 1200, 420);

    cmdOK = ctl::button(this, QStringLiteral("cmdOK"), QStringLiteral("&OK"), 11100, 8970, 1500, 480);
    cmdCancel = ctl::button(this, QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"), 13020, 8970, 1500, 480);

    // Before the settings are shown: group 0 and Modbus RTU in both option sets.
    optGlobalControllerGroup(0)->setChecked(true);
    optGlobalProtocol(1)->setChecked(true);
    optInstControllerGroup(0)->setChecked(true);
    OptInstProtocol(1)->setChecked(true);

    // ---- events ----
    ctl::on(cmdOK, &QPushButton::clicked, "Click", [this] { cmdOK_Click(); });
    ctl::on(cmdCancel, &QPushButton::clicked, "Click", [this] { cmdCancel_Click(); });
    ctl::on(cmdUpdate, &QPushButton::clicked, "Click", [this] { cmdUpdate_Click(); });
    ctl::on(cmdRemove, &QPushButton::clicked, "Click", [this] { cmdRemove_Click(); });
    ctl::on(cmdViewApp, &QPushButton::clicked, "Click", [this] { cmdViewApp_Click(); });
    ctl::on(cmdDefaultFolder, &QPushButton::clicked, "Click", [this] { cmdDefaultFolder_Click(); });
    // A choice of entry is a change of selection (click or arrow keys); the
    // list merely taking the focus chooses nothing.
    lstControls->Click = [this] { lstControls_Click(); };
    // The lists count only the user's choices: code filling or setting them
    // is no edit.
    ctl::on(cbxAddress, &QComboBox::activated, "Click", [this] { cbxAddress_Click(); });
    ctl::on(cbxBaudRate, &QComboBox::activated, "Click", [this] { cbxBaudRate_Click(); });
    ctl::on(cbxParity, &QComboBox::activated, "Click", [this] { cbxParity_Click(); });
    ctl::on(cbxDataLength, &QComboBox::activated, "Click", [this] { cbxDataLength_Click(); });
    ctl::on(cbxStopBits, &QComboBox::activated, "Click", [this] { cbxStopBits_Click(); });
    // An option's Click fires when it becomes the selected one, by the user
    // or by code.
    optGlobalControllerGroup.wire(ctl::clickEvents([this](int i) { optGlobalControllerGroup_Click(i); }));
    optGlobalProtocol.wire(ctl::clickEvents([this](int i) { optGlobalProtocol_Click(i); }));
    optInstControllerGroup.wire(ctl::clickEvents([this](int i) { optInstControllerGroup_Click(i); }));
    OptInstProtocol.wire(ctl::clickEvents([this](int i) { OptInstProtocol_Click(i); }));
    txtCommPort->Change = [this] { txtCommPort_Change(); };
    txtPollTimeout->Change = [this] { txtPollTimeout_Change(); };
    txtViewApp->Change = [this] { txtViewApp_Change(); };
    txtDefaultFolder->Change = [this] { txtDefaultFolder_Change(); };
    txtName->Change = [this] { txtName_Change(); };
    txtCommPort->LostFocus = [this] { txtCommPort_LostFocus(); };
    txtPollTimeout->LostFocus = [this] { txtPollTimeout_LostFocus(); };
    txtName->LostFocus = [this] { txtName_LostFocus(); };
}

QString FrmCommSetup::InstrumentListEntry(const InstrumentRecord& r)
{
    QString entry(kEntryWidth, QLatin1Char(' '));
    Put(entry, 1, 3, r.Address);
    Put(entry, 7, 1, r.Protocol);
    Put(entry, 8, 1, rt::Trim(rt::Str(r.Group)));
    Put(entry, 10, 21, r.Name);
    Put(entry, 32, 5, rt::Format(r.LogDuration, QStringLiteral("00000")));
    Put(entry, 38, 5, rt::Format(r.LogRate, QStringLiteral("00000")));
    Put(entry, 44, 1, rt::Format(r.DurationUnits, QStringLiteral("0")));
    Put(entry, 46, 1, rt::Format(r.RateUnits, QStringLiteral("0")));
    return entry;
}

void FrmCommSetup::Form_Load()
{
    const QScopedValueRollback loading(Loading, true);

    if (gKT9PMode) {
        // The edition names its groups by the models it ships.
        for (int g = 0; g <= 2; ++g) {
            QString global = QStringLiteral("Communicate with models ");
            QString inst;
            for (int m = 1; m <= gModelCount[g]; ++m) {
                if (gModelName[g][m] == QLatin1String("Ramp/Soak"))
                    continue;
                const QString sep = m == 1 ? QString() : QStringLiteral(", ");
                global += sep + gModelName[g][m];
                inst += sep + gModelName[g][m];
            }
            optGlobalControllerGroup(g)->setText(global);
            optInstControllerGroup(g)->setText(inst);
        }
    }

    cbxBaudRate->clear();
    cbxBaudRate->addItems({QStringLiteral("300"), QStringLiteral("1200"), QStringLiteral("2400"),
                           QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200"),
                           QStringLiteral("28800"), QStringLiteral("38400"), QStringLiteral("57600")});
    cbxParity->clear();
    cbxParity->addItems({QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd")});
    cbxDataLength->clear();
    cbxDataLength->addItems({QStringLiteral("7"), QStringLiteral("8")});
    cbxStopBits->clear();
    cbxStopBits->addItems({QStringLiteral("1"), QStringLiteral("2")});

    txtCommPort->setText(rt::Trim(rt::Str(gCommPort)));
    cbxBaudRate->setCurrentText(rt::Trim(rt::StrSingle(gBaudRate)));
    cbxParity->setCurrentText(rt::Trim(gParity));
    cbxDataLength->setCurrentText(rt::Trim(rt::Str(gDataBits)));
    cbxStopBits->setCurrentText(rt::Trim(rt::Str(gStopBits)));
    txtPollTimeout->setText(rt::Trim(rt::Str(gPollTimeoutMs)));
    txtViewApp->setText(gViewApp);
    txtDefaultFolder->setText(gDefaultFolder);

    if (gControllerGroup >= 0 && gControllerGroup <= 2)
        optGlobalControllerGroup(gControllerGroup)->setChecked(true);
    SetGlobalProtocolOptions();
    // After the group rules: a stored protocol the group does not allow
    // stays selected until the user changes the group.
    optGlobalProtocol(ProtocolIndex(gProtocolCode))->setChecked(true);

    SetInstProtocolOptions();
    FillAddressCombo(cbxAddress, optInstControllerGroup(0)->isChecked(), false);

    lstControls->clear();
    for (const InstrumentRecord& r : gInstruments) {
        auto* item = new QListWidgetItem(InstrumentListEntry(r));
        item->setData(kExactRole, Carry({r.LogDuration, r.LogRate, r.DurationUnits, r.RateUnits}));
        lstControls->addItem(item);
    }

    cbxAddress->setCurrentIndex(-1);
    cbxAddress->setEditText(QString());
    txtName->clear();
    cmdUpdate->setEnabled(false);
    cmdRemove->setEnabled(false);
    Changed = false;
}

void FrmCommSetup::Form_Unload(int& cancel)
{
    if (!Changed)
        return;
    const int answer = mb::MsgBox(QStringLiteral("Are sure you wish to cancel your Communications Setup changes?"),
                                  mb::YesNo | mb::DefaultButton2 | mb::Question,
                                  QStringLiteral("Cancel Changes?"), this);
    if (answer == mb::No)
        cancel = 1;
}

int FrmCommSetup::selectedIndex(const ControlArray<OptionButton>& options) const
{
    for (const auto& [i, o] : options.items())
        if (o->isChecked())
            return i;
    return -1;
}

void FrmCommSetup::SetGlobalProtocolOptions()
{
    const QScopedValueRollback loading(Loading, true);
    ApplyProtocolRules(optGlobalControllerGroup, optGlobalProtocol);
}

void FrmCommSetup::SetInstProtocolOptions()
{
    const QScopedValueRollback loading(Loading, true);
    ApplyProtocolRules(optInstControllerGroup, OptInstProtocol);
}

void FrmCommSetup::markChanged()
{
    if (!Loading)
        Changed = true;
}

void FrmCommSetup::optGlobalControllerGroup_Click(int)
{
    if (Loading)
        return;
    SetGlobalProtocolOptions();
    Changed = true;
}

// A change of the current protocol is an edit like any other: closing
// without OK asks before it is thrown away.
void FrmCommSetup::optGlobalProtocol_Click(int) { markChanged(); }

void FrmCommSetup::optInstControllerGroup_Click(int)
{
    if (Loading)
        return;
    SetInstProtocolOptions();
    FillAddressCombo(cbxAddress, optInstControllerGroup(0)->isChecked(), false);
    Changed = true;
}

void FrmCommSetup::OptInstProtocol_Click(int) { markChanged(); }
void FrmCommSetup::cbxBaudRate_Click() { markChanged(); }
void FrmCommSetup::cbxParity_Click() { markChanged(); }
void FrmCommSetup::cbxDataLength_Click() { markChanged(); }
void FrmCommSetup::cbxStopBits_Click() { markChanged(); }
void FrmCommSetup::txtCommPort_Change() { markChanged(); }
void FrmCommSetup::txtPollTimeout_Change() { markChanged(); }
void FrmCommSetup::txtViewApp_Change() { markChanged(); }
void FrmCommSetup::txtDefaultFolder_Change() { markChanged(); }

void FrmCommSetup::txtName_Change()
{
    if (Loading)
        return;
    Changed = true;
    txtName->setToolTip(txtName->text());
}

void FrmCommSetup::txtCommPort_LostFocus()
{
    // Computed in doubles: a huge number is clamped, not an overflow.
    double v = rt::RoundHalfEven(rt::Val(txtCommPort->text()));
    if (!(v >= 1))
        v = 1;
    if (v > 16)
        v = 16;
    txtCommPort->setText(rt::Trim(rt::Str(v)));
}

void FrmCommSetup::txtPollTimeout_LostFocus()
{
    double v = std::floor(rt::Val(txtPollTimeout->text()));
    if (!(v >= 1))
        v = 1;
    if (v > 32767)
        v = 32767;
    txtPollTimeout->setText(rt::Trim(rt::Str(v)));
}

void FrmCommSetup::txtName_LostFocus()
{
    if (txtName->text().size() > 21)
        txtName->setText(txtName->text().left(21));
}

QListWidgetItem* FrmCommSetup::selectedEntry() const
{
    const QList<QListWidgetItem*> chosen = lstControls->selectedItems();
    return chosen.isEmpty() ? nullptr : chosen.first();
}

void FrmCommSetup::lstControls_Click()
{
    if (Loading)
        return;
    const QScopedValueRollback loading(Loading, true);
    if (QListWidgetItem* item = selectedEntry()) {
        const QString entry = item->text();
        cmdUpdate->setEnabled(true);
        cmdRemove->setEnabled(true);
        OptInstProtocol(ProtocolIndex(Mid(entry, 7, 1)))->setChecked(true);
        const int g = rt::CInt(rt::Val(Mid(entry, 8, 1)));
        optInstControllerGroup(g)->setChecked(true);
        SetInstProtocolOptions();
        FillAddressCombo(cbxAddress, g == 0, false);
        cbxAddress->setEditText(AddressToText(g, AddressToNumber(g, Mid(entry, 1, 3))));
        txtName->setText(rt::Trim(Mid(entry, 10, 21)));
    }
}

void FrmCommSetup::cbxAddress_Click()
{
    if (Loading)
        return;
    const QScopedValueRollback loading(Loading, true);
    const QString address = cbxAddress->currentText();
    bool found = false;
    for (int i = 0; i < lstControls->count() && !found; ++i) {
        lstControls->setCurrentRow(i);
        found = AddressColumns(lstControls->item(i)->text()) == address;
    }
    if (found) {
        const QString entry = lstControls->currentItem()->text();
        OptInstProtocol(ProtocolIndex(Mid(entry, 7, 1)))->setChecked(true);
        txtName->setText(rt::Trim(Mid(entry, 10, 21)));
        cmdRemove->setEnabled(true);
    } else {
        lstControls->setCurrentRow(-1);
        lstControls->clearSelection();
        txtName->clear();
        cmdRemove->setEnabled(false);
    }
    cmdUpdate->setEnabled(true);
}

bool FrmCommSetup::applyUpdate(bool keepLogging)
{
    const QString address = cbxAddress->currentText();
    // What the list (and then the settings file) would hold: a comma or a
    // leading double quote there would split or swallow the fields of the
    // record when the file is read back.
    if (!IsStorableText(rt::Trim(address.left(3))) || !IsStorableText(rt::Trim(txtName->text().left(21)))) {
        mb::MsgBox(QStringLiteral("Instrument names and addresses cannot contain a comma or begin with a "
                                  "double quote.  Please correct the entry."),
                   mb::OKOnly | mb::Exclamation, QStringLiteral("Invalid Character"), this);
        return false;
    }
    // Only the first three characters are kept, and an address outside
    // 1..255 (an empty one reads as 0, the broadcast address) would send
    // the logging and monitor requests to no single instrument.
    const int group = selectedIndex(optInstControllerGroup);
    const QString typed = rt::Trim(address);
    const int number = typed.size() > 3 ? 0 : AddressToNumber(group, typed);
    if (number < 1 || number > 255) {
        mb::MsgBox(QStringLiteral("The address must be 01 to FF in controller group 0 and 001 to 255 in "
                                  "controller groups 1 and 2."),
                   mb::OKOnly | mb::Exclamation, QStringLiteral("Invalid Address"), this);
        return false;
    }
    Changed = true;
    const QScopedValueRollback loading(Loading, true);
    QString entry(kEntryWidth, QLatin1Char(' '));
    Put(entry, 1, 3, address);
    const int p = selectedIndex(OptInstProtocol);
    if (p >= 0)
        Put(entry, 7, 1, ProtocolLetter(p));
    if (group >= 0)
        Put(entry, 8, 1, QString::number(group));
    Put(entry, 10, 21, txtName->text());
    Put(entry, 32, 5, QStringLiteral("00001"));
    Put(entry, 38, 5, QStringLiteral("00001"));
    Put(entry, 44, 1, QStringLiteral("1"));
    Put(entry, 46, 1, QStringLiteral("1"));

    QVariant exact;
    const QListWidgetItem* chosen = selectedEntry();
    for (int i = 0; i < lstControls->count(); ++i) {
        QListWidgetItem* old = lstControls->item(i);
        if (AddressColumns(old->text()) != address)
            continue;
        // The chosen instrument, still at its address, protocol and group:
        // a new name or a change elsewhere in the window is no reason to
        // throw its logging rate and duration away.
        if (keepLogging && old == chosen && Mid(old->text(), 7, 2) == Mid(entry, 7, 2)) {
            entry.replace(31, kEntryWidth - 31, old->text().mid(31));
            exact = old->data(kExactRole);
        }
        delete lstControls->takeItem(i);
        break;
    }
    auto* item = new QListWidgetItem(entry);
    if (exact.isValid())
        item->setData(kExactRole, exact);
    lstControls->addItem(item);

    for (int i = 0; i < lstControls->count(); ++i)
        if (AddressColumns(lstControls->item(i)->text()) == address) {
            lstControls->setCurrentRow(i);
            break;
        }
    cmdRemove->setEnabled(true);
    return true;
}

void FrmCommSetup::cmdUpdate_Click() { applyUpdate(false); }

void FrmCommSetup::cmdRemove_Click()
{
    Changed = true;
    if (QListWidgetItem* item = selectedEntry()) {
        // Removing moves the current row on; that is no choice by the user.
        const QScopedValueRollback loading(Loading, true);
        delete lstControls->takeItem(lstControls->row(item));
        lstControls->setCurrentRow(-1);
        lstControls->clearSelection();
    }
    cmdRemove->setEnabled(false);
}

void FrmCommSetup::cmdDefaultFolder_Click()
{
    fd::Request r;
    r.kind = fd::Folder;
    r.title = QStringLiteral("Default Log File Folder");
    r.filter = QStringLiteral("Folders");
    // A relative folder lies in the program folder, wherever the program was started.
    r.initialDir = QDir(App::path()).filePath(FilePath(txtDefaultFolder->text()));
    const QString folder = fd::ask(r, this);
    // Cancel leaves the field as it was, and so does a folder the settings
    // cannot keep.
    if (folder.isEmpty() || !pathStorable(folder, true))
        return;
    const bool ends = folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'));
    txtDefaultFolder->setText(ends ? folder : folder + QLatin1Char('/'));
}

void FrmCommSetup::cmdViewApp_Click()
{
    fd::Request r;
    r.kind = fd::Open;
    r.title = QStringLiteral("Log File Viewer");
    // Programs on this platform carry no extension of their own.
    r.filter = QStringLiteral("Programs (*)");
    r.initialDir = FilePath(txtViewApp->text());
    r.initialName = NameOfFile(txtViewApp->text());
    const QString program = fd::ask(r, this);
    if (program.isEmpty() || !pathStorable(program, false))
        return;
    txtViewApp->setText(program);
}

bool FrmCommSetup::pathStorable(const QString& path, bool folder)
{
    if (IsStorableLine(path))
        return true;
    if (folder)
        mb::MsgBox(QStringLiteral("The name of the folder holds a line end, which the settings file cannot "
                                  "keep.  Please choose or rename another folder for the log files."),
                   mb::OKOnly | mb::Exclamation, QStringLiteral("Invalid Folder"), this);
    else
        mb::MsgBox(QStringLiteral("The path of the program holds a line end, which the settings file cannot "
                                  "keep.  Please choose another program to view the logs."),
                   mb::OKOnly | mb::Exclamation, QStringLiteral("Invalid Program"), this);
    return false;
}

void FrmCommSetup::cmdCancel_Click() { Unload(); }

void FrmCommSetup::cmdOK_Click()
{
    // A pasted line end reaches the fields without the dialogs.
    if (!pathStorable(txtViewApp->text(), false) || !pathStorable(txtDefaultFolder->text(), true))
        return;
    if (gInstruments.LoggingActive) {
        const int answer = mb::MsgBox(
            QStringLiteral("Warning: logging session(s) are currently in progress - changing the system "
                           "configuration will cause all logging to stop and all logging variables to be "
                           "reset.  Are you sure you wish to change your system configuration?"),
            mb::YesNo | mb::DefaultButton2 | mb::Question, QStringLiteral("Change System Configuration?"),
            this);
        if (answer == mb::No)
            return;
    }
    // An instrument still being edited is applied first.
    if (Changed && cmdUpdate->isEnabled() && cmdRemove->isEnabled() && !applyUpdate(true))
        return;
    commit();
    Changed = false;
    Unload();
}

void FrmCommSetup::commit()
{
    const QScopedValueRollback loading(Loading, true);
    gCommPort = rt::CInt(rt::Val(txtCommPort->text()));
    gBaudRate = rt::CSng(rt::Val(cbxBaudRate->currentText()));
    gParity = cbxParity->currentText();
    gDataBits = rt::CInt(rt::Val(cbxDataLength->currentText()));
    gStopBits = rt::CInt(rt::Val(cbxStopBits->currentText()));
    gPollTimeoutMs = rt::CInt(rt::Val(txtPollTimeout->text()));
    if (const int g = selectedIndex(optGlobalControllerGroup); g >= 0)
        gControllerGroup = g;
    ReadModelFile();
    if (const int p = selectedIndex(optGlobalProtocol); p >= 0)
        gProtocolCode = ProtocolLetter(p);
    gViewApp = txtViewApp->text();
    gDefaultFolder = txtDefaultFolder->text();

    // The table is rebuilt from the list: every logging session ends.
    InstrumentTable table;
    for (int i = 0; i < lstControls->count(); ++i) {
        const QListWidgetItem* item = lstControls->item(i);
        const QString entry = item->text();
        InstrumentRecord r;
        r.Address = rt::Trim(Mid(entry, 1, 3));
        r.Protocol = Mid(entry, 7, 1);
        r.Group = rt::CInt(rt::Val(Mid(entry, 8, 1)));
        r.Name = rt::Trim(Mid(entry, 10, 21));
        LoggingValues v;
        if (!Carried(item, v)) {
            v.duration = rt::CInt(rt::Val(rt::Trim(Mid(entry, 32, 5))));
            v.rate = rt::CSng(rt::Val(rt::Trim(Mid(entry, 38, 5))));
            v.durationUnits = rt::CInt(rt::Val(Mid(entry, 44, 1)));
            v.rateUnits = rt::CInt(rt::Val(Mid(entry, 46, 1)));
        }
        r.LogDuration = v.duration;
        r.LogRate = v.rate;
        r.DurationUnits = v.durationUnits;
        r.RateUnits = v.rateUnits;
        table.Append(r);
    }
    // The records replace the old ones whole, with no logging state of
    // their own; the engine recomputes LoggingActive at its next tick.
    table.LoggingActive = gInstruments.LoggingActive;
    gInstruments = table;

    SaveSystemConfig();
    bool failed = false;
    InitComm(CommSettingsString(), failed);
    if (!gCommOK)
        mb::MsgBox(QStringLiteral("Communications with the instrument(s) will be disabled until valid comm "
                                  "port settings are entered."),
                   mb::OKOnly | mb::Exclamation, QStringLiteral("Communications Disabled"), this);
}
