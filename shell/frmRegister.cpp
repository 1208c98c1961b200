#include "shell/frmRegister.h"

#include <QGroupBox>
#include <QVector>

#include "core/dispatch.h"
#include "core/helpers.h"
#include "shell/addresslist.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/msgbox.h"
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
{
    setObjectName(QStringLiteral("frmRegister"));
    setWindowTitle(QStringLiteral("Register Access"));
    setFixedSize(560, 520);
    setEnterMovesFocus(true);

    lblTitle = tool::TitleLabel(this, QStringLiteral("Instrument Register Access"));
    lblDemoMode = tool::DemoLabel(this);

    tool::Label(this, QStringLiteral("Address:"), 20, 60, 130);
    cbxAddress = tool::EditCombo(this, 160, 58, 90);
    tool::Label(this, QStringLiteral("Register No.:"), 20, 92, 130);
    txtRegisterNumber = tool::TextBox(this, 160, 90, 90);

    auto* fra = new QGroupBox(QStringLiteral("Register No. Interpretation"), this);
    fra->setGeometry(20, 160, 520, 80);
    optUseNative.add(0, new QRadioButton(
                            QStringLiteral("Interprete as native hexadecimal registers, ie. 1000H && 4700H for PV"), fra));
    optUseNative.add(1, new QRadioButton(
                            QStringLiteral("Interprete as internal cross referenced decimal registers, ie. 2  for PV"), fra));
    for (int i = 0; i <= 1; ++i) {
        optUseNative(i)->setGeometry(10, 22 + 26 * i, 500, 24);
    }
    optUseNative(0)->setChecked(true);

    tool::Label(this, QStringLiteral("Value:"), 20, 124, 130);
    txtValue = tool::TextBox(this, 160, 122, 90);
    tool::Label(this, QStringLiteral("Password To Allow Writes:"), 20, 252, 180);
    txtPassword = tool::PasswordBox(this, 200, 250, 120);

    cmdRead = new QPushButton(QStringLiteral("&Read"), this);
    cmdRead->setGeometry(20, 286, 100, 30);
    cmdWrite = new QPushButton(QStringLiteral("&Write"), this);
    cmdWrite->setGeometry(140, 286, 100, 30);
    cmdClose = new QPushButton(QStringLiteral("C&lose"), this);
    cmdClose->setGeometry(440, 286, 100, 30);

    lblErrorMessageText = tool::ErrorLabel(this, 20, 324, 520);
    lblInstruction = tool::Instruction(
        this,
        QStringLiteral("    This screen allows the reading and writing of the registers in the instruments.  It is "
                       "useful for accessing registers that are not the normal part of configuring the "
                       "instruments.  Register numbers are found in the register list for the instrument series "
                       "in use.  An example would be a read from register 2 returns the current process value.  "
                       "Writing to registers could possibly cause the instrument to loose its calibration and "
                       "should be done with EXTREME CAUTION!"),
        20, 370, 520, 140);

    connect(cmdRead, &QPushButton::clicked, this, [this] { cmdRead_Click(); });
    connect(cmdWrite, &QPushButton::clicked, this, [this] { cmdWrite_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void FrmRegister::Form_Load()
{
    try {
        lblErrorMessageText->clear();
        txtValue->clear();
        txtPassword->clear();
        FillAddressCombo(cbxAddress, gControllerGroup == 0, true);
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
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("frmRegister.Form_Load"));
    }
}

void FrmRegister::Form_Activate() { lblDemoMode->setVisible(gDemoMode); }

void FrmRegister::Form_Unload(int& cancel)
{
    (void)cancel;
    gRegLastAddress = cbxAddress->currentText();
    gRegLastRegister = txtRegisterNumber->text();
    gRegLastNumbering = optUseNative(1)->isChecked() ? 1 : 0;
    gRegLastGroup = gControllerGroup;
}

bool FrmRegister::nativeNumbering() const { return gControllerGroup != 0 && !optUseNative(1)->isChecked(); }

bool FrmRegister::instrumentAddress(int& address)
{
    address = GetComboAddress(cbxAddress);
    if (address >= 1 && address <= 255)
        return true;
    // 0 would reach every instrument on the line at once, anything above 255
    // is no address at all: nothing is sent.
    lblErrorMessageText->setText(tool::AddressRangeText(gControllerGroup, cbxAddress->currentText()));
    return false;
}

void FrmRegister::cmdRead_Click()
{
    try {
        int address = 0;
        const bool addressOk = instrumentAddress(address);
        txtValue->clear();
        if (!addressOk)
            return;
        Screen::setMousePointer(Screen::Hourglass);
        QString errText;
        int errCode = 0;
        float value = 0;
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
        Screen::setMousePointer(Screen::Default);
        if (errCode != 0) {
            lblErrorMessageText->setText(errText);
        } else {
            lblErrorMessageText->clear();
            txtValue->setText(rt::Trim(rt::StrSingle(value)));
        }
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        mb::AppError(e, QStringLiteral("frmRegister.cmdRead_Click"));
    }
}

void FrmRegister::cmdWrite_Click()
{
    try {
        if (!tool::PasswordAccepted(txtPassword, this))
            return;
        int address = 0;
        if (!instrumentAddress(address))
            return;
        const float value = rt::CSng(rt::Val(txtValue->text()));
        Screen::setMousePointer(Screen::Hourglass);
        QString errText;
        int errCode = 0;
        if (!nativeNumbering()) {
            const int reg = rt::CInt(rt::Val(txtRegisterNumber->text()));
            WriteInstrumentRegister(gControllerGroup, gProtocolCode, errText, errCode, address, reg, value);
        } else {
            const int reg = rt::CInt(rt::Val(QStringLiteral("&H") + rt::Trim(txtRegisterNumber->text())));
            QVector<float> values(2, 0.0f);
            values[1] = value;
            if (gProtocolCode == QLatin1String("R"))
                ModbusWrite_R(gControllerGroup, 0, errText, errCode, address, reg, NativeWriteType(reg), 1, values);
            else if (gProtocolCode == QLatin1String("A"))
                ModbusWrite_A(gControllerGroup, 0, errText, errCode, address, reg, NativeWriteType(reg), 1, values);
            else
                tool::RefuseProtocol(gControllerGroup, address, gProtocolCode, errText, errCode);
        }
        Screen::setMousePointer(Screen::Default);
        if (errCode != 0)
            lblErrorMessageText->setText(errText);
        else
            lblErrorMessageText->clear();
    } catch (const rt::RtError& e) {
        Screen::setMousePointer(Screen::Default);
        mb::AppError(e, QStringLiteral("frmRegister.cmdWrite_Click"));
    }
}

void FrmRegister::cmdClose_Click() { Unload(); }
