// Reading an instrument's whole configuration into the screen: its model,
// decimal point and input type, then every register the model has, one
// synchronous exchange each, in ascending order.
#include <QScopedValueRollback>
#include <cmath>

#include "config/fieldrule.h"
#include "config/frmConfig.h"
#include "config/parammap.h"
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
constexpr int kAlarm2Type = 800;

// The run ends here; the widgets filled so far stay filled.
struct ReadEnded {};

class ReadRun {
public:
    explicit ReadRun(FrmConfig& f) : f_(f), g_(gControllerGroup) {}

    void run()
    {
        if (gDemoMode && !cfgxfer::LeaveDemoMode(f_, QStringLiteral("read from the controller")))
            return; // nothing read, nothing changed
        const auto routine = [this] {
            return QStringLiteral("frmConfig.ReadControllerParameters, Parameter >") + f_.GStr(current_);
        };
        ctl::guard(&f_, routine, [this] {
            try {
                steps();
                f_.SetupFormFields();
                // Values are shown as read, but never without a word when
                // their fields do not allow them.
                cfgrule::WarnOfStrays(f_);
            } catch (const ReadEnded&) {
            }
        });
        f_.lblProgress->setText(QString());
    }

private:
    void steps()
    {
        if (!gRampCfgMode)
            model();
        decimalPointAndInputType();
        registerPass();
    }

    void model()
    {
        float value = 0;
        if (!read(kModelRegister, value, false))
            throw ReadEnded{};
        QString id, caption, name;
        int slot = 0;
        ModelFromRegisterValue(g_, value, id, caption, slot, name);
        if (slot != 0) {
            loading([&] {
                // The model list holds the group's models in table order.
                f_.cbxModelID(g_)->setListIndex(slot - 1);
                f_.lblModelType(g_)->setText(caption);
                f_.CurModelIndex = slot;
            });
            return;
        }
        const QString shown = f_.cbxModelID(g_)->Text();
        const QString screenModel = rt::Trim(shown.left(shown.size() - 2));
        const int answer = mb::MsgBox(
            QStringLiteral("The Model ID >") + id + QStringLiteral(" (Code=") + rt::Trim(rt::StrSingle(value))
                + QStringLiteral(") does not exist as a valid model ID in file ") + gModelFileName
                + QStringLiteral(".  If the model you communicating to is not a model ") + screenModel
                + QStringLiteral(" then you must manually select the Model ID in order to properly read the "
                                 "instrument parameters.  Do you want to continue with the reading of the "
                                 "instrument parameters?"),
            mb::YesNo, QStringLiteral("Invalid Model ID"), &f_);
        if (answer != mb::Yes)
            throw ReadEnded{};
    }

    // Reads one of the settings the scaling depends on; a value outside
    // [low, high] is refused and the screen keeps the setting it had.
    int setting(int reg, int low, int high, const QString& what, const QString& title)
    {
        float value = 0;
        if (!read(reg, value, false, rt::Str(reg)))
            throw ReadEnded{};
        const int n = rt::CInt(value);
        if (n < low || n > high) {
            mb::MsgBox(QStringLiteral("The ") + what + QStringLiteral(" setting >") + rt::Str(n)
                           + QStringLiteral(" from the instrument is invalid.  This instrument cannot be configured."),
                       mb::Critical, title, &f_);
            throw ReadEnded{};
        }
        return n;
    }

    int decimalPoint(int high)
    {
        return setting(kDecimalPoint, 0, high, QStringLiteral("Decimal Point"),
                       QStringLiteral("Invalid Decimal Point Parameter"));
    }

    void inputType(int low, int high, int listOffset)
    {
        const int n = setting(kInputType, low, high, QStringLiteral("Input Type"),
                              QStringLiteral("Invalid Input Type Parameter"));
        f_.CurInputType = n;
        loading([&] { f_.cbxInputType(g_)->setListIndex(n - listOffset); });
    }

    void takeDecimalPoint(int n)
    {
        f_.CurDecimalPoint = n;
        loading([&] { f_.cbxDecimalPoint(g_)->setListIndex(n); });
        f_.Changed = false;
    }

    void decimalPointAndInputType()
    {
        switch (g_) {
        case 0:
            takeDecimalPoint(decimalPoint(3));
            inputType(1, 17, 1);
            if (gRampCfgMode) {
                float value = 0;
                f_.RampRegPresent = read(kAlarm2Type, value, true, f_.GStr(kAlarm2Type));
            }
            break;
        case 1:
            if (f_.ModelID() == QLatin1String("TQ")) {
                // The fixed decimal point of this model is chosen as the user
                // would, so the list's own rules run for it.
                f_.CurDecimalPoint = 1;
                f_.cbxDecimalPoint(1)->setListIndex(1);
                f_.cbxDecimalPoint(1)->setVisible(false);
                f_.lblDecimalPoint(1)->setVisible(false);
                f_.Changed = false;
            } else {
                f_.cbxDecimalPoint(1)->setVisible(true);
                f_.lblDecimalPoint(1)->setVisible(true);
                takeDecimalPoint(decimalPoint(1));
            }
            inputType(0, 17, 0);
            break;
        case 2:
            f_.Changed = false;
            inputType(0, 18, 0);
            break;
        default:
            break;
        }
    }

    void registerPass()
    {
        if (f_.CurModelIndex < 0 || f_.CurModelIndex > kMaxModels)
            rt::raise(rt::ErrSubscript);
        const std::vector<bool>& has = gModelHasRegister[std::size_t(f_.CurModelIndex)];
        for (int reg = 1; reg <= kMaxRegister; ++reg) {
            const int kind = cfgxfer::FieldKind(reg);
            if (!has[std::size_t(reg)] || kind < 1 || kind > 3)
                continue;
            current_ = reg;
            if (kind == 1)
                textField(reg);
            else if (kind == 2)
                list(reg);
            else
                bitField(reg);
        }
    }

    void textField(int reg)
    {
        float raw = 0;
        if (!read(reg, raw, false, f_.GStr(reg), true))
            return;
        loading([&] {
            if (reg >= cfgmap::kReset1 && reg <= cfgmap::kReset4) {
                f_.cbxReset(reg)->setListIndex(raw < 0 ? 0 : 1);
                if (raw < 0)
                    raw = -raw;
            }
            if (reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast) {
                const int i = reg - cfgmap::kPattTimeFirst;
                f_.txtPattHour(i)->setText(rt::Format(std::floor(raw / 60), QStringLiteral("00")));
                f_.txtPattMin(i)->setText(rt::Format(rt::CLng(raw) % 60, QStringLiteral("00")));
                return;
            }
            float scale = 1;
            const QString format = f_.DecimalPointFormat(reg, scale);
            f_.txtParameter(reg)->setText(rt::Format(raw / scale, format));
        });
    }

    // The list position an instrument value stands for.
    int listIndex(int reg, float raw) const
    {
        const auto clamped = [&](float v) {
            const auto& field = gCfgField[std::size_t(reg)];
            if (v < float(field[2]))
                v = float(field[2]);
            if (v > float(field[3]))
                v = float(field[3]);
            return rt::CInt(v);
        };
        if (reg == 769 || reg == 772)
            return raw == 0 || raw == 1 ? 0 : raw == 6 ? 1 : raw == 8 ? 2 : 3;
        if (reg >= 775 && reg <= 778) {
            if (raw == 0 || raw == 4)
                return 0;
            return raw == 16 ? 1 : raw == 32 ? 2 : raw == 48 ? 3 : raw == 64 ? 4 : 3;
        }
        if (reg == 0x1071)
            return clamped(raw - 1);
        if (reg == 0x4731)
            return raw == 2 ? 1 : raw == 22 ? 2 : 0;
        if (reg == 0x102C)
            return raw == 1 ? 1 : raw == 11 ? 2 : 0;
        return clamped(raw);
    }

    void list(int reg)
    {
        float raw = 0;
        if (!read(reg, raw, false, f_.GStr(reg), true))
            return;
        loading([&] {
            f_.cbxParameter(reg)->setListIndex(listIndex(reg, raw));
            // Self Tune read as 0 or 4 also tells whether the stage is learning.
            if (reg >= 775 && reg <= 778 && (raw == 0 || raw == 4)) {
                static constexpr int kLearning[] = {10670, 10690, 10710, 10730};
                f_.chkParameter(kLearning[reg - 775])->setValue(raw == 4 ? 1 : 0);
            }
        });
    }

    void bitField(int reg)
    {
        switch (reg) {
        case 1028: case 1029: case 1031: case 1032: case 1035: case 1036:
            // Write-only commands: never read, and unticked as a user would.
            f_.chkParameter(reg * 10)->setValue(0);
            return;
        default:
            if (reg >= 1067 && reg <= 1074) // follow the tuning-type lists
                return;
        }
        float raw = 0;
        if (!read(reg, raw, false, f_.GStr(reg), true))
            return;
        loading([&] { f_.DistributeBits(reg, raw); });
    }

    // One read. `progressText` names the register in the progress label
    // (none for the model read). A failure goes to the error step (unless
    // `quiet`); false then means: skip this register (only during the pass,
    // after a Yes), otherwise the run has ended.
    bool read(int reg, float& value, bool quiet, const QString& progressText = QString(), bool inPass = false)
    {
        if (!progressText.isNull()) {
            f_.lblProgress->setText(QStringLiteral("Reading Parameter") + progressText);
            f_.repaint();
        }
        QString errText;
        int errCode = 0;
        ReadInstrumentRegister(g_, gProtocolCode, errText, errCode, AddressBoxNumber(g_, f_.cbxAddress->Text()), reg,
                               value);
        if (errCode == 0)
            return true;
        if (quiet)
            return false;
        reportReadError(errText, errCode);
        if (!inPass)
            throw ReadEnded{};
        return false;
    }

    // Tells which parameter could not be read; a register that is not
    // available may be passed over, any other failure ends the run.
    void reportReadError(const QString& errText, int errCode)
    {
        if (!cfgxfer::ReportExchangeError(f_, current_, errText, errCode == 2,
                                          QStringLiteral("Read Instrument Communications Error"),
                                          QStringLiteral(" This parameter is not available in the instrument.  Do "
                                                         "you want to continue and try the next parameter ?")))
            throw ReadEnded{};
    }

    // Fills widgets as read, not as edited: their change handlers stay still.
    template <class F>
    void loading(F&& write)
    {
        const QScopedValueRollback loading(f_.Loading, true);
        write();
    }

    FrmConfig& f_;
    const int g_;
    int current_ = 0;
};

} // namespace

void FrmConfig::ReadControllerParameters() { ReadRun(*this).run(); }
