#include "monitor/frmMonitor.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QScopedValueRollback>

#include "config/frmConfig.h"
#include "core/dispatch.h"
#include "core/helpers.h"
#include "core/state.h"
#include "monitor/logging_format.h"
#include "monitor/mdiMonitor.h"
#include "platform/builders.h"
#include "platform/clock.h"
#include "platform/fitting.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "platform/twips.h"
#include "shell/frmMain.h"

using namespace modZarn;
using monitor::kRows;
using monitor::ParseLabel;
using monitor::RowTarget;

namespace {

// Colours as &HBBGGRR.
constexpr quint32 kGrey = 0xC0C0C0;
constexpr quint32 kLightYellow = 0xC0FFFF;
constexpr quint32 kLightOrange = 0x80C0FF;
constexpr quint32 kButtonGreen = 0x00C000;
constexpr quint32 kCyan = 0xFFFF00;

constexpr int kSetpointRegister = 258;
constexpr int kRunRegister = 786;
constexpr int kHoldRegister = 789;
constexpr double kRowWait = 0.8;
constexpr double kAllWait = 0.7;

constexpr int kConfirm = mb::YesNo | mb::Question | mb::DefaultButton2;

const QString kHeading = QStringLiteral(
    "Num    Err        Address           Name                                Temperature   Setpoint Value  AL1    AL2");

// The heading places its words over their columns with runs of blanks, so
// it lines up only in a font whose blanks and letters keep the proportions
// it was written for. The font is narrowed until the last word, "AL2",
// stands over its column at 6720 twips and the whole line fits its label.
void FitHeading(QLabel* heading)
{
    const QString text = heading->text();
    const QString lastWord = QStringLiteral("AL2");
    const int room = tw::px(6720) - heading->x();
    QFont f = heading->font();
    for (int stretch = 100; stretch > 50; --stretch) {
        f.setStretch(stretch);
        const QFontMetrics fm(f);
        if (fm.horizontalAdvance(text.left(text.lastIndexOf(lastWord))) <= room &&
            fm.horizontalAdvance(text) <= heading->width())
            break;
    }
    heading->setFont(f);
}

// The rows' lists use a fixed-pitch font, so that the columns of the labels
// line up, at the largest size (up to 8 points) at which the longest label,
// three address columns, protocol, group, blanks and a 21-character name,
// is read whole in the closed list.
QFont RowListFont(const QComboBox* list)
{
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    const QString longest(7 + 21, QLatin1Char('W'));
    const int room = ctl::listTextRoom(list);
    for (double size = 8; size > 5; size -= 0.5) {
        fixed.setPointSizeF(size);
        if (QFontMetrics(fixed).horizontalAdvance(longest) <= room)
            break;
    }
    return fixed;
}

bool IsYellow(const QWidget* w) { return ctl::backColor(w) == color::Yellow; }

// The window shows a colour just set before the next exchange blocks it.
void Paint(QWidget* w) { w->repaint(); }

// Moves the focus on as a Tab keystroke in `from` would.
void TabFrom(QWidget* from)
{
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(from, &tab);
}

void SetErrorLine(const QString& errText)
{
    QLabel* line = frmMain().lblErrorMessageText;
    line->setText(logfmt::ErrorLineText(errText));
    Paint(line);
}

} // namespace

// ---- the ramp/soak commands ----

struct FrmMonitor::RampCommand {
    int firstRegister;
    float firstValue;
    int secondRegister;
    float secondValue;
    QString title;
    QString firstFailed;
    QString secondFailed;
    QString confirmTitle;
    QString confirmText;
    ControlArray<CommandButton> FrmMonitor::*button;
};

const FrmMonitor::RampCommand& FrmMonitor::rampCommand(Ramp kind)
{
    // Hold puts the programme into hold before it makes sure it runs; On and
    // Off set the run state first and then take it out of hold.
    static const RampCommand on{
        kRunRegister, 1, kHoldRegister, 0, QStringLiteral("Program Set On Communications Error"),
        QStringLiteral("The command to turn on the ramp/soak program did not occur due to communications Error >"),
        QStringLiteral("The command to turn on the ramp/soak program and take it out of hold did not occur due to "
                       "communications Error >"),
        QStringLiteral("Confirm Start All Ramp/Soak Programs"),
        QStringLiteral("Are you sure you wish to start all ramp/soak programs ?"), &FrmMonitor::cmdRampOn};
    static const RampCommand hold{
        kHoldRegister, 1, kRunRegister, 1, QStringLiteral("Program Hold Communications Error"),
        QStringLiteral("The command to turn the program hold on failed due to a write communications Error >"),
        QStringLiteral("The command to turn the program hold on failed during program set on command due to a "
                       "write communications Error >"),
        QStringLiteral("Confirm Hold All Ramp/Soak Programs"),
        QStringLiteral("Are you sure you wish to hold all ramp/soak programs ?"), &FrmMonitor::cmdRampHold};
    static const RampCommand off{
        kRunRegister, 0, kHoldRegister, 0, QStringLiteral("Program Set Off Communications Error"),
        QStringLiteral("The command to turn off the ramp/soak program did not occur due to communications Error >"),
        QStringLiteral("The command to turn off the ramp/soak program and take it out of hold did not occur due "
                       "to communications Error >"),
        QStringLiteral("Confirm Stop All Ramp/Soak Programs"),
        QStringLiteral("Are you sure you wish to stop all ramp/soak programs ?"), &FrmMonitor::cmdRampOff};
    switch (kind) {
    case Ramp::On: return on;
    case Ramp::Hold: return hold;
    default: return off;
    }
}

// ---- the window ----

FrmMonitor::FrmMonitor() : tmrPoll(50, [this] { tmrPoll_Timer(); }, this)
{
    setObjectName(QStringLiteral("frmMonitor"));
    setWindowTitle(QStringLiteral("System Monitor"));
    tmrPoll.setRoutine(QStringLiteral("frmMonitor.tmrPoll_Timer"));
    // The twips layout is made for a small dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    lblChangeAll = ctl::label(this, QStringLiteral("Change All Setpoint:"), 3600, 150, 1560, 255);
    txtChangeAll = ctl::textBox(this, QStringLiteral("txtChangeAll"), 5160, 120, 975, 315);
    // The top row's buttons, each in its colour. The window sits inside its
    // parent: the boxes name the child's routines.
    const struct {
        CommandButton* FrmMonitor::*member;
        const char* name;
        const char* caption;
        quint32 colour;
        int left, top, width, height;
        void (FrmMonitor::*click)();
    } buttons[] = {
        {&FrmMonitor::cmdChangeAll, "cmdChangeAll", "Change All", kLightOrange, 6240, 120, 900, 315,
         &FrmMonitor::cmdChangeAll_Click},
        {&FrmMonitor::cmdStartAll, "cmdStartAll", "Start All Ramps", kButtonGreen, 7200, 0, 1275, 240,
         &FrmMonitor::cmdStartAll_Click},
        {&FrmMonitor::cmdStopAll, "cmdStopAll", "Stop All Ramps", color::Red, 7200, 240, 1275, 240,
         &FrmMonitor::cmdStopAll_Click},
        {&FrmMonitor::cmdHoldAll, "cmdHoldAll", "Hold All", color::Yellow, 8520, 0, 495, 495,
         &FrmMonitor::cmdHoldAll_Click},
    };
    for (const auto& b : buttons) {
        CommandButton* w = ctl::button(this, QLatin1String(b.name), QLatin1String(b.caption), b.left, b.top, b.width,
                                       b.height);
        ctl::setBackColor(w, b.colour);
        ctl::on(w, &QPushButton::clicked, QStringLiteral("frmMonitor.") + QLatin1String(b.name) + QStringLiteral("_Click"),
                [this, click = b.click] { (this->*click)(); });
        this->*b.member = w;
    }
    // These captions fit their places only in a smaller font.
    QFont tiny = small;
    tiny.setPointSize(7);
    cmdStartAll->setFont(tiny);
    cmdStopAll->setFont(tiny);
    lblChangeAll->setFont(tiny);
    lblHeading = ctl::label(this, kHeading, 120, 480, 7320, 255);
    FitHeading(lblHeading);
    lblRampSoak = ctl::label(this, QStringLiteral("Ramp/Soak"), 7440, 480, 1200, 255);

    // The eleven row arrays come from one layout table.
    auto build = [this](auto& array, const char* name) {
        array.setName(QString::fromLatin1(name));
        array.build(this, monitor::ColumnTable(monitor::Column(name)));
    };
    build(lblNum, "lblNum");
    build(shpPoll, "shpPoll");
    build(cbxControl, "cbxControl");
    build(lblTempText, "lblTempText");
    build(txtSVText, "txtSVText");
    build(lblAlm1StatText, "lblAlm1StatText");
    build(lblAlm2StatText, "lblAlm2StatText");
    build(cmdRampCfg, "cmdRampCfg");
    build(cmdRampOn, "cmdRampOn");
    build(cmdRampHold, "cmdRampHold");
    build(cmdRampOff, "cmdRampOff");
    build(shpRampSoak, "shpRampSoak");

    const QFont fixed = RowListFont(cbxControl(0));
    for (int r = 0; r < kRows; ++r) {
        cbxControl(r)->setFont(fixed);
        for (Shape* s : {shpPoll(r), shpRampSoak(r)}) {
            s->setKind(Shape::Circle);
            s->setFillColor(kGrey);
        }
        ctl::setBackColor(lblTempText(r), kLightYellow);
        ctl::setBackColor(txtSVText(r), color::White);
        ctl::setBackColor(cmdRampCfg(r), kCyan);
        ctl::setBackColor(cmdRampOn(r), kButtonGreen);
        ctl::setBackColor(cmdRampHold(r), color::Yellow);
        ctl::setBackColor(cmdRampOff(r), color::Red);
        setRampVisible(r, false);
    }
    ctl::setBackColor(txtChangeAll, color::White);

    cbxControl.wire(ctl::clickEvents([this](int i) { cbxControl_Click(i); }));
    cmdRampCfg.wire(ctl::clickEvents([this](int i) { cmdRampCfg_Click(i); }));
    cmdRampOn.wire(ctl::clickEvents([this](int i) { cmdRampOn_Click(i); }));
    cmdRampHold.wire(ctl::clickEvents([this](int i) { cmdRampHold_Click(i); }));
    cmdRampOff.wire(ctl::clickEvents([this](int i) { cmdRampOff_Click(i); }));
    ControlArray<TextBox>::Events sv;
    sv.Change = [this](int i) { txtSVText_Change(i); };
    sv.GotFocus = [this](int i) { txtSVText_GotFocus(i); };
    sv.LostFocus = [this](int i) { txtSVText_LostFocus(i); };
    sv.KeyPress = [this](int i, int& k) { txtSVText_KeyPress(i, k); };
    txtSVText.wire(sv);

    txtChangeAll->Change = [this] { txtChangeAll_Change(); };
    txtChangeAll->GotFocus = [this] { txtChangeAll_GotFocus(); };
}

void FrmMonitor::Form_Load()
{
    // Held at its full height inside the parent, which scrolls over it.
    setMinimumSize(tw::px(9045), tw::px(15300));
    resize(minimumSize());
}

void FrmMonitor::Form_Unload(int& cancel)
{
    cancel = 1;
    mdiMonitor().Hide();
}

int FrmMonitor::box(const QString& text, int style, const QString& title)
{
    return mb::MsgBox(text, style, title, &mdiMonitor());
}

void FrmMonitor::noInstrument()
{
    box(QStringLiteral("There is no instrument defined for this row.  Select an instrument first."), mb::Exclamation,
        QStringLiteral("No Instrument Defined"));
}

void FrmMonitor::setRampVisible(int r, bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{cmdRampCfg(r), cmdRampOn(r), cmdRampHold(r), cmdRampOff(r),
                                                      shpRampSoak(r)})
        w->setVisible(on);
}

// ---- rows ----

void FrmMonitor::ClearRows()
{
    for (int r = 0; r < kRows; ++r) {
        ComboBox* list = cbxControl(r);
        list->Clear();
        for (const InstrumentRecord& rec : gInstruments)
            list->AddItem(InstrumentLabel(rec));
        list->AddItem(monitor::kEmptyLabel);
    }
    txtChangeAll->setText(QString());
    for (int r = 0; r < kRows; ++r) {
        cbxControl(r)->setListIndex(-1);
        lblTempText(r)->clear();
        txtSVText(r)->setText(QString());
        ctl::setBackColor(txtSVText(r), color::White);
        lblAlm1StatText(r)->clear();
        lblAlm2StatText(r)->clear();
        setRampVisible(r, false);
    }
}

void FrmMonitor::RestoreRows(const QStringList& stored)
{
    for (int r = 0; r < kRows; ++r) {
        ComboBox* list = cbxControl(r);
        const int k = monitor::InstrumentOfLabel(stored.value(r));
        list->setListIndex(k >= 0 ? k : list->ListCount() - 1); // the empty row is listed last
        list->setToolTip(list->Text());
    }
}

QStringList FrmMonitor::RowTexts() const
{
    QStringList rows;
    for (int r = 0; r < kRows; ++r)
        rows << cbxControl(r)->Text();
    return rows;
}

void FrmMonitor::cbxControl_Click(int index)
{
    if (gMonitorBusy)
        return;
    const QScopedValueRollback busy(gMonitorBusy, true);
    lblTempText(index)->clear();
    txtSVText(index)->setText(QString());
    RowScale[index] = 0;
    Alm1Mode[index] = 0;
    Alm2Mode[index] = 0;
    for (QLabel* l : {lblAlm1StatText(index), lblAlm2StatText(index)}) {
        l->clear();
        ctl::setBackColor(l, color::ButtonFace);
    }
    shpPoll(index)->setFillColor(color::ButtonFace);
    setRampVisible(index, false);
    shpRampSoak(index)->setFillColor(color::ButtonFace);
    cbxControl(index)->setToolTip(cbxControl(index)->Text());
    gLastPVPollTime = kPollNow;
    gLastSPPollTime = kPollNow;
}

// ---- the poll ----

void FrmMonitor::tmrPoll_Timer()
{
    // A tick that comes while a pass waits in its per-row yield is skipped:
    // the running pass already serves whatever is due.
    if (passRunning_)
        return;
    const bool pvDue = gPVPollSeconds > 0 && float(ElapsedSeconds(gLastPVPollTime)) >= gPVPollSeconds;
    if (pvDue)
        gLastPVPollTime = Clock::timer();
    const bool spDue = gSPPollSeconds > 0 && float(ElapsedSeconds(gLastSPPollTime)) >= gSPPollSeconds;
    if (spDue)
        gLastSPPollTime = Clock::timer();
    if (!pvDue && !spDue)
        return;

    const QScopedValueRollback running(passRunning_, true);
    int errCode = 0;
    QString errText;
    for (int r = 0; r < kRows; ++r) {
        pollRow(r, pvDue, spDue, errCode, errText);
        // The window stays usable during a pass: commands, row changes and
        // window switches run here.
        QCoreApplication::processEvents();
        if (gMonitorStop)
            break;
    }
}

void FrmMonitor::pollRow(int r, bool pvDue, bool spDue, int& errCode, QString& errText)
{
    const RowTarget t = ParseLabel(cbxControl(r)->Text());
    bool read = false;
    if (t.address != 0) {
        shpPoll(r)->setFillColor(color::Green);
        Paint(shpPoll(r));
        QString valueText, unitText, formatText;
        float value = 0, divisor = 0;
        int alarm1 = 0, alarm2 = 0;
        [&] {
            if (pvDue) {
                read = true;
                ReadProcessValue(t.group, t.protocol, errText, errCode, t.address, 2, valueText, unitText, formatText,
                                 value, divisor, alarm1, alarm2);
                if (errCode != 0)
                    return;
                lblTempText(r)->setText(valueText + QLatin1Char(' ') + unitText);
                showAlarm(lblAlm1StatText(r), Alm1Mode[r], alarm1);
                showAlarm(lblAlm2StatText(r), Alm2Mode[r], alarm2);
            }
            if (!spDue || IsYellow(txtSVText(r)))
                return;
            read = true;
            ReadProcessValue(t.group, t.protocol, errText, errCode, t.address, 257, valueText, unitText, formatText,
                             value, divisor, alarm1, alarm2);
            if (errCode != 0 && errCode != 2)
                return;
            if (errCode == 0) {
                // Shown by code: no edit of the user's.
                const QScopedValueRollback busy(gMonitorBusy, true);
                const QString shown = valueText + QLatin1Char(' ') + unitText;
                txtSVText(r)->setText(shown);
                ctl::setBackColor(txtSVText(r), color::White);
                RowScale[r] = divisor;
                if (r == 0 && !IsYellow(txtChangeAll)) {
                    txtChangeAll->setText(shown);
                    ctl::setBackColor(txtChangeAll, color::White);
                }
            }
            readAlarmModes(r, t, errCode, errText);
            if (errCode != 0)
                return;
            readRampState(r, t, errCode, errText);
        }();
    }

    // A row that read nothing (empty, or only its set point due while the
    // user edits it) leaves the error line alone and its lamp at rest.
    if (!read) {
        shpPoll(r)->setFillColor(color::ButtonFace);
        return;
    }
    if (errCode == 2)
        errText.clear();
    shpPoll(r)->setFillColor(errCode == 0 || errCode == 2 ? color::ButtonFace : color::Red);
    SetErrorLine(errText);
}

void FrmMonitor::showAlarm(QLabel* label, int mode, int flag)
{
    const bool set = flag != 0;
    if (mode == 0) {
        label->clear();
        ctl::setBackColor(label, color::ButtonFace);
        return;
    }
    const bool on = mode == 1 ? !set : set;
    label->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    ctl::setBackColor(label, on ? color::Red : color::ButtonFace);
}

void FrmMonitor::readAlarmModes(int r, const RowTarget& t, int& errCode, QString& errText)
{
    if (t.group == 1 || t.group == 2) {
        Alm1Mode[r] = Alm2Mode[r] = 2;
        return;
    }
    if (t.group != 0)
        return;
    const std::pair<int, int*> modes[] = {{799, &Alm1Mode[r]}, {801, &Alm2Mode[r]}};
    for (const auto& [reg, mode] : modes) {
        float value = 0;
        ReadInstrumentRegister(t.group, t.protocol, errText, errCode, t.address, reg, value);
        if (errCode == 2) {
            errCode = 0;
            return;
        }
        if (errCode != 0)
            return;
        *mode = BitState(1, float(rt::RoundHalfEven(value))) ? 1 : 2;
    }
}

void FrmMonitor::readRampState(int r, const RowTarget& t, int& errCode, QString& errText)
{
    float running = 0, held = 0;
    ReadInstrumentRegister(t.group, t.protocol, errText, errCode, t.address, kRunRegister, running);
    if (errCode == 0 && running != 0) {
        // A failed hold read counts as not held; its text still reaches the
        // error line, but the row's lamp stays at rest.
        int heldCode = 0;
        ReadInstrumentRegister(t.group, t.protocol, errText, heldCode, t.address, kHoldRegister, held);
        if (heldCode != 0)
            held = 0;
    }
    if (errCode == 0) {
        setRampVisible(r, true);
        shpRampSoak(r)->setFillColor(held != 0 ? color::Yellow : running != 0 ? color::Green : color::ButtonFace);
    } else if (errCode == 2) {
        // An instrument without a ramp/soak programme is a good row: its
        // refusal is no error for the line.
        setRampVisible(r, false);
        errCode = 0;
        errText.clear();
    }
}

// ---- set points ----

void FrmMonitor::txtSVText_Change(int index)
{
    if (!gMonitorBusy)
        ctl::setBackColor(txtSVText(index), color::Yellow);
}

void FrmMonitor::txtSVText_GotFocus(int index) { txtSVText(index)->selectAll(); }

void FrmMonitor::refuseTyped(QWidget* target, const QString& text)
{
    ctl::setBackColor(target, color::Red);
    box(text, mb::Exclamation, QStringLiteral("Invalid Setpoint Value"));
}

namespace {
const QString kUnreadable = QStringLiteral(
    "The Setpoint Value is not a number.  Enter the value as digits with an optional decimal point and press enter "
    "to send it.");
QString NotSendable(const QString& address, const monitor::SetpointFit& fit)
{
    return QStringLiteral("The Setpoint Value was not sent to the instrument at address ") + address
        + QStringLiteral(" because ") + monitor::SetpointReason(fit) + u'.';
}
} // namespace

void FrmMonitor::txtSVText_KeyPress(int index, int& keyAscii)
{
    if (keyAscii != 13)
        return;
    keyAscii = 0;
    TextBox* sv = txtSVText(index);
    if (IsYellow(sv)) {
        double typed = 0;
        monitor::SetpointFit fit;
        if (sv->Text().isEmpty()) {
            ctl::setBackColor(sv, color::White);
        } else if (RowScale[index] <= 0) {
            ctl::setBackColor(sv, color::Red);
            box(QStringLiteral("The Setpoint Value cannot be sent to the instrument because communications has not "
                               "been established with the instrument in order to obtain the current decimal point "
                               "setting."),
                mb::Exclamation, QStringLiteral("Cannot Send Setpoint Value"));
        } else if (const RowTarget t = ParseLabel(cbxControl(index)->Text()); t.address == 0) {
            ctl::setBackColor(sv, color::Red);
            noInstrument();
            ctl::setBackColor(sv, color::White);
            const QScopedValueRollback busy(gMonitorBusy, true);
            sv->setText(QString());
            return;
        } else if (!monitor::ReadSetpointText(sv->Text(), typed)) {
            refuseTyped(sv, kUnreadable);
        } else if (fit = monitor::FitSetpoint(typed, RowScale[index], t, kSetpointRegister);
                   fit.kind != monitor::SetpointFit::Fits) {
            refuseTyped(sv, NotSendable(AddressToText(t.group, t.address), fit));
        } else {
            QString errText;
            int errCode = 0;
            WriteInstrumentRegister(t.group, t.protocol, errText, errCode, t.address, kSetpointRegister, fit.value);
            if (errCode != 0) {
                ctl::setBackColor(sv, color::Red);
                box(QStringLiteral("Setpoint Value not sent due to communications Error >") + errText +
                        QStringLiteral(". "),
                    mb::Exclamation, QStringLiteral("Send Setpoint Value Communications Error"));
            } else {
                ctl::setBackColor(sv, color::Green);
            }
        }
    }
    TabFrom(sv);
}

void FrmMonitor::txtSVText_LostFocus(int index)
{
    if (gMonitorBusy || !IsYellow(txtSVText(index)))
        return;
    ctl::setBackColor(txtSVText(index), color::Red);
    box(QStringLiteral("Warning: Setpoint Value field was modified but Enter was not pressed to send the change to "
                       "the instrument.  Re-enter the value and press enter to save it."),
        mb::Information, QStringLiteral("Setpoint Value Not Sent"));
    gLastSPPollTime = kPollNow;
}

void FrmMonitor::txtChangeAll_Change()
{
    if (!gMonitorBusy)
        ctl::setBackColor(txtChangeAll, color::Yellow);
}

void FrmMonitor::txtChangeAll_GotFocus() { txtChangeAll->selectAll(); }

void FrmMonitor::cmdChangeAll_Click()
{
    if (txtChangeAll->Text().isEmpty()) {
        ctl::setBackColor(txtChangeAll, color::White);
        return;
    }
    double typed = 0;
    if (!monitor::ReadSetpointText(txtChangeAll->Text(), typed)) {
        refuseTyped(txtChangeAll, kUnreadable);
        return;
    }
    if (box(QStringLiteral("Are you sure you wish to change all the instrument setpoints to ") + rt::CStr(typed) +
                QStringLiteral(" ?"),
            kConfirm, QStringLiteral("Confirm Change All Setpoints")) == mb::No) {
        ctl::setBackColor(txtChangeAll, color::White);
        return;
    }
    for (int r = 0; r < kRows; ++r) {
        const QString label = cbxControl(r)->Text();
        const RowTarget t = ParseLabel(label);
        if (t.address == 0)
            continue;
        if (RowScale[r] <= 0) {
            box(QStringLiteral("The Change All Setpoint Value cannot be sent to address ") + label.left(3) +
                    QStringLiteral(" instruments because communications has not been established yet with it in "
                                   "order to obtain the current decimal point setting."),
                mb::Exclamation, QStringLiteral("Cannot Send Change All Setpoint Value"));
            continue;
        }
        // A row that cannot be sent asks whether to go on, naming the row.
        const auto goOn = [&](const QString& why, const QString& title) {
            ctl::setBackColor(txtChangeAll, color::Red);
            const QString text = QStringLiteral("Setpoint Value not sent to address ") +
                                 AddressToText(t.group, t.address) + QStringLiteral(" (") + label.mid(7) +
                                 QStringLiteral(") ") + why + QLatin1Char('\r') +
                                 QStringLiteral("Do you want to continue with the next instrument?");
            return box(text, kConfirm, title) != mb::No;
        };
        const monitor::SetpointFit fit = monitor::FitSetpoint(typed, RowScale[r], t, kSetpointRegister);
        if (fit.kind != monitor::SetpointFit::Fits) {
            if (!goOn(QStringLiteral("because ") + monitor::SetpointReason(fit) + u'.',
                      QStringLiteral("Invalid Setpoint Value")))
                return;
            continue;
        }
        QString errText;
        int errCode = 0;
        WriteInstrumentRegister(t.group, t.protocol, errText, errCode, t.address, kSetpointRegister, fit.value);
        if (errCode != 0) {
            if (!goOn(QStringLiteral("due to communications Error >") + errText + QStringLiteral("."),
                      QStringLiteral("Send Setpoint Value Communications Error")))
                return;
            continue;
        }
        ctl::setBackColor(txtSVText(r), color::Green);
        Paint(this);
    }
    ctl::setBackColor(txtChangeAll, color::Green);
    Paint(this);
    gLastSPPollTime = kPollNow;
    Clock::wait(kAllWait);
}

// ---- ramp/soak ----

bool FrmMonitor::sendRamp(int r, const RowTarget& t, Ramp kind)
{
    const RampCommand& c = rampCommand(kind);
    QString errText;
    int errCode = 0;
    WriteInstrumentRegister(t.group, t.protocol, errText, errCode, t.address, c.firstRegister, c.firstValue);
    const QString* failed = errCode != 0 ? &c.firstFailed : nullptr;
    if (!failed) {
        WriteInstrumentRegister(t.group, t.protocol, errText, errCode, t.address, c.secondRegister, c.secondValue);
        if (errCode != 0)
            failed = &c.secondFailed;
    }
    shpRampSoak(r)->setFillColor(color::ButtonFace);
    if (failed) {
        box(*failed + errText + QStringLiteral(". "), mb::Exclamation, c.title);
        return false;
    }
    return true;
}

void FrmMonitor::rampRow(int index, Ramp kind)
{
    const RowTarget t = ParseLabel(cbxControl(index)->Text());
    if (t.address == 0) {
        noInstrument();
        return;
    }
    if (!sendRamp(index, t, kind))
        return;
    gLastSPPollTime = kPollNow;
    Clock::wait(kRowWait);
}

void FrmMonitor::rampAll(Ramp kind)
{
    const RampCommand& c = rampCommand(kind);
    if (box(c.confirmText, kConfirm, c.confirmTitle) == mb::No)
        return;
    for (int r = 0; r < kRows; ++r) {
        const RowTarget t = ParseLabel(cbxControl(r)->Text());
        if (t.address == 0 || !ctl::Visible((this->*c.button)(r)))
            continue;
        if (!sendRamp(r, t, kind))
            return;
        Paint(this);
    }
    gLastSPPollTime = kPollNow;
    Clock::wait(kAllWait);
}

void FrmMonitor::cmdRampOn_Click(int index) { rampRow(index, Ramp::On); }
void FrmMonitor::cmdRampHold_Click(int index) { rampRow(index, Ramp::Hold); }
void FrmMonitor::cmdRampOff_Click(int index) { rampRow(index, Ramp::Off); }
void FrmMonitor::cmdStartAll_Click() { rampAll(Ramp::On); }
void FrmMonitor::cmdHoldAll_Click() { rampAll(Ramp::Hold); }
void FrmMonitor::cmdStopAll_Click() { rampAll(Ramp::Off); }

void FrmMonitor::cmdRampCfg_Click(int index)
{
    const RowTarget t = ParseLabel(cbxControl(index)->Text());
    if (t.address == 0) {
        noInstrument();
        return;
    }
    // The configuration screen checks the request against the current
    // settings when it becomes active.
    gRampCfgMode = true;
    gRampCfgAddress = t.address;
    gRampCfgProtocol = t.protocol;
    gRampCfgGroup = t.group;
    frmConfig().Show();
}

FrmMonitor& frmMonitor()
{
    // The child exists only inside its parent, which creates it.
    mdiMonitor();
    return Forms::get<FrmMonitor>();
}
