#include "monitor/frmSetpoints.h"

#include <QEvent>
#include <QScopedValueRollback>

#include "core/dispatch.h"
#include "core/modZarn.h"
#include "monitor/monitor_rows.h"
#include "monitor/logging_format.h"
#include "platform/builders.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/twips.h"
#include "shell/frmMain.h"

using namespace modZarn;

FrmSetpoints& frmSetpoints() { return Forms::get<FrmSetpoints>(); }

// The alarm-3 fields write the registers the configuration screen and the
// instrument name by the same words: 1028H is Alarm 3 High, 1029H Alarm 3 Low.
const int FrmSetpoints::kRegister[FrmSetpoints::kFields] = {258, 263, 264, 265, 266, 4136, 4137};

namespace {

constexpr int kModelRegister = 1794; // 702H
constexpr int kBasicFields = 5;      // SV and the two alarms' low and high

// The shared error line of the main form: the date and time before the text,
// empty after a good operation.
void SetErrorLine(const QString& errText)
{
    frmMain().lblErrorMessageText->setText(logfmt::ErrorLineText(errText));
}

const QString kCancelTitle = QStringLiteral("Cancel Changes?");
const QString kCancelText = QStringLiteral("Are sure you wish to cancel your current Setpoint changes?");

monitor::RowTarget TargetOf(const InstrumentRecord& r)
{
    return {r.Protocol, r.Group, AddressToNumber(r.Group, r.Address)};
}

// Whether `typed` can go out as itself from field k of the instrument shown.
monitor::SetpointFit FitField(const FrmSetpoints& f, int k, double typed)
{
    return monitor::FitSetpoint(typed, f.Scale[std::size_t(k)], TargetOf(gInstruments[f.SelIndex]),
                                FrmSetpoints::kRegister[k]);
}

} // namespace

FrmSetpoints::FrmSetpoints()
{
    setObjectName(QStringLiteral("frmSetpoints"));
    setWindowTitle(QStringLiteral("Edit Setpoint Values"));
    setFixedSize(tw::px(9300), tw::px(5400));
    setEnterMovesFocus(true);

    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    lblControls = ctl::label(this, QStringLiteral("Address           Name"), 180, 150, 3750, 330);
    lblControls->setFont(fixed);
    lstControls = ctl::listBox(this, QStringLiteral("lstControls"), 180, 480, 3750, 4050);
    lstControls->setFont(fixed);
    lblInstruction = ctl::label(this,
                                QStringLiteral("Click a control in this list box to view/edit Setpoint Values.        "
                                               "                <---"),
                                180, 4650, 8640, 600);
    lblInstruction->setWordWrap(true);

    lblAddress = ctl::label(this, QStringLiteral("Address:"), 4200, 480, 900, 330);
    lblAddressText = ctl::label(this, QString(), 5160, 480, 3960, 330);
    lblName = ctl::label(this, QStringLiteral("Name:"), 4200, 840, 900, 330);
    lblNameText = ctl::label(this, QString(), 5160, 840, 3960, 330);

    // On screen the alarm-3 low field stands above the high one.
    const char* const captions[kFields] = {"SV:",           "Alarm1 Lo SV:", "Alarm1 Hi SV:", "Alarm2 Lo SV:",
                                           "Alarm2 Hi SV:", "Alarm3 Hi SV:", "Alarm3 Lo SV:"};
    const int screenOrder[kFields] = {0, 1, 2, 3, 4, 6, 5};
    QLabel* captionLabels[kFields] = {};
    txtSV.setName(QStringLiteral("txtSV"));
    for (int row = 0; row < kFields; ++row) {
        const int k = screenOrder[row];
        const int top = 1290 + 420 * row;
        captionLabels[k] = ctl::label(this, QString::fromLatin1(captions[k]), 4200, top, 1650, 330);
        txtSV.build(this, {{k, ctl::Kind::TextBox, 5910, top - 15, 1500, 360, QString()}});
        lblUnits.add(k, ctl::label(this, QString(), 7500, top, 900, 330));
    }
    ControlArray<TextBox>::Events events;
    events.Change = [this](int k) { txtSV_Change(k); };
    events.GotFocus = [this](int k) { txtSV_GotFocus(k); };
    events.LostFocus = [this](int k) { txtSV_LostFocus(k); };
    txtSV.wire(events);
    lblSV = captionLabels[0];
    lblAlm1LoSV = captionLabels[1];
    lblAlm1HiSV = captionLabels[2];
    lblAlm2LoSV = captionLabels[3];
    lblAlm2HiSV = captionLabels[4];
    lblAlm3HiSV = captionLabels[5];
    lblAlm3LoSV = captionLabels[6];

    cmdUpdate = ctl::button(this, QStringLiteral("cmdUpdate"), QStringLiteral("&Update"), 4200, 4290, 1500, 450);
    cmdClose = ctl::button(this, QStringLiteral("cmdClose"), QStringLiteral("C&lose"), 5910, 4290, 1500, 450);

    lstControls->Click = [this] { lstControls_Click(); };
    ctl::on(cmdUpdate, &QPushButton::clicked, "Click", [this] { cmdUpdate_Click(); });
    ctl::on(cmdClose, &QPushButton::clicked, "Click", [this] { cmdClose_Click(); });
    lblName->installEventFilter(this);
}

bool FrmSetpoints::eventFilter(QObject* obj, QEvent* e)
{
    if (obj == lblName && e->type() == QEvent::MouseButtonRelease)
        ctl::guard(this, QStringLiteral("frmSetpoints.lblName_Click"), [this] { lblName_Click(); });
    return Form::eventFilter(obj, e);
}

void FrmSetpoints::ClearFields()
{
    lblAddressText->clear();
    lblNameText->clear();
    for (int k = 0; k < kFields; ++k) {
        txtSV(k)->clear();
        txtSV(k)->setEnabled(false);
        lblUnits(k)->clear();
        Scale[std::size_t(k)] = 0;
        ValueFormat[std::size_t(k)].clear();
    }
}

void FrmSetpoints::ShowAlarm3(bool on)
{
    for (QWidget* w : {static_cast<QWidget*>(txtSV(5)), static_cast<QWidget*>(txtSV(6)),
                       static_cast<QWidget*>(lblUnits(5)), static_cast<QWidget*>(lblUnits(6)),
                       static_cast<QWidget*>(lblAlm3HiSV), static_cast<QWidget*>(lblAlm3LoSV)})
        w->setVisible(on);
}

bool FrmSetpoints::AskCancelChanges()
{
    return mb::MsgBox(kCancelText, mb::YesNo | mb::Question | mb::DefaultButton2, kCancelTitle, this) == mb::Yes;
}

void FrmSetpoints::Form_Load()
{
    const QScopedValueRollback loading(Loading, true);
    ClearFields();
    ShowAlarm3(false);
    cmdUpdate->setEnabled(false);
    if (!gCommOK) {
        // Nothing can be read or written: only Close is left.
        lstControls->setEnabled(false);
        return;
    }
    lstControls->Clear();
    for (const InstrumentRecord& r : gInstruments)
        lstControls->AddItem(r.Address + QStringLiteral("     ") + r.Name.left(16));
    Changed = false;
}

void FrmSetpoints::Form_Unload(int& cancel)
{
    if (Changed && !AskCancelChanges())
        cancel = 1;
}

void FrmSetpoints::lstControls_Click()
{
    if (Loading)
        return;
    if (Changed) {
        if (!AskCancelChanges()) {
            // The edits stay, and so does the instrument they belong to: the
            // list goes back to it, so that it names what Update writes.
            const QScopedValueRollback loading(Loading, true);
            lstControls->setListIndex(SelIndex);
            return;
        }
        Changed = false;
    }
    {
        const Screen::Busy busy;
        const QScopedValueRollback loading(Loading, true);
        ClearFields();

        QString errText;
        int errCode = 0;
        SelIndex = lstControls->ListIndex();
        if (SelIndex >= 0) {
            const InstrumentRecord& r = gInstruments[SelIndex];
            lblAddressText->setText(r.Address);
            lblNameText->setText(r.Name);
            const int address = AddressToNumber(r.Group, r.Address);

            int fields = kBasicFields;
            bool modelKnown = true;
            if (r.Group == 1) {
                // Only the three-alarm model has the alarm-3 set points.
                float code = 0;
                ReadInstrumentRegister(r.Group, r.Protocol, errText, errCode, address, kModelRegister, code);
                if (errCode != 0) {
                    cmdUpdate->setEnabled(false);
                    modelKnown = false;
                } else {
                    QString modelID, typeCaption, modelName;
                    int modelIndex = 0;
                    ModelFromRegisterValue(r.Group, code, modelID, typeCaption, modelIndex, modelName);
                    if (modelID == QLatin1String("XG"))
                        fields = kFields;
                }
            }
            ShowAlarm3(fields == kFields);

            for (int k = 0; modelKnown && k < fields; ++k) {
                QString valueText, unitText, formatText;
                float value = 0, divisor = 0;
                int alarm1 = 0, alarm2 = 0;
                ReadProcessValue(r.Group, r.Protocol, errText, errCode, address, kRegister[k], valueText, unitText,
                                 formatText, value, divisor, alarm1, alarm2);
                if (errCode == 0) {
                    txtSV(k)->setText(valueText);
                    lblUnits(k)->setText(unitText);
                    txtSV(k)->setEnabled(true);
                    ValueFormat[std::size_t(k)] = formatText;
                    Scale[std::size_t(k)] = divisor;
                    if (k == fields - 1)
                        cmdUpdate->setEnabled(true);
                } else if (errCode == 2) {
                    // The instrument has no such value: what was read can
                    // still be written.
                    cmdUpdate->setEnabled(true);
                    errText.clear();
                    break;
                } else {
                    // A partly read instrument must not be written.
                    cmdUpdate->setEnabled(false);
                    break;
                }
            }
        }
        SetErrorLine(errText);
    }
}

void FrmSetpoints::txtSV_Change(int)
{
    if (!Loading)
        Changed = true;
}

void FrmSetpoints::txtSV_GotFocus(int Index) { txtSV(Index)->selectAll(); }

void FrmSetpoints::txtSV_LostFocus(int Index)
{
    if (Loading || SelIndex < 0)
        return;
    const QScopedValueRollback loading(Loading, true);
    // A value that can be sent is shown as the instrument shows it; any other
    // text stays as typed, for Update to refuse, rather than become a value
    // the user never typed.
    double typed = 0;
    if (rt::TypedNumber(txtSV(Index)->text(), typed)
        && FitField(*this, Index, typed).kind == monitor::SetpointFit::Fits)
        txtSV(Index)->setText(rt::Format(typed, ValueFormat[std::size_t(Index)]));
}

QString FrmSetpoints::FieldName(int k) const
{
    const QLabel* const captions[kFields] = {lblSV,       lblAlm1LoSV, lblAlm1HiSV, lblAlm2LoSV,
                                             lblAlm2HiSV, lblAlm3HiSV, lblAlm3LoSV};
    QString name = captions[k]->text();
    if (name.endsWith(u':'))
        name.chop(1);
    return name;
}

bool FrmSetpoints::FieldToSend(int k, float& raw)
{
    const QString text = txtSV(k)->text();
    const QString what = QStringLiteral("The ") + FieldName(k) + QStringLiteral(" value");
    QString why;
    double typed = 0;
    if (rt::Trim(text).isEmpty()) {
        why = what + QStringLiteral(" is empty.  Enter the value to write.");
    } else if (!rt::TypedNumber(text, typed)) {
        why = what + QStringLiteral(" \"") + text
            + QStringLiteral("\" is not a number.  Enter the value as digits with an optional decimal point.");
    } else {
        const monitor::SetpointFit fit = FitField(*this, k, typed);
        if (fit.kind == monitor::SetpointFit::Fits) {
            raw = fit.value;
            return true;
        }
        why = what + u' ' + rt::Trim(text) + QStringLiteral(" cannot be sent because ") + monitor::SetpointReason(fit)
            + u'.';
    }
    mb::MsgBox(why + QStringLiteral("  No value was written."), mb::Exclamation,
               QStringLiteral("Invalid Setpoint Value"), this);
    txtSV(k)->setFocus();
    return false;
}

void FrmSetpoints::cmdUpdate_Click()
{
    bool refused = false;
    ctl::guard(this, QStringLiteral("frmSetpoints.cmdUpdate_Click"), [this, &refused] {
        QString errText;
        int errCode = 0;
        int failed = -1;
        if (SelIndex >= 0) {
            // Every field is checked before anything is written: a refused
            // value leaves the instrument as it was and the edits in place.
            std::array<float, kFields> raw{};
            for (int k = 0; k < kFields && !refused; ++k)
                refused = txtSV(k)->isEnabled() && !FieldToSend(k, raw[std::size_t(k)]);
            if (refused)
                return;
            const Screen::Busy busy;
            const monitor::RowTarget t = TargetOf(gInstruments[SelIndex]);
            for (int k = 0; k < kFields && failed < 0; ++k) {
                if (!txtSV(k)->isEnabled())
                    continue;
                WriteInstrumentRegister(t.group, t.protocol, errText, errCode, t.address, kRegister[k],
                                        raw[std::size_t(k)]);
                if (errCode != 0)
                    failed = k;
            }
        }
        // The hourglass is gone before a box opens.
        SetErrorLine(errText);
        if (failed >= 0)
            TellFailedUpdate(failed, errText);
    });
    // The edits count as written however the writes end.
    if (!refused)
        Changed = false;
}

void FrmSetpoints::TellFailedUpdate(int failed, const QString& errText)
{
    // Told here as well: the main menu's error line may be hidden or under
    // this dialog.
    QStringList written, notWritten;
    for (int k = 0; k < kFields; ++k)
        if (txtSV(k)->isEnabled())
            (k < failed ? written : notWritten) << FieldName(k);
    QString text = QStringLiteral("The ") + FieldName(failed)
        + QStringLiteral(" value was not written due to communications Error >") + errText + u'.';
    text += written.isEmpty() ? QStringLiteral("\rNo value was written.")
                              : QStringLiteral("\rWritten: ") + written.join(QStringLiteral(", ")) + u'.';
    text += QStringLiteral("\rNot written: ") + notWritten.join(QStringLiteral(", ")) + u'.';
    mb::MsgBox(text, mb::Exclamation, QStringLiteral("Update Setpoint Values Communications Error"), this);
}

void FrmSetpoints::cmdClose_Click() { Unload(); }

void FrmSetpoints::lblName_Click() { lblNameText->setToolTip(lblNameText->text()); }
