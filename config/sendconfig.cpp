// Sending the screen's configuration to an instrument: the checks against
// the wrong instrument and impossible output settings, then the fixed send
// order of the controller group, each register written from its widgets.
#include <QScopeGuard>
#include <cmath>
#include <set>

#include "config/fieldrule.h"
#include "config/frmConfig.h"
#include "config/parammap.h"
#include "config/scaling.h"
#include "config/transfer.h"
#include "core/dispatch.h"
#include "core/helpers.h"
#include "core/state.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

using namespace modZarn;

namespace {

using cfgxfer::kDecimalPoint;
using cfgxfer::kInputType;
using cfgxfer::kModelRegister;
constexpr int kRemoteChanges = 805;
constexpr int kEeprom = 813;
constexpr int kCommWrite1 = 0x810;
constexpr int kCommWrite2 = 0x471A;

// The send stops here: Failed stays true and nothing written is undone.
struct SendEnded {};

enum class AfterFailure { Ends, GoesOn };

class SendRun {
public:
    SendRun(FrmConfig& f, bool autoSend) : f_(f), g_(gControllerGroup), autoSend_(autoSend) {}

    // True when the whole send succeeded.
    bool run()
    {
        if (gDemoMode && !cfgxfer::LeaveDemoMode(f_, QStringLiteral("send the setup to the instrument")))
            return false;
        f_.CompleteEntry();
        bool sent = false;
        const auto routine = [this] {
            return QStringLiteral("frmConfig.SendControllerParameters, Parameter >") + f_.GStr(current_);
        };
        ctl::guard(&f_, routine, [&] {
            try {
                // The decimal point the save refuses is not sent either:
                // the set points would go out at its scale.
                if (!cfgrule::DecimalPointSaveable(f_, QStringLiteral("sending")))
                    return;
                // A field this send does not write is not asked about; an
                // empty one it writes would go out as a 0 nobody typed.
                const std::set<int> order = sendOrder();
                const auto written = [&](int reg) { return order.count(reg) != 0; };
                if (!cfgrule::NoneEmpty(f_, written))
                    return;
                if (!modelCheck() || !outputCheck(769, 1) || !outputCheck(772, 2))
                    return;
                // A value outside its field's range reaches the instrument
                // only at the limit the user agreed to; unattended nobody
                // can.
                if (!cfgrule::AgreeToLimits(f_, QStringLiteral("send the configuration to the instrument"),
                                            autoSend_, written))
                    return;
                sendGroup();
                f_.SetupFormFields();
                sent = true;
            } catch (const SendEnded&) {
            }
        });
        f_.lblProgress->setText(QString());
        return sent;
    }

private:
    void sendGroup()
    {
        switch (g_) {
        case 0: group0(); break;
        case 1: group1(); break;
        case 2: group2(); break;
        default: break;
        }
    }

    // The registers the send order writes from their widgets, as the screen
    // stands: the order walked with nothing asked and nothing written.
    std::set<int> sendOrder()
    {
        std::set<int> written;
        collect_ = &written;
        const auto done = qScopeGuard([this] { collect_ = nullptr; });
        sendGroup();
        return written;
    }

    QString screenModelName() const
    {
        const QString shown = f_.cbxModelID(g_)->Text();
        return rt::Trim(shown.left(shown.size() - 2));
    }

    // Guards against sending to another model than the screen holds.
    bool modelCheck()
    {
        const QString id = f_.ModelID();
        if (gRampCfgMode) {
            if (gProtocolCode == QLatin1String("Z") && (id == QLatin1String("TW") || id == QLatin1String("R7"))) {
                mb::MsgBox(QStringLiteral("Model ") + screenModelName()
                               + QStringLiteral(" does not support Zarn Link protocol. Select a different model."),
                           mb::Exclamation, QStringLiteral("Invalid Model for Zarn Link"), &f_);
                return false;
            }
            return true;
        }
        float value = 0;
        if (!checkRead(kModelRegister, value))
            return false;
        QString modelID, caption, name;
        int slot = 0;
        ModelFromRegisterValue(g_, value, modelID, caption, slot, name);
        if (slot == 0) {
            return mb::MsgBox(QStringLiteral("The Model ID >") + modelID + QStringLiteral(" (Code=")
                                  + rt::Trim(rt::StrSingle(value))
                                  + QStringLiteral(") does not exist as a valid model ID in file ") + gModelFileName
                                  + QStringLiteral(".  If the model you communicating to is not a model ")
                                  + screenModelName()
                                  + QStringLiteral(" then you must manually select the Model ID in order to "
                                                   "properly write the instrument parameters.  Do you want to "
                                                   "continue with the writing of the instrument parameters?"),
                              mb::YesNo, QStringLiteral("Invalid Model ID"), &f_)
                == mb::Yes;
        }
        if (slot != f_.CurModelIndex) {
            mb::MsgBox(QStringLiteral("The Model Name >") + name
                           + QStringLiteral(" in the instrument does not match the one on the screen >")
                           + screenModelName()
                           + QStringLiteral(".  Change the model or the address on the screen and try again."),
                       mb::Exclamation, QStringLiteral("Model Names Are Not The Same"), &f_);
            return false;
        }
        return true;
    }

    // An output whose hardware is "Current or Voltage" takes only that
    // choice, and no other output takes it.
    bool outputCheck(int reg, int output)
    {
        ComboBox* list = f_.cbxParameter(reg);
        if (!ctl::Visible(list))
            return true;
        float value = 0;
        if (!checkRead(reg, value))
            return false;
        const QString n = QString::number(output);
        const auto ask = [&](const char* mustOrCannot) {
            return mb::MsgBox(QStringLiteral("Because of the hardware in your instrument, the selection for 'Output ")
                                  + n + QStringLiteral(" Control (Out") + n
                                  + QStringLiteral(")' on the 'Output Setup' tab ") + QLatin1String(mustOrCannot)
                                  + QStringLiteral(" be 'Current or Voltage'.  Do you want to continue with the "
                                                   "send to the instrument? (If you select yes then your "
                                                   "selection for 'Output ")
                                  + n + QStringLiteral(" Control' will be ignored by the instrument.)"),
                              mb::YesNo, QStringLiteral("Output ") + n + QStringLiteral(" Control Setting is Invalid"),
                              &f_)
                == mb::Yes;
        };
        if (value == 6 && list->ListIndex() != 1 && !ask("must"))
            return false;
        if (value != 6 && list->ListIndex() == 1 && !ask("cannot"))
            return false;
        return true;
    }

    // A read of the checks; a failure is reported and ends the send.
    bool checkRead(int reg, float& value)
    {
        errCode_ = 0;
        errText_.clear();
        ReadInstrumentRegister(g_, gProtocolCode, errText_, errCode_, address(), reg, value);
        if (errCode_ == 0)
            return true;
        reportSendError();
        return false;
    }

    int address() const { return AddressBoxNumber(g_, f_.cbxAddress->Text()); }

    void progress(const QString& registerText)
    {
        f_.lblProgress->setText(QStringLiteral("Sending Parameter") + registerText);
        f_.repaint();
    }

    bool write(int target, float value)
    {
        errCode_ = 0;
        errText_.clear();
        WriteInstrumentRegister(g_, gProtocolCode, errText_, errCode_, address(), target, value);
        return errCode_ == 0;
    }

    // Tells which parameter was not saved; a register the instrument does not
    // take may be passed over, any other failure ends the send.
    void reportSendError()
    {
        if (!cfgxfer::ReportExchangeError(f_, current_, errText_, errCode_ == 2 || errCode_ == 3,
                                          QStringLiteral("Send to Instrument Communications Error"),
                                          QStringLiteral(" This parameter was not saved in the instrument.  Do you "
                                                         "want to continue and try the next parameter ?")))
            throw SendEnded{};
    }

    void question(const QString& title, const QString& text)
    {
        if (collect_)
            return;
        if (mb::MsgBox(text, mb::YesNo, title, &f_) != mb::Yes)
            throw SendEnded{};
    }

    void askRemoteChanges()
    {
        question(QStringLiteral("Remote Change via Communications is Disabled"),
                 QStringLiteral("You have selected to disable 'Remote Changes via Communications'. Do you want to "
                                "temporarily enable Remote Changes and send the parameters to the instrument?"));
    }

    // A write of the send order itself, whatever the model's register list.
    void direct(int reg, float value, AfterFailure after, bool decimalText = false)
    {
        if (collect_)
            return;
        current_ = reg;
        progress(decimalText ? rt::Str(reg) : f_.GStr(reg));
        if (write(reg, value))
            return;
        reportSendError();
        if (after == AfterFailure::Ends)
            throw SendEnded{};
    }

    static float textValue(const TextBox* t) { return float(cfgscale::FieldValue(t->Text())); }

    float scaledText(int reg) const
    {
        float factor = 1;
        f_.DecimalPointFormat(reg, factor);
        return textValue(f_.txtParameter(reg)) * factor;
    }

    float packedBits(int reg) const
    {
        int packed = 0;
        f_.CompressBits(reg, packed);
        return float(packed);
    }

    // The per-register step: decides whether the register goes at all, and
    // what its widgets make of it.
    void sendOne(int reg)
    {
        current_ = reg;
        if (f_.CurModelIndex < 0 || f_.CurModelIndex > kMaxModels)
            rt::raise(rt::ErrSubscript);
        if (!gModelHasRegister[std::size_t(f_.CurModelIndex)].at(std::size_t(reg)))
            return;
        int target = reg;
        float value = 0;
        if (!valueOf(reg, target, value))
            return;
        if (collect_) {
            collect_->insert(reg);
            return;
        }
        progress(f_.GStr(reg));
        if (!write(target, value))
            reportSendError();
    }

    // False when the register is not written this time.
    bool valueOf(int reg, int& target, float& value) const
    {
        const auto visible = [](const QWidget* w) { return ctl::Visible(w); };
        const auto checked = [&](int index) { return f_.chkParameter(index)->Value() != 0; };
        switch (reg) {
        case 8:
            target = f_.cbxParameter(8)->ListIndex() == 0 ? 1055 : 1056;
            value = 1;
            return true;
        case 769: case 772:           // only checked against the instrument
        case kInputType: case kDecimalPoint: case kRemoteChanges: case kEeprom: // the send order's own
            return false;
        case 1028: case 1029: case 1031: case 1032: case 1035: case 1036:
            value = 1;
            return checked(reg * 10);
        case 3:
            if (!visible(f_.chkParameter(1037)))
                return false;
            target = checked(1037) ? 1034 : 1033;
            value = 1;
            return true;
        case 793:
            if (!visible(f_.chkParameter(7930)))
                return false;
            value = packedBits(reg);
            return true;
        case 0x1071:
            if (!visible(f_.cbxParameter(reg)))
                return false;
            value = float(f_.cbxParameter(reg)->ListIndex() + 1);
            return true;
        case 0x102C:
        case 0x4731: {
            if (!visible(f_.cbxParameter(reg)))
                return false;
            // Each instrument takes its lock setting in the values it reports.
            static constexpr float kGroup1[] = {0, 1, 11};
            static constexpr float kGroup2[] = {0, 2, 22};
            const int i = f_.cbxParameter(reg)->ListIndex();
            value = i >= 0 && i <= 2 ? (reg == 0x102C ? kGroup1 : kGroup2)[i] : 0;
            return true;
        }
        default:
            break;
        }
        if (reg >= 1067 && reg <= 1074) {
            if (!visible(f_.chkParameter(reg * 10)))
                return false;
            target = checked(reg * 10) ? reg : reg + 1;
            value = 1;
            return true;
        }
        if (reg >= cfgmap::kReset1 && reg <= cfgmap::kReset4) {
            if (!visible(f_.txtParameter(reg)))
                return false;
            value = scaledText(reg);
            if (f_.cbxReset(reg)->ListIndex() == 0)
                value = -std::fabs(value);
            return true;
        }
        if (reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast) {
            if (!f_.tabConfig(1)->TabEnabled(2))
                return false;
            const int i = reg - cfgmap::kPattTimeFirst;
            value = textValue(f_.txtPattHour(i)) * 60 + textValue(f_.txtPattMin(i));
            return true;
        }
        switch (cfgxfer::FieldKind(reg)) {
        case 1:
            if (!visible(f_.txtParameter(reg)))
                return false;
            value = scaledText(reg);
            return true;
        case 2:
            if (!visible(f_.cbxParameter(reg)))
                return false;
            value = float(f_.cbxParameter(reg)->ListIndex());
            return true;
        case 3:
            value = packedBits(reg);
            return true;
        default:
            return false;
        }
    }

    // Every register 1..20480 not in `first` (already sent or the order's own).
    void ascending(const std::set<int>& first)
    {
        for (int reg = 1; reg <= kMaxRegister; ++reg)
            if (!first.count(reg))
                sendOne(reg);
    }

    void group0()
    {
        const bool ramp = gRampCfgMode;
        CheckBox* remote = f_.chkParameter(8050);
        CheckBox* eeprom = f_.chkParameter(8130);
        if (remote->Value() == 0)
            askRemoteChanges();
        direct(kRemoteChanges, 1, AfterFailure::Ends);
        if (ctl::Visible(eeprom) && eeprom->Value() == 0 && !autoSend_)
            question(QStringLiteral("Save To EEPROM Memory not Selected"),
                     QStringLiteral("Warning- You have selected that parameters are NOT to be stored in EEPROM "
                                    "memory.  This will cause these parameter changes to be lost if the "
                                    "instrument's power is turned off. Do you want to continue and store the "
                                    "parameters in temporary RAM memory?"));
        if (ctl::Visible(eeprom))
            direct(kEeprom, float(eeprom->Value()), AfterFailure::GoesOn);
        if (!ramp) {
            direct(kInputType, float(f_.CurInputType), AfterFailure::Ends);
            sendOne(794);
            // R, S, B and C thermocouples take no decimals.
            const int type = f_.cbxInputType(0)->ListIndex() + 1;
            if (type < 7 || type > 10)
                direct(kDecimalPoint, float(f_.CurDecimalPoint), AfterFailure::Ends);
            for (int reg = 326; reg <= 333; ++reg)
                sendOne(reg);
            sendOne(8);
            for (int reg = 775; reg <= 778; ++reg)
                sendOne(reg);
        }
        ascending({8, 326, 327, 328, 329, 330, 331, 332, 333, 775, 776, 777, 778, kInputType, 794, kDecimalPoint,
                   kRemoteChanges, kEeprom});
        direct(kRemoteChanges, float(remote->Value()), AfterFailure::GoesOn);
    }

    void group1()
    {
        const bool ramp = gRampCfgMode;
        ComboBox* commWrite = f_.cbxParameter(kCommWrite1);
        const bool commShown = ctl::Visible(commWrite);
        if (commShown && commWrite->ListIndex() == 0)
            askRemoteChanges();
        if (commShown)
            direct(kCommWrite1, 1, AfterFailure::Ends);
        if (!ramp) {
            direct(kInputType, float(f_.CurInputType), AfterFailure::Ends, true);
            // R, S and B thermocouples, and the model with a fixed decimal point, take none.
            const int type = f_.cbxInputType(1)->ListIndex();
            if ((type < 5 || type > 7) && f_.ModelID() != QLatin1String("TQ"))
                direct(kDecimalPoint, float(f_.CurDecimalPoint), AfterFailure::Ends, true);
            for (int reg : {0x811, 0x1002, 0x1003, 0x1020, 0x1021, 0x1022})
                sendOne(reg);
        }
        // The instrument's own line settings are changed only from their lists.
        ascending({kInputType, kCommWrite1, 0x811, 0x1002, 0x1003, 0x1020, 0x1021, 0x1022, 0x1071, 0x1072, 0x1073,
                   0x1074, 0x1075, 0x1076});
        if (commShown)
            direct(kCommWrite1, float(commWrite->ListIndex()), AfterFailure::GoesOn);
    }

    void group2()
    {
        ComboBox* commWrite = f_.cbxParameter(kCommWrite2);
        if (commWrite->ListIndex() == 0)
            askRemoteChanges();
        direct(kCommWrite2, 1, AfterFailure::Ends);
        if (!gRampCfgMode) {
            direct(kInputType, float(f_.CurInputType), AfterFailure::Ends, true);
            for (int reg : {0x4717, 0x4706, 0x4707, 0x4715, 0x4716})
                sendOne(reg);
        }
        ascending({kInputType, 0x4706, 0x4707, 0x4715, 0x4716, 0x4717, kCommWrite2});
        direct(kCommWrite2, float(commWrite->ListIndex()), AfterFailure::GoesOn);
    }

    FrmConfig& f_;
    const int g_;
    const bool autoSend_;
    std::set<int>* collect_ = nullptr; // while set, sendOne notes the register instead of writing it
    int current_ = 0;
    QString errText_;
    int errCode_ = 0;
};

} // namespace

void FrmConfig::SendControllerParameters(bool& Failed, bool AutoSend)
{
    Failed = true;
    Failed = !SendRun(*this, AutoSend).run();
}
