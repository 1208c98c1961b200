// Selection and tick handlers of the configuration screen: the model, decimal
// point and input type rules that keep the decimal-scaled fields standing for
// the same instrument values, the lists and check boxes that rework the
// layout, and the lists that are written to the instrument at once.
#include <QScopedValueRollback>
#include <cmath>

#include "config/editing.h"
#include "config/fieldrule.h"
#include "config/frmConfig.h"
#include "config/scaling.h"
#include "core/dispatch.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/sysconfig.h"
#include "platform/controls.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"

using namespace modZarn;
using cfgscale::DecimalSet;

namespace cfgedit {

int writeNow(FrmConfig& f, int reg, float value, const QString& advice)
{
    const int g = gControllerGroup;
    f.lblProgress->setText(QStringLiteral("Sending Parameter") + f.GStr(reg));
    f.lblProgress->repaint(); // on view during the exchange, which holds the event loop
    QString errText;
    int errCode = 0;
    const int address = AddressBoxNumber(g, f.cbxAddress->Text());
    WriteInstrumentRegister(g, gProtocolCode, errText, errCode, address, reg, value);
    if (errCode != 0) {
        QString text = QStringLiteral("Communications Error >") + errText + QStringLiteral(". ");
        if (!advice.isEmpty())
            text += QLatin1Char('\r') + advice;
        mb::MsgBox(text, mb::Exclamation, QStringLiteral("Send to Instrument Communications Error"), &f);
    }
    return errCode;
}

} // namespace cfgedit

namespace {

constexpr int kQuestionNoDefault = mb::YesNo | mb::DefaultButton2; // 260
constexpr int kLinearInput = 15;                                    // CURRENT, VOLTAGE, DIFFERENTIAL
constexpr int kManualMode = 1037;                                   // bit 15 of register 3

// Lists of controller group 1 that the handlers rely on.
constexpr int kControlAction = 0x1006;
constexpr int kPidGroup = 0x101C;
constexpr int kSystemAlarm = 0x1023;
constexpr int kCommAddress = 0x1071;
constexpr int kCommProtocol = 0x1072, kBaudRate = 0x1073, kDataLength = 0x1074, kParity = 0x1075,
              kStopBits = 0x1076;
constexpr int kAutoAddress = 0x4722, kRunStop = 0x4723;

float decimalScale(int decimals)
{
    return decimals >= 1 && decimals <= 4 ? float(std::pow(10.0, decimals)) : 1.0f;
}

bool between(int v, int lo, int hi) { return v >= lo && v <= hi; }

void warn(FrmConfig& f, const QString& text, const QString& title) { mb::MsgBox(text, mb::Exclamation, title, &f); }

const QString kDpTitle = QStringLiteral("Invalid Decimal Point Setting");
const QString kInputTitle = QStringLiteral("Invalid Input Type For Current Decimal Point Setting");
const QString kRsbcText = QStringLiteral("A decimal point setting of 0.0, 0.00 ,0.000, or .0000 is not allowed for "
                                         "thermocouple type R, S, B, or C inputs.");
const QString kRsbText = QStringLiteral("A decimal point setting of 0.0 is not allowed for thermocouple type R, S, or "
                                        "B inputs.");

// Rewrites the text of every register that `take` accepts: its number, as
// the field reads, becomes `rewrite(number)`. Loading stays set meanwhile.
// `routine`, when given, names the register being rewritten for the error box.
template <class Take, class Rewrite>
void rewriteFields(FrmConfig& f, QString* routine, const QString& base, Take take, Rewrite rewrite)
{
    const QScopedValueRollback loading(f.Loading, true);
    for (int reg = 1; reg <= kMaxRegister; ++reg) {
        if (!take(reg))
            continue;
        if (routine)
            *routine = base + QStringLiteral(", Parameter >") + f.GStr(reg);
        TextBox* t = f.txtParameter(reg);
        t->setText(rewrite(float(cfgscale::FieldValue(t->Text()))));
    }
}

// ---- the communication lists of group 1 ----

const QString kRereadComm = QStringLiteral("It is now recommended that you perform a Read Configuration from "
                                           "Instrument to put the communications field back to what is in the "
                                           "controller.");

// A combination of data length, parity and stop bits that no instrument
// takes; the warning's text, or "" when the combination is fine.
QString invalidCombination(const FrmConfig& f)
{
    const int data = int(rt::Val(f.cbxParameter(kDataLength)->Text()));
    const QString parity = f.cbxParameter(kParity)->Text();
    const int stop = int(rt::Val(f.cbxParameter(kStopBits)->Text()));
    struct Bad {
        int data;
        const char* parity;
        int stop;
    };
    for (const Bad b : {Bad{7, "None", 1}, Bad{8, "Even", 2}, Bad{8, "Odd", 2}}) {
        if (data == b.data && parity == QLatin1String(b.parity) && stop == b.stop)
            return QStringLiteral("The combination of %1 data bits with %2 parity and %3 stop bit is invalid.  ")
                       .arg(b.data)
                       .arg(QLatin1String(b.parity))
                       .arg(b.stop)
                + kRereadComm;
    }
    return QString();
}

// The program's own serial settings take the changed instrument setting,
// are stored and applied to the port.
void followCommSetting(int reg, const QString& item)
{
    switch (reg) {
    case kCommProtocol:
        if (item.contains(QLatin1String("RTU")))
            gProtocolCode = QStringLiteral("R");
        if (item.contains(QLatin1String("ASCII")))
            gProtocolCode = QStringLiteral("A");
        break;
    case kBaudRate: gBaudRate = float(rt::Val(item)); break;
    case kDataLength: gDataBits = int(rt::Val(item)); break;
    case kParity: gParity = item; break;
    case kStopBits: gStopBits = int(rt::Val(item)); break;
    default: break;
    }
    SaveSystemConfig();
    bool failed = false;
    InitComm(CommSettingsString(), failed); // reports its own failure
}

} // namespace

// ------------------------------------------------ model, decimal point, input

void FrmConfig::cbxModelID_Click(int group)
{
    if (Loading)
        return;
    Changed = true;
    const int g = gControllerGroup;
    const QString id = cbxModelID(group)->Text().right(2);
    QString name;
    lblModelType(g)->setText(LookupModel(g, id, CurModelIndex, name));
    const QString model = QStringLiteral("Model ") + name;
    if (g == 0 && (id == QLatin1String("R7") || id == QLatin1String("TW")) && gProtocolCode == QLatin1String("Z"))
        warn(*this, model + QStringLiteral(" does not support Zarn Link protocol. Select a different model."),
             QStringLiteral("Invalid Model for Zarn Link"));
    if (id == QLatin1String("RS"))
        warn(*this,
             model + QStringLiteral(" cannot be selected.  It is used for ramp/soak configuration from the System "
                                    "Monitor screen only. Select a different model."),
             QStringLiteral("Invalid Model"));
    if (g == 0 && id != QLatin1String("R7") && CurDecimalPoint == 4)
        cfgrule::WarnFourDecimals(*this);
    if (g == 0 && id == QLatin1String("7M") && between(CurInputType, 11, 13))
        warn(*this,
             QStringLiteral("Input types P392, N120, or P385 is not valid for Model 71MV. You must change the input "
                            "type before saving the configuration."),
             QStringLiteral("Invalid Input Type For Model 71MV"));
    SetupFormFields();
}

void FrmConfig::cbxDecimalPoint_Click(int)
{
    if (Loading)
        return;
    const QString base = QStringLiteral("frmConfig.cbxDecimalPoint_Click");
    QString routine = base;
    ctl::guard(this, routine, [&] {
        const int g = gControllerGroup;
        if (g == 1) {
            const int d = cbxDecimalPoint(1)->ListIndex();
            if (between(cbxInputType(1)->ListIndex(), 5, 7) && d >= 1) {
                warn(*this, kRsbText, kDpTitle);
                cbxDecimalPoint(1)->setListIndex(CurDecimalPoint);
                return;
            }
            CurDecimalPoint = d;
        }
        if (g != 0) {
            SetupFormFields();
            return;
        }
        const int d = cbxDecimalPoint(0)->ListIndex();
        QString refusal;
        if (CurInputType <= 14 && d >= 2)
            refusal = QStringLiteral("A decimal point setting of 0.00 ,0.000, or .0000 is not allowed for "
                                     "thermocouple and RTD type inputs.");
        else if (between(cbxInputType(0)->ListIndex() + 1, 7, 10) && d >= 1)
            refusal = kRsbcText;
        else if (ModelID() != QLatin1String("R7") && d == 4)
            refusal = QStringLiteral("A decimal point setting of .0000 is not allowed for this Model ID.");
        if (!refusal.isEmpty()) {
            warn(*this, refusal, kDpTitle);
            cbxDecimalPoint(0)->setListIndex(CurDecimalPoint);
            return;
        }
        Changed = true;
        const float factor = decimalScale(CurDecimalPoint) / decimalScale(d);
        CurDecimalPoint = d;
        const bool linear = CurInputType >= kLinearInput;
        const bool r7 = ModelID() == QLatin1String("R7");
        rewriteFields(
            *this, &routine, base,
            [&](int reg) {
                if (gCfgField[std::size_t(reg)][1] != 1)
                    return false;
                switch (cfgscale::DecimalScaled(reg)) {
                case DecimalSet::A: return true;
                case DecimalSet::B: return linear;
                case DecimalSet::C: return linear || r7;
                case DecimalSet::None: return false;
                }
                return false;
            },
            [factor](float v) { return rt::CStrSingle(v * factor); });
        SetupFormFields();
    });
}

void FrmConfig::cbxInputType_Click(int)
{
    if (Loading)
        return;
    const QString base = QStringLiteral("frmConfig.cbxInputType_Click");
    ctl::guard(this, base, [&] {
        const int g = gControllerGroup;
        if (g < 0 || g > 2) {
            SetupFormFields();
            return;
        }
        const int index = cbxInputType(g)->ListIndex();
        if (g == 1 && CurDecimalPoint >= 1 && between(index, 5, 7)) {
            warn(*this, kRsbText, kInputTitle);
            cbxInputType(1)->setListIndex(CurInputType);
            return;
        }
        if (g != 0) {
            Changed = true;
            CurInputType = index;
            SetupFormFields();
            return;
        }
        const int n = index + 1;
        QString refusal, title = kInputTitle;
        if (CurDecimalPoint >= 1 && between(n, 7, 10))
            refusal = kRsbcText;
        else if (CurDecimalPoint >= 2 && n <= 14)
            refusal = QStringLiteral("A decimal point setting of 0.00 ,0.000, or .0000 is not allowed for "
                                     "thermocouple or RTD type inputs.");
        else if (ModelID() == QLatin1String("7M") && between(n, 11, 13)) {
            refusal = QStringLiteral("Input types P392, N120, or P385 is not valid for Model 71MV.");
            title = QStringLiteral("Invalid Input Type For Model 71MV");
        }
        if (!refusal.isEmpty()) {
            warn(*this, refusal, title);
            cbxInputType(0)->setListIndex(CurInputType - 1);
            return;
        }
        // A change of input class moves the decimals of the input-scaled
        // fields in or out of the display; the instrument values stay.
        const float scale = decimalScale(CurDecimalPoint);
        const bool wasLinear = CurInputType >= kLinearInput, linear = n >= kLinearInput;
        if (wasLinear != linear && CurDecimalPoint > 0) {
            const bool r7 = ModelID() == QLatin1String("R7");
            auto take = [r7](int reg) {
                const DecimalSet s = cfgscale::DecimalScaled(reg);
                return s == DecimalSet::B || (s == DecimalSet::C && !r7);
            };
            if (linear)
                rewriteFields(*this, nullptr, base, take,
                              [scale](float v) { return rt::Format(double(v / scale), QStringLiteral("0.0000")); });
            else
                rewriteFields(*this, nullptr, base, take,
                              [scale](float v) { return rt::Format(double(v * scale), QStringLiteral("0")); });
        }
        Changed = true;
        CurInputType = n;
        SetupFormFields();
    });
}

// ---------------------------------------------------- lists and check boxes

void FrmConfig::cbxParameter_Click(int reg)
{
    if (Loading)
        return;
    const bool wasChanged = Changed;
    Changed = true;
    ctl::guard(this, QStringLiteral("frmConfig.cbxParameter_Click, Parameter >") + GStr(reg), [&] {
        ComboBox* list = cbxParameter(reg);
        switch (reg) {
        case 8:
        case 0x301:
        case 0x304:
        case 0x307:
        case 0x308:
        case 0x309:
        case 0x30A:
        case 0x1005:
        case kControlAction:
        case 0x1069:
        case 0x4711:
            SetupFormFields();
            return;
        case kSystemAlarm:
            // Alarm 3 serves as the second output of a heat/cool action.
            if (cbxParameter(kControlAction)->ListIndex() >= 2 && list->ListIndex() == 3) {
                const QScopedValueRollback loading(Loading, true);
                list->setListIndex(0);
            }
            return;
        case kPidGroup: pidGroupChanged(wasChanged); return;
        case kAutoAddress:
        case kRunStop:
            if (mb::MsgBox(QStringLiteral("Do you want to send   ") + list->Text()
                               + QStringLiteral("   to the controller right now?"),
                           kQuestionNoDefault, QStringLiteral("Immediate Write of Parameter"), this)
                != mb::Yes)
                return;
            cfgedit::writeNow(*this, reg, float(list->ListIndex()));
            lblProgress->setText(QString());
            return;
        case kCommAddress: commAddressChanged(); return;
        case kCommProtocol:
        case kBaudRate:
        case kDataLength:
        case kParity:
        case kStopBits: commSettingChanged(reg); return;
        default: return;
        }
    });
}

void FrmConfig::pidGroupChanged(bool wasChanged)
{
    const int position = cbxParameter(kPidGroup)->ListIndex();
    if (position == 4) {
        mb::MsgBox(QStringLiteral("Note: Selecting 'Auto Tune' for the PID Parameter Group will now cause the PID "
                                  "parameters to be hidden from the screen.  This is because you could "
                                  "inadvertently write to a PID group's parameters but the PID group selected "
                                  "changes based on the process variable."),
                   mb::OKOnly, QStringLiteral("PID Parameters Will Be Hidden"), this);
        SetupFormFields();
        return;
    }
    QString question = QStringLiteral(
        "In order to view the 4 different groups of PID parameters from the controller, the new PID parameter group "
        "that you selected must be written to the controller and then the PID parameters re-read from the "
        "controller.  Do you now want to write the new PID Parameter Group to the controller and re-read ALL "
        "parameters?");
    if (wasChanged)
        question += QStringLiteral("  WARNING: YOU HAVE PENDING CHANGES ALREADY MADE ON OTHER FIELDS.  CLICKING YES "
                                   "WILL CAUSE A READ OF ALL PARAMETERS FROM THE CONTROLLER AND YOUR OTHER CHANGES "
                                   "WILL BE LOST!");
    if (mb::MsgBox(question, kQuestionNoDefault, QStringLiteral("Immediate Write of PID Parameter Group"), this)
        != mb::Yes)
        return;
    if (cfgedit::writeNow(*this, kPidGroup, float(position)) != 0)
        lblProgress->setText(QString());
    else
        ReadControllerParameters(); // takes the progress caption over
    SetupFormFields();
}

void FrmConfig::commAddressChanged()
{
    ComboBox* list = cbxParameter(kCommAddress);
    const QString item = list->Text();
    if (mb::MsgBox(QStringLiteral("Do you want to change the address of the controller to  ") + item
                       + QStringLiteral("   right now?  (If you say 'NO' then you should either put the value back "
                                        "to the previous value or perform a Read Configuration from Instrument to "
                                        "put the address field back to what is in the controller.)"),
                   kQuestionNoDefault, QStringLiteral("Immediate Write of Controller Address"), this)
        != mb::Yes)
        return;
    cfgedit::writeNow(*this, kCommAddress, float(list->ListIndex() + 1),
                      QStringLiteral("Since the communications write failed, it is now recommended that you perform "
                                     "a Read Configuration from Instrument to put the address field back to what is "
                                     "in the controller."));
    lblProgress->setText(QString());
    if (mb::MsgBox(QStringLiteral("Do you want to update the address at the top middle of the screen to match your "
                                  "newly changed controller address?  (Recommend 'YES' in order to continue to "
                                  "communicate and make changes to this controller.)"),
                   mb::YesNo, QStringLiteral("Update Communications Address"), this)
        == mb::Yes)
        cbxAddress->setText(item);
}

void FrmConfig::commSettingChanged(int reg)
{
    const QString refusal = invalidCombination(*this);
    if (!refusal.isEmpty()) {
        warn(*this, refusal, QStringLiteral("Invalid Communications Setting"));
        return;
    }
    ComboBox* list = cbxParameter(reg);
    const QString item = list->Text();
    if (mb::MsgBox(QStringLiteral("Do you want to send new  ") + lblParamLabel(reg)->text()
                       + QStringLiteral("  value of   ") + item
                       + QStringLiteral("   to the controller right now?  (If you say 'NO' then you should either "
                                        "put the value back to the previous value or perform a Read Configuration "
                                        "from Instrument to put the field back to what is in the controller.)"),
                   kQuestionNoDefault, QStringLiteral("Immediate Write of Parameter"), this)
        != mb::Yes)
        return;
    cfgedit::writeNow(*this, reg, float(list->ListIndex()),
                      QStringLiteral("Since the communications write failed, it is now recommended that you perform "
                                     "a Read Configuration from Instrument to put the communications field back to "
                                     "what is in the controller."));
    lblProgress->setText(QString());
    if (mb::MsgBox(QStringLiteral("Do you want to update the current communications settings to match your "
                                  "changes?  (Recommend 'YES' in order to continue to communicate and make changes "
                                  "to this controller.)"),
                   mb::YesNo, QStringLiteral("Update Communications Parameter"), this)
        == mb::Yes)
        followCommSetting(reg, item);
}

void FrmConfig::cbxReset_Click(int)
{
    if (Loading)
        return;
    Changed = true;
    SetupFormFields();
}

void FrmConfig::chkParameter_Click(int index)
{
    if (Loading)
        return;
    Changed = true;
    if (index == kManualMode)
        SetupFormFields();
}
