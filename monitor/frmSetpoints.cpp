#include "monitor/frmSetpoints.h"

#include <QEvent>
#include <QFocusEvent>
#include <algorithm>

#include "core/dispatch.h"
#include "core/modZarn.h"
#include "monitor/logging_format.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "shell/frmMain.h"

using namespace modZarn;

FrmSetpoints& frmSetpoints() { return Forms::get<FrmSetpoints>(); }

const int FrmSetpoints::kRegister[FrmSetpoints::kFields] = {258, 263, 264, 265, 266, 4137, 4136};

namespace {

constexpr int kModelRegister = 1794; // 702H
constexpr int kBasicFields = 5;      // SV and the two alarms' low and high
constexpr float kLimit = 9999;

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h = 22)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

QPushButton* button(QWidget* parent, const QString& caption, int x, int y)
{
    auto* b = new QPushButton(caption, parent);
    b->setGeometry(x, y, 100, 30);
    return b;
}

// The shared error line of the main form: the date and time before the text,
// empty after a good operation.
void SetErrorLine(const QString& errText)
{
    frmMain().lblErrorMessageText->setText(
        errText.isEmpty() ? QString() : logfmt::GeneralDate(Clock::localNow()) + QStringLiteral(" - ") + errText);
}

const QString kCancelTitle = QStringLiteral("Cancel Changes?");
const QString kCancelText = QStringLiteral("Are sure you wish to cancel your current Setpoint changes?");

} // namespace

float SetpointFieldValue(const QString& text)
{
    double v = 0;
    if (rt::IsNumeric(text, &v))
        v = rt::Val(rt::Format(v, QStringLiteral("####.0000")));
    else
        v = rt::Val(text);
    const float f = rt::CSng(v);
    return std::clamp(f, -kLimit, kLimit);
}

FrmSetpoints::FrmSetpoints()
{
    setObjectName(QStringLiteral("frmSetpoints"));
    setWindowTitle(QStringLiteral("Edit Setpoint Values"));
    setFixedSize(600, 360);
    setEnterMovesFocus(true);

    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    lblControls = label(this, QStringLiteral("Address           Name"), 12, 10, 250);
    lblControls->setFont(fixed);
    lstControls = new QListWidget(this);
    lstControls->setGeometry(12, 32, 250, 270);
    lstControls->setFont(fixed);
    lblInstruction = label(this,
                           QStringLiteral("Click a control in this list box to view/edit Setpoint Values.        "
                                          "                <---"),
                           12, 310, 576, 40);
    lblInstruction->setWordWrap(true);

    lblAddress = label(this, QStringLiteral("Address:"), 280, 32, 60);
    lblAddressText = label(this, QString(), 344, 32, 240);
    lblName = label(this, QStringLiteral("Name:"), 280, 56, 60);
    lblNameText = label(this, QString(), 344, 56, 240);

    // On screen the alarm-3 low field stands above the high one.
    const char* const captions[kFields] = {"SV:",           "Alarm1 Lo SV:", "Alarm1 Hi SV:", "Alarm2 Lo SV:",
                                           "Alarm2 Hi SV:", "Alarm3 Hi SV:", "Alarm3 Lo SV:"};
    const int screenOrder[kFields] = {0, 1, 2, 3, 4, 6, 5};
    QLabel* captionLabels[kFields] = {};
    for (int row = 0; row < kFields; ++row) {
        const int k = screenOrder[row];
        const int y = 86 + 28 * row;
        captionLabels[k] = label(this, QString::fromLatin1(captions[k]), 280, y, 110);
        auto* box = new QLineEdit(this);
        box->setGeometry(394, y - 1, 100, 24);
        txtSV.add(k, box);
        lblUnits.add(k, label(this, QString(), 500, y, 60));
        connect(box, &QLineEdit::textChanged, this, [this, k] { txtSV_Change(k); });
        box->installEventFilter(this);
    }
    lblSV = captionLabels[0];
    lblAlm1LoSV = captionLabels[1];
    lblAlm1HiSV = captionLabels[2];
    lblAlm2LoSV = captionLabels[3];
    lblAlm2HiSV = captionLabels[4];
    lblAlm3HiSV = captionLabels[5];
    lblAlm3LoSV = captionLabels[6];

    cmdUpdate = button(this, QStringLiteral("&Update"), 280, 286);
    cmdClose = button(this, QStringLiteral("C&lose"), 394, 286);

    // Only a user's or the code's change of the chosen row counts: taking the
    // focus without choosing selects nothing.
    connect(lstControls, &QListWidget::itemSelectionChanged, this, [this] { lstControls_Click(); });
    connect(cmdUpdate, &QPushButton::clicked, this, [this] { cmdUpdate_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    lblName->installEventFilter(this);
}

bool FrmSetpoints::eventFilter(QObject* obj, QEvent* e)
{
    for (const auto& [k, box] : txtSV.items()) {
        if (obj != box)
            continue;
        if (e->type() == QEvent::FocusIn) {
            txtSV_GotFocus(k);
        } else if (e->type() == QEvent::FocusOut) {
            // Only a move to another control, not a box or another window
            // taking the focus for a while.
            const Qt::FocusReason why = static_cast<QFocusEvent*>(e)->reason();
            if (why != Qt::ActiveWindowFocusReason && why != Qt::PopupFocusReason)
                txtSV_LostFocus(k);
        }
    }
    if (obj == lblName && e->type() == QEvent::MouseButtonRelease)
        lblName_Click();
    return Form::eventFilter(obj, e);
}

int FrmSetpoints::SelectedRow() const
{
    const QList<QListWidgetItem*> items = lstControls->selectedItems();
    return items.isEmpty() ? -1 : lstControls->row(items.first());
}

void FrmSetpoints::SelectRow(int row)
{
    if (row < 0)
        lstControls->clearSelection();
    else
        lstControls->setCurrentRow(row);
}

void FrmSetpoints::ClearFields()
{
    lblAddressText->clear();
    lblNameText->clear();
    for (int k = 0; k < kFields; ++k) {
        txtSV(k)->clear();
        txtSV(k)->setEnabled(false);
        lblUnits(k)->clear();
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
    try {
        Loading = true;
        ClearFields();
        ShowAlarm3(false);
        cmdUpdate->setEnabled(false);
        if (!gCommOK) {
            // Nothing can be read or written: only Close is left.
            lstControls->setEnabled(false);
            return;
        }
        lstControls->clear();
        for (int i = 0; i < gControlCount; ++i)
            lstControls->addItem(gCtlAddress[i] + QStringLiteral("     ") + gCtlName[i].left(16));
        Changed = false;
        Loading = false;
    } catch (const rt::RtError& e) {
        mb::AppError(this, e, QStringLiteral("frmSetpoints.Form_Load"));
    }
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
    try {
        if (Changed) {
            if (!AskCancelChanges()) {
                // The edits stay, and so does the instrument they belong to:
                // the list goes back to it so that Update writes what it shows.
                Loading = true;
                SelectRow(SelIndex);
                Loading = false;
                return;
            }
            Changed = false;
        }
        Screen::setMousePointer(Screen::Hourglass);
        Loading = true;
        ClearFields();

        QString errText;
        int errCode = 0;
        SelIndex = SelectedRow();
        if (SelIndex >= 0 && SelIndex < gControlCount) {
            const int i = SelIndex;
            lblAddressText->setText(gCtlAddress[i]);
            lblNameText->setText(gCtlName[i]);
            const int group = gCtlGroup[i];
            const QString protocol = gCtlProtocol[i];
            const int address = AddressToNumber(group, gCtlAddress[i]);

            int fields = kBasicFields;
            bool modelKnown = true;
            if (group == 1) {
                float code = 0;
                ReadInstrumentRegister(group, protocol, errText, errCode, address, kModelRegister, code);
                if (errCode != 0) {
                    cmdUpdate->setEnabled(false);
                    modelKnown = false;
                } else {
                    QString modelID, typeCaption, modelName;
                    int modelIndex = 0;
                    ModelFromRegisterValue(group, code, modelID, typeCaption, modelIndex, modelName);
                    if (modelID == QLatin1String("XG"))
                        fields = kFields;
                }
            }
            ShowAlarm3(fields == kFields);

            if (modelKnown) {
                bool complete = true;
                for (int k = 0; k < fields; ++k) {
                    QString valueText, unitText, formatText;
                    float value = 0, divisor = 0;
                    int alarm1 = 0, alarm2 = 0;
                    ReadProcessValue(group, protocol, errText, errCode, address, kRegister[k], valueText, unitText,
                                     formatText, value, divisor, alarm1, alarm2);
                    if (errCode == 0) {
                        txtSV(k)->setText(valueText);
                        lblUnits(k)->setText(unitText);
                        txtSV(k)->setEnabled(true);
                        ValueFormat = formatText;
                        Scale = divisor;
                        continue;
                    }
                    complete = false;
                    if (errCode == 2) {
                        // The instrument has no such value: what was read can
                        // still be written.
                        cmdUpdate->setEnabled(true);
                        errText.clear();
                    } else {
                        // A partly read instrument must not be written.
                        cmdUpdate->setEnabled(false);
                    }
                    break;
                }
                if (complete)
                    cmdUpdate->setEnabled(true);
            }
        }
        SetErrorLine(errText);
        Screen::setMousePointer(Screen::Default);
        Loading = false;
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        Loading = false;
        mb::AppError(this, e, QStringLiteral("frmSetpoints.lstControls_Click"));
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
    if (Loading)
        return;
    try {
        Loading = true;
        const float v = SetpointFieldValue(txtSV(Index)->text());
        txtSV(Index)->setText(rt::Format(v, ValueFormat));
        Loading = false;
    } catch (const rt::RtError& e) {
        Loading = false;
        mb::AppError(this, e, QStringLiteral("frmSetpoints.txtSV_LostFocus"));
    }
}

void FrmSetpoints::cmdUpdate_Click()
{
    try {
        Screen::setMousePointer(Screen::Hourglass);
        QString errText;
        int errCode = 0;
        if (SelIndex >= 0 && SelIndex < gControlCount) {
            const int i = SelIndex;
            const int group = gCtlGroup[i];
            const int address = AddressToNumber(group, gCtlAddress[i]);
            for (int k = 0; k < kFields; ++k) {
                const QString text = txtSV(k)->text();
                if (text.isEmpty())
                    continue;
                const float raw = rt::CSng(double(SetpointFieldValue(text)) * double(Scale));
                WriteInstrumentRegister(group, gCtlProtocol[i], errText, errCode, address, kRegister[k], raw);
                if (errCode != 0)
                    break;
            }
        }
        SetErrorLine(errText);
        Screen::setMousePointer(Screen::Default);
        Changed = false;
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        mb::AppError(this, e, QStringLiteral("frmSetpoints.cmdUpdate_Click"));
    }
}

void FrmSetpoints::cmdClose_Click() { Unload(); }

void FrmSetpoints::lblName_Click() { lblNameText->setToolTip(lblNameText->text()); }
