// Text entry on the configuration screen: edits mark the configuration
// changed, a field typed in and left is clamped to the field table's limits
// and shown in its display format (a typed text that is no number is
// refused, and a field only passed through keeps its value), set points and
// outputs may go to the instrument at once, and the ramp/soak step times
// take hours and minutes within bounds.
#include <QScopedValueRollback>
#include <algorithm>
#include <array>

#include "config/editing.h"
#include "config/fieldrule.h"
#include "config/frmConfig.h"
#include "config/scaling.h"
#include "core/state.h"
#include "platform/beep.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"

using namespace modZarn;

namespace {

// Set points, alarm set points and output percentages of the three groups:
// the user may write them to the instrument as soon as the field is left.
constexpr std::array<int, 22> kImmediateWrite = {
    0x102,  0x107,  0x108,  0x109,  0x10A,  0x154,  0x155,  0x1001, 0x1012, 0x1013, 0x1024,
    0x1025, 0x1026, 0x1027, 0x1028, 0x1029, 0x4701, 0x4702, 0x4703, 0x4704, 0x4705, 0x472A};

bool writtenAtOnce(int reg) { return std::find(kImmediateWrite.begin(), kImmediateWrite.end(), reg) != kImmediateWrite.end(); }

// The integral times decide parts of the control pages of groups 1 and 2.
bool decidesLayout(int reg) { return reg == 0x100A || reg == 0x4709; }

void selectAll(TextBox* t) { t->setSelection(0, int(t->Text().size())); }

// Where the caret stands counted in characters other than digit grouping,
// so that it keeps its place among the digits when grouping comes or goes.
int caretAmongDigits(const QString& text, int caret)
{
    int n = 0;
    for (int i = 0; i < caret && i < text.size(); ++i)
        n += text[i] != u',' ? 1 : 0;
    return n;
}

int caretFromDigits(const QString& text, int n)
{
    int i = 0;
    for (; i < text.size() && n > 0; ++i)
        n -= text[i] != u',' ? 1 : 0;
    return i;
}

// A field left without typing in it keeps its value: only the layout of its
// text may change (a value read or loaded outside its range is named by the
// save and the send, never cut here unseen).
void layOutUntyped(TextBox* t, const QString& format)
{
    const QString laid = rt::FormatText(t->Text(), format);
    if (cfgscale::FieldValue(laid) == cfgscale::FieldValue(t->Text()))
        t->setText(laid);
}

} // namespace

// ------------------------------------------------------------------ Change

void FrmConfig::txtParameter_Change(int reg)
{
    if (Loading)
        return;
    Changed = true;
    if (!decidesLayout(reg))
        return;
    // The layout pass lays this field out again while it is being typed in:
    // the caret stays among the same digits.
    TextBox* t = txtParameter(reg);
    const int digits = caretAmongDigits(t->Text(), t->cursorPosition());
    SetupFormFields();
    t->setCursorPosition(caretFromDigits(t->Text(), digits));
    // The text the layout wrote is still the user's typing: leaving the
    // field takes it through the field's rule.
    t->setModified(true);
}

void FrmConfig::txtDescription_Change(int)
{
    if (!Loading)
        Changed = true;
}

void FrmConfig::txtPattHour_Change(int)
{
    if (!Loading)
        Changed = true;
}

void FrmConfig::txtPattMin_Change(int)
{
    if (!Loading)
        Changed = true;
}

// ---------------------------------------------------------------- GotFocus

// The text on entry is what a typed text that is no number gives way to.
void FrmConfig::entered(TextBox* t)
{
    selectAll(t);
    entered_ = t;
    textOnEntry_ = t->Text();
}

void FrmConfig::txtParameter_GotFocus(int reg) { entered(txtParameter(reg)); }

void FrmConfig::txtPattHour_GotFocus(int index) { entered(txtPattHour(index)); }

void FrmConfig::txtPattMin_GotFocus(int index) { entered(txtPattMin(index)); }

// --------------------------------------------------------------- LostFocus

bool FrmConfig::refuseUntypable(TextBox* t)
{
    if (double typed = 0; rt::TypedNumber(t->Text(), typed))
        return false;
    const QString typed = t->Text();
    // A field typed in without being entered held nothing known.
    t->setText(t == entered_ ? textOnEntry_ : QString());
    t->setModified(false);
    mb::MsgBox(QStringLiteral("The value >") + typed
                   + QStringLiteral(" is not a number.  Type digits, with a sign and a decimal point where needed.  "
                                    "The field keeps its value >")
                   + t->Text() + QStringLiteral("."),
               mb::Exclamation, QStringLiteral("Invalid Number"), this);
    return true;
}

// The step time fields: bounded whole numbers shown with two digits.
void FrmConfig::completeTimeEntry(TextBox* t, double upper)
{
    const QScopedValueRollback loading(Loading, true);
    if (!t->isModified()) {
        layOutUntyped(t, QStringLiteral("00"));
        return;
    }
    if (!t->Text().isEmpty() && !refuseUntypable(t)) {
        if (cfgscale::FieldValue(t->Text()) == 0)
            t->setText(QStringLiteral("0"));
        if (cfgscale::FieldValue(t->Text()) < 0) {
            t->setText(QStringLiteral("0"));
            sound::Beep();
        }
        if (cfgscale::FieldValue(t->Text()) > upper) {
            t->setText(rt::Format(upper, QStringLiteral("0")));
            sound::Beep();
        }
        t->setText(rt::FormatText(t->Text(), QStringLiteral("00")));
    }
    t->setModified(false);
}

// The field's own rule for a typed text: one that is no number is refused,
// one that reads as zero becomes "0", a value outside the field table's
// limits the nearer limit (with a beep), and the text takes the register's
// display format.
bool FrmConfig::completeTextEntry(int reg)
{
    const QScopedValueRollback loading(Loading, true);
    float scale = 1;
    const QString format = DecimalPointFormat(reg, scale);
    TextBox* t = txtParameter(reg);
    const auto& field = gCfgField.at(std::size_t(reg));
    if (t->Text().isEmpty())
        return true;
    if (!t->isModified()) {
        layOutUntyped(t, format);
        return true;
    }
    if (refuseUntypable(t))
        return false;
    if (cfgscale::FieldValue(t->Text()) == 0)
        t->setText(QStringLiteral("0"));
    const float minimum = float(field[2]) / scale;
    if (minimum > float(cfgscale::FieldValue(t->Text()))) {
        t->setText(rt::CStrSingle(minimum));
        sound::Beep();
    }
    const float maximum = float(field[3]) / scale;
    if (maximum < float(cfgscale::FieldValue(t->Text()))) {
        t->setText(rt::CStrSingle(maximum));
        sound::Beep();
    }
    t->setText(rt::FormatText(t->Text(), format));
    t->setModified(false);
    return true;
}

void FrmConfig::CompleteEntry()
{
    QWidget* held = focusWidget();
    if (!held)
        return;
    const auto find = [held](const ControlArray<TextBox>& array) {
        for (const auto& [index, box] : array.items())
            if (box == held)
                return index;
        return -1;
    };
    ctl::guard(this, QStringLiteral("frmConfig.CompleteEntry"), [&] {
        if (const int reg = find(txtParameter); reg >= 0)
            completeTextEntry(reg);
        else if (const int i = find(txtPattHour); i >= 0)
            completeTimeEntry(txtPattHour(i), cfgrule::kStepTimeMaxHours);
        else if (const int j = find(txtPattMin); j >= 0)
            completeTimeEntry(txtPattMin(j), cfgrule::kStepTimeMaxMinutes);
    });
}

void FrmConfig::txtParameter_LostFocus(int reg)
{
    ctl::guard(this, QStringLiteral("frmConfig.txtParameter_LostFocus"), [&] {
        const bool number = completeTextEntry(reg);
        TextBox* t = txtParameter(reg);
        // An empty field holds no value to send: offering it would write an
        // unchecked 0 to a set point or output; nor is a text that was no
        // number, nothing new stands in the field, nor a value as read that
        // its field cannot hold.
        if (!writtenAtOnce(reg) || t->Text().isEmpty() || !number
            || !cfgrule::Holds(cfgrule::RangeOf(*this, cfgrule::ScreenScaling(*this), reg), cfgrule::ScreenValue(*this, reg)))
            return;
        if (mb::MsgBox(QStringLiteral("Do you want to send   ") + lblParamLabel(reg)->text()
                           + QStringLiteral("   to the controller right now?"),
                       mb::YesNo | mb::DefaultButton2, QStringLiteral("Immediate Write of Parameter"), this)
            != mb::Yes)
            return;
        float scale = 1;
        DecimalPointFormat(reg, scale);
        cfgedit::writeNow(*this, reg, float(cfgscale::FieldValue(t->Text())) * scale);
        lblProgress->setText(QString());
    });
}

void FrmConfig::txtPattHour_LostFocus(int index)
{
    ctl::guard(this, QStringLiteral("frmConfig.txtPattHour_LostFocus"),
               [&] { completeTimeEntry(txtPattHour(index), cfgrule::kStepTimeMaxHours); });
}

void FrmConfig::txtPattMin_LostFocus(int index)
{
    ctl::guard(this, QStringLiteral("frmConfig.txtPattMin_LostFocus"),
               [&] { completeTimeEntry(txtPattMin(index), cfgrule::kStepTimeMaxMinutes); });
}
