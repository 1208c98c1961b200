#include "shell/frmRegister.h"

#include <QVector>

#include "core/dispatch.h"
#include "core/helpers.h"
#include "shell/addresslist.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/builders.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "shell/toolwidgets.h"

using namespace modZarn;


FrmRegister& frmRegister() { return Forms::get<FrmRegister>(); }

namespace {

// Register types of the native registers: the status registers 12H-13H read
// with function 103, the bits 810H-816H as inputs and coils.
int NativeReadType(int reg)
{
    if (reg >= 18 && reg <= 19)
        return 5;
    if (reg >= 2064 && reg <= 2070)
        return 2;
    return 3;
}

int NativeWriteType(int reg)
{
    if (reg >= 2064 && reg <= 2070)
        return 1;
    return 3;
}

} // namespace

FrmRegister::FrmRegister()
    : AccessForm(QStringLiteral("frmRegister"), QStringLiteral("Register Access"),
                 QStringLiteral("Instrument Register Access"), 8400, 7800)
{
    ctl::label(this, QStringLiteral("Address:"), 300, 900, 1950, 330);
    cbxAddress = ctl::comboBox(this, QStringLiteral("cbxAddress"), 2400, 870, 1350, 360, true);
    ctl::label(this, QStringLiteral("Register No.:"), 300, 1380, 1950, 330);
    txtRegisterNumber = ctl::textBox(this, QStringLiteral("txtRegisterNumber"), 2400, 1350, 1350, 360);

    QGroupBox* fra = ctl::frame(this, QStringLiteral("Register No. Interpretation"), 300, 2400, 7800, 1200);
    optUseNative.setName(QStringLiteral("optUseNative"));
    optUseNative.build(
        fra, {
                 {0, ctl::Kind::OptionButton, 150, 330, 7500, 360,
                  QStringLiteral("Interprete as native hexadecimal registers, ie. 1000H && 4700H for PV")},
                 {1, ctl::Kind::OptionButton, 150, 720, 7500, 360,
                  QStringLiteral("Interprete as internal cross referenced decimal registers, ie. 2  for PV")},
             });
    optUseNative(0)->setChecked(true);

    ctl::label(this, QStringLiteral("Value:"), 300, 1860, 1950, 330);
    txtValue = ctl::textBox(this, QStringLiteral("txtValue"), 2400, 1830, 1350, 360);
    ctl::label(this, QStringLiteral("Password To Allow Writes:"), 300, 3780, 2700, 330);
    txtPassword = tool::PasswordBox(this, QStringLiteral("txtPassword"), 3000, 3750, 1800);

    buildButtons(4290, 6600);

    lblErrorMessageText = tool::ErrorLabel(this, 300, 4860, 7800);
    lblInstruction = tool::Instruction(
        this,
        QStringLiteral("    This screen allows the reading and writing of the registers in the instruments.  It is "
                       "useful for accessing registers that are not the normal part of configuring the "
                       "instruments.  Register numbers are found in the register list for the instrument series "
                       "in use.  An example would be a read from register 2 returns the current process value.  "
                       "Writing to registers could possibly cause the instrument to loose its calibration and "
                       "should be done with EXTREME CAUTION!"),
        300, 5550, 7800, 2100);
}

void FrmRegister::Form_Load()
{
    startLoad(gControllerGroup == 0, true);
    if (gRegLastGroup != gControllerGroup) {
        txtRegisterNumber->clear();
    } else {
        if (!gRegLastAddress.isEmpty())
            cbxAddress->setEditText(gRegLastAddress);
        if (!gRegLastRegister.isEmpty()) {
            txtRegisterNumber->setText(gRegLastRegister);
            optUseNative(gRegLastNumbering)->setChecked(true);
        } else {
            txtRegisterNumber->clear();
        }
    }
    // Group 0 has no native numbering of its own.
    optUseNative(0)->setEnabled(gControllerGroup != 0);
    optUseNative(1)->setEnabled(gControllerGroup != 0);
}

void FrmRegister::Form_Unload(int& cancel)
{
    (void)cancel;
    gRegLastAddress = cbxAddress->currentText();
    gRegLastRegister = txtRegisterNumber->text();
    gRegLastNumbering = optUseNative(1)->isChecked() ? 1 : 0;
    gRegLastGroup = gControllerGroup;
}

bool FrmRegister::nativeNumbering() const { return gControllerGroup != 0 && !optUseNative(1)->isChecked(); }

void FrmRegister::cmdRead_Click()
{
    int address = 0;
    const bool addressOk = instrumentAddress(gControllerGroup, address);
    txtValue->clear();
    if (!addressOk)
        return;
    QString errText;
    int errCode = 0;
    float value = 0;
    {
        const Screen::Busy busy;
        if (!nativeNumbering()) {
            const int reg = rt::CInt(rt::Val(txtRegisterNumber->text()));
            ReadInstrumentRegister(gControllerGroup, gProtocolCode, errText, errCode, address, reg, value);
        } else {
            const int reg = rt::CInt(rt::Val(QStringLiteral("&H") + rt::Trim(txtRegisterNumber->text())));
            QVector<float> values(2, 0.0f);
            if (gProtocolCode == QLatin1String("R"))
                ModbusRead_R(gControllerGroup, 0, errText, errCode, address, reg, NativeReadType(reg), 1, values);
            else if (gProtocolCode == QLatin1String("A"))
                ModbusRead_A(gControllerGroup, 0, errText, errCode, address, reg, NativeReadType(reg), 1, values);
            else
                tool::RefuseProtocol(gControllerGroup, address, gProtocolCode, errText, errCode);
            value = values[1];
        }
    }
    if (errCode != 0) {
        lblErrorMessageText->setText(errText);
    } else {
        lblErrorMessageText->clear();
        txtValue->setText(rt::Trim(rt::StrSingle(value)));
    }
}

void FrmRegister::cmdWrite_Click()
{
    if (!tool::PasswordAccepted(txtPassword, this))
        return;
    int address = 0;
    if (!instrumentAddress(gControllerGroup, address))
        return;
    // A mistyped register number must not send the value somewhere else.
    const bool native = nativeNumbering();
    int reg = 0;
    if (!tool::WriteTarget(txtRegisterNumber->text(), native, QStringLiteral("The register number"),
                           QStringLiteral("Invalid Register Number"), this, reg))
        return;
    // What the register carries on the line; a pair no path serves is
    // refused below whatever the value.
    float lower = kModbusLowest, upper = kModbusHighest;
    if (native && NativeWriteType(reg) == 1) {
        lower = 0; // a coil is off or on
        upper = 1;
    } else if (!native) {
        WriteLimits(gControllerGroup, gProtocolCode, reg, lower, upper);
    }
    float value = 0;
    if (!tool::WriteValue(txtValue->text(), false, lower, upper, this, value))
        return;
    QString errText;
    int errCode = 0;
    {
        const Screen::Busy busy;
        if (!native) {
            WriteInstrumentRegister(gControllerGroup, gProtocolCode, errText, errCode, address, reg, value);
        } else {
            QVector<float> values(2, 0.0f);
            values[1] = value;
            if (gProtocolCode == QLatin1String("R"))
                ModbusWrite_R(gControllerGroup, 0, errText, errCode, address, reg, NativeWriteType(reg), 1, values);
            else if (gProtocolCode == QLatin1String("A"))
                ModbusWrite_A(gControllerGroup, 0, errText, errCode, address, reg, NativeWriteType(reg), 1, values);
            else
                tool::RefuseProtocol(gControllerGroup, address, gProtocolCode, errText, errCode);
        }
    }
    if (errCode != 0)
        lblErrorMessageText->setText(errText);
    else
        lblErrorMessageText->clear();
}
