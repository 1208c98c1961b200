#include "monitor/frmStatus.h"

#include <QSignalBlocker>

#include "core/dispatch.h"
#include "core/modZarn.h"
#include "core/transports.h"
#include "platform/builders.h"
#include "platform/clock.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/twips.h"
#include "shell/addresslist.h"

using namespace modZarn;

FrmStatus& frmStatus() { return Forms::get<FrmStatus>(); }

namespace {

constexpr int kFormWidth = 9600; // twips

// Program registers the poll reads.
constexpr int kModelRegister = 1794;    // 702H: two characters of the model ID
constexpr int kProcessValue = 2;
constexpr int kStatusWord = 3;
constexpr int kErrorWord = 4;
constexpr int kAlarm1Mode = 799;        // 31FH, group 0
constexpr int kAlarm2Mode = 801;        // 321H, group 0
constexpr int kSetPoint = 257;          // 101H
constexpr int kCommVersion = 1793;      // 701H
constexpr int kSoftVersion = 1795;      // 703H
// "Zarn Link" commands of the two versions, read directly in group 0.
constexpr int kZarnCommVersionCmd = 0x700;
constexpr int kZarnSoftVersionCmd = 0x702;

// Label text colours, &HBBGGRR.
constexpr quint32 kBlack = 0x000000;
constexpr quint32 kAutoGreen = 0x00C000; // (0, 192, 0)
constexpr quint32 kAlarmRed = 0x0000FF;  // (255, 0, 0)

// What the screen shows in demo mode.
constexpr float kDemoModel = 21591; // "TW"
constexpr int kDemoStatusWord = 2050;
constexpr int kDemoErrorWord = 320;
constexpr float kDemoSetPoint = 84;
constexpr float kDemoSoftVersion = 1281; // 0501H
constexpr float kDemoCommVersion = 1793; // 0701H

// Unit error texts of group 0: the NAT flag, then the error-word bits in the
// order they are listed.
const char* const kNatText = "No Activity Timer (NAT) Error";
struct BitText {
    int bit;
    const char* text;
};
const BitText kGroup0Bits[] = {
    {15, "Unit Failed Self-test"},
    {13, "Unit Calibration bad"},
    {12, "Input overflow"},
    {11, "Input underflow"},
    {10, "Bad input"},
    {9, "Open input"},
    {8, "Unit Ambient Temp. beyond spec."},
    {7, "Control Loop break"},
    {6, "Sensor rate of change exceeds limit"},
};

// Unit error texts of groups 1 and 2 by code (index 1..7); empty: no line.
const char* const kGroup1Codes[8] = {"",
                                     "",
                                     "Initial Process",
                                     "Sensor is not connected",
                                     "Sensor input error",
                                     "Sensor value exceeds range",
                                     "ADC input error",
                                     "Memory read/write error"};
const char* const kGroup2Codes[8] = {"",
                                     "Initial Process",
                                     "Sensor is not stable",
                                     "Sensor is not connected",
                                     "Sensor input error",
                                     "Sensor value exceeds range",
                                     "ADC input error",
                                     "Memory read/write error"};

void setTextColor(QLabel* l, quint32 c)
{
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color::toQColor(c));
    l->setPalette(p);
}

// Two pairs of hexadecimal digits of a version register, joined by `sep`.
QString VersionText(float v, const QString& sep)
{
    const QString h = Hex4(v);
    return h.left(2) + sep + h.mid(2, 2);
}

bool isHiddenModeModel(const QString& id)
{
    return id == QLatin1String("R7") || id == QLatin1String("31") || id == QLatin1String("7M");
}

// A failed instrument read ends the tick: thrown past the remaining steps and
// caught at the end of the tick.
struct TickEnded {};

} // namespace

quint32 TextColor(const QLabel* l)
{
    const QColor c = l->palette().color(QPalette::WindowText);
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

FrmStatus::FrmStatus() : tmrPoll(1000, [this] { tmrPoll_Timer(); }, this)
{
    setObjectName(QStringLiteral("frmStatus"));
    setWindowTitle(QStringLiteral("Controller Status"));
    setFixedSize(tw::px(kFormWidth), tw::px(7800));

    lblTitle = ctl::label(this, QStringLiteral("Instrument Status"), 0, 1170, kFormWidth, 420);
    lblTitle->setAlignment(Qt::AlignCenter);
    QFont tf = lblTitle->font();
    tf.setPointSize(14);
    tf.setBold(true);
    lblTitle->setFont(tf);
    lblDemoMode = ctl::label(this, QStringLiteral("Demo Mode"), 180, 1230, 1650, 300);
    lblDemoMode->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    lblDemoMode->setVisible(false);

    lblAddress = ctl::label(this, QStringLiteral("Address:"), 300, 1740, 1050, 300);
    cbxAddress = ctl::comboBox(this, QStringLiteral("cbxAddress"), 1410, 1710, 1200, 360, true);
    lblDateTime = ctl::label(this, QString(), 6600, 1740, 2700, 300);
    lblDateTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    fraModelInfo = ctl::frame(this, QStringLiteral("Model Info"), 240, 2190, kFormWidth - 480, 1560);
    lblLabels.add(0, ctl::label(fraModelInfo, QStringLiteral("Model I.D. #:"), 180, 330, 1950, 300));
    lblModelIDText = ctl::label(fraModelInfo, QString(), 2190, 330, 600, 300);
    lblModelType = ctl::label(fraModelInfo, QString(), 2850, 330, kFormWidth - 480 - 3000, 300);
    lblSoftVer = ctl::label(fraModelInfo, QStringLiteral("Software Version #:"), 180, 720, 1950, 300);
    lblSoftVerText = ctl::label(fraModelInfo, QString(), 2190, 720, 1800, 300);
    lblCommVer = ctl::label(fraModelInfo, QStringLiteral("Comm. Version #:"), 180, 1110, 1950, 300);
    lblCommVerText = ctl::label(fraModelInfo, QString(), 2190, 1110, 1800, 300);

    // Captions at cx, values at vx, one row every dy (twips).
    const int cx = 300, vx = 2400, y0 = 3930, dy = 390, cw = 2040, vw = 2250, h = 300;
    lblLabels.add(1, ctl::label(this, QStringLiteral("Process Value:"), cx, y0, cw, h));
    lblProcessValueText = ctl::label(this, QString(), vx, y0, vw, h);
    lblSetpoint = ctl::label(this, QStringLiteral("Setpoint  Value:"), cx, y0 + dy, cw, h);
    lblSetpointText = ctl::label(this, QString(), vx, y0 + dy, vw, h);
    lblMode = ctl::label(this, QStringLiteral("A/M Mode:"), cx, y0 + 2 * dy, cw, h);
    lblModeText = ctl::label(this, QString(), vx, y0 + 2 * dy, vw, h);
    lblLabels.add(2, ctl::label(this, QStringLiteral("Comm. Mode:"), cx, y0 + 3 * dy, cw, h));
    lblCommModeText = ctl::label(this, QString(), vx, y0 + 3 * dy, vw, h);
    lblAlm1Stat = ctl::label(this, QStringLiteral("Alarm 1 Output:"), cx, y0 + 4 * dy, cw, h);
    lblAlm1StatText = ctl::label(this, QString(), vx, y0 + 4 * dy, vw, h);
    lblAlm2Stat = ctl::label(this, QStringLiteral("Alarm 2 Output:"), cx, y0 + 5 * dy, cw, h);
    lblAlm2StatText = ctl::label(this, QString(), vx, y0 + 5 * dy, vw, h);
    for (QLabel* v : {lblProcessValueText, lblSetpointText, lblModeText, lblCommModeText, lblAlm1StatText,
                      lblAlm2StatText}) {
        QFont f = v->font();
        f.setBold(true);
        v->setFont(f);
    }

    lblLabels.add(3, ctl::label(this, QStringLiteral("Instrument Unit Errors"), 4950, y0, 4200, h));
    lisUnitErrors = ctl::listBox(this, QString(), 4950, y0 + 330, 4350, 2010);

    lblErrorMessageText = ctl::label(this, QString(), 240, 6450, kFormWidth - 480, 660);
    lblErrorMessageText->setWordWrap(true);
    lblErrorMessageText->setStyleSheet(QStringLiteral("color: #a00000"));

    cbxAddress->Click = [this] { cbxAddress_Click(); };
    // A typed address is a new choice as much as a picked one: nothing of the
    // instrument shown before may stand beside it.
    cbxAddress->Change = [this] { cbxAddress_Click(); };
    tmrPoll.setRoutine(QStringLiteral("frmStatus.tmrPoll_Timer"));
}

void FrmStatus::FillAddresses()
{
    // Refilling the list is no choice of the user's: the fields stay.
    const QSignalBlocker quiet(cbxAddress);
    FillAddressCombo(cbxAddress, gControllerGroup == 0, true);
    LoadedGroup = gControllerGroup;
}

void FrmStatus::Form_Load()
{
    // Nothing here may keep the screen from loading: a step that fails is
    // passed over and the next one runs.
    ctl::skipOnFailure([this] { FillAddresses(); });
    LoadedGroup = gControllerGroup;
    ctl::skipOnFailure([this] { ClearAllFields(); });
}

void FrmStatus::Form_Activate()
{
    lblDemoMode->setVisible(gDemoMode);
    if (gControllerGroup != LoadedGroup)
        FillAddresses();
    tmrPoll.setEnabled(true);
    if (gDemoMode)
        tmrPoll.tick();
}

void FrmStatus::Form_Deactivate() { tmrPoll.setEnabled(false); }

void FrmStatus::cbxAddress_Click() { ClearAllFields(); }

void FrmStatus::ClearAllFields()
{
    for (QLabel* l : {lblErrorMessageText, lblDateTime, lblModeText, lblCommModeText, lblAlm1StatText,
                      lblAlm2StatText, lblProcessValueText})
        l->clear();
    lisUnitErrors->Clear();
    LastErrorWord = 0;
    LastNatFlag = 0;
    for (QLabel* l : {lblSetpointText, lblModelIDText, lblModelType, lblSoftVerText, lblCommVerText})
        l->clear();
}

int FrmStatus::address() const { return AddressBoxNumber(gControllerGroup, cbxAddress->currentText()); }

void FrmStatus::ShowModel(float code)
{
    QString modelID, typeCaption, modelName;
    int modelIndex = 0;
    ModelFromRegisterValue(gControllerGroup, code, modelID, typeCaption, modelIndex, modelName);
    lblModelIDText->setText(modelID);
    lblModelType->setText(modelName + QStringLiteral(", ") + typeCaption);
    // These models have no auto/manual mode.
    const bool hasMode = !isHiddenModeModel(modelID);
    lblMode->setVisible(hasMode);
    lblModeText->setVisible(hasMode);
}

void FrmStatus::ShowModes(int statusWord)
{
    if (BitState(15, float(statusWord))) {
        lblModeText->setText(QStringLiteral("Manual"));
        setTextColor(lblModeText, kBlack);
    } else {
        lblModeText->setText(QStringLiteral("Auto"));
        setTextColor(lblModeText, kAutoGreen);
    }
    lblCommModeText->setText(BitState(14, float(statusWord)) ? QStringLiteral("Remote") : QStringLiteral("Local"));
}

void FrmStatus::ShowAlarm(QLabel* text, bool on)
{
    text->setText(on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    setTextColor(text, on ? kAlarmRed : kBlack);
}

void FrmStatus::ShowProcessValue(int raw, float divisor, const QString& formatText, const QString& unitText)
{
    if (divisor == 0)
        rt::raise(rt::ErrDivisionByZero);
    // The unit texts begin with their blank.
    lblProcessValueText->setText(rt::Format(float(raw) / divisor, formatText) + unitText);
}

void FrmStatus::ShowUnitErrorsGroup0(int errorWord, int natFlag)
{
    if (errorWord == LastErrorWord && natFlag == LastNatFlag)
        return;
    LastErrorWord = errorWord;
    LastNatFlag = natFlag;
    lisUnitErrors->Clear();
    if (natFlag)
        lisUnitErrors->AddItem(QString::fromLatin1(kNatText));
    for (const BitText& b : kGroup0Bits)
        if (BitState(b.bit, float(errorWord)))
            lisUnitErrors->AddItem(QString::fromLatin1(b.text));
}

void FrmStatus::ShowUnitErrorLine(int code, const QString& line)
{
    if (code == LastErrorWord)
        return;
    LastErrorWord = code;
    lisUnitErrors->Clear();
    if (!line.isEmpty())
        lisUnitErrors->AddItem(line);
}

void FrmStatus::tmrPoll_Timer()
{
    lblDateTime->setText(Clock::localNow().toString(u"MM/dd/yyyy HH:mm:ss"));
    if (gDemoMode) {
        DemoTick();
        return;
    }

    const int group = gControllerGroup;
    const QString protocol = gProtocolCode;
    QString errText;
    int errCode = 0;

    // One read; a failure shows its text and ends the tick, unless it is
    // "not available" and the caller takes that quietly.
    auto fail = [&] {
        lblErrorMessageText->setText(errText);
        throw TickEnded{};
    };
    auto read = [&](int reg, bool quietIfMissing = false) {
        float value = 0;
        ReadInstrumentRegister(group, protocol, errText, errCode, address(), reg, value);
        if (errCode == 2 && quietIfMissing)
            return value;
        if (errCode != 0)
            fail();
        return value;
    };
    auto readCleared = [&](int reg, bool quietIfMissing = false) {
        const float v = read(reg, quietIfMissing);
        if (errCode == 0)
            lblErrorMessageText->clear();
        return v;
    };

    try {
        ShowModel(readCleared(kModelRegister));
        const int raw = rt::CInt(readCleared(kProcessValue));
        const int status = rt::CInt(readCleared(kStatusWord));
        float divisor = 0;
        QString formatText, unitText;
        int alarm1 = 0, alarm2 = 0;
        DecodeStatusWord(group, status, divisor, formatText, unitText, alarm1, alarm2);
        const int errorWord = rt::CInt(readCleared(kErrorWord));

        ShowModes(status);

        if (group == 0) {
            // An alarm output is on when its flag disagrees with bit 1 of its
            // mode (the mode inverts the output); a mode the instrument does
            // not have leaves the label as it was.
            const float mode1 = readCleared(kAlarm1Mode, true);
            if (errCode == 0)
                ShowAlarm(lblAlm1StatText, (alarm1 != 0) != BitState(1, mode1));
            const float mode2 = readCleared(kAlarm2Mode, true);
            if (errCode == 0)
                ShowAlarm(lblAlm2StatText, (alarm2 != 0) != BitState(1, mode2));
        } else {
            ShowAlarm(lblAlm1StatText, alarm1 != 0);
            ShowAlarm(lblAlm2StatText, alarm2 != 0);
        }

        const int natFlag = BitState(7, float(status)) ? -1 : 0;
        ShowProcessValue(raw, divisor, formatText, unitText);

        if (group == 0) {
            ShowUnitErrorsGroup0(errorWord, natFlag);
        } else if (group == 1) {
            // The error words 8002H..8007H carry the codes 2..7.
            const int pattern = errorWord & 0xFFFF;
            const int code = pattern >= 0x8002 && pattern <= 0x8007 ? pattern - 0x8000 : 0;
            ShowUnitErrorLine(code, QString::fromLatin1(kGroup1Codes[code]));
        } else {
            const bool known = errorWord >= 1 && errorWord <= 7;
            ShowUnitErrorLine(errorWord, known ? QString::fromLatin1(kGroup2Codes[errorWord]) : QString());
        }

        {
            QString valueText, spUnit, spFormat;
            float value = 0, spDivisor = 0;
            int a1 = 0, a2 = 0;
            ReadProcessValue(group, protocol, errText, errCode, address(), kSetPoint, valueText, spUnit, spFormat,
                             value, spDivisor, a1, a2);
            const bool hasSetPoint = errCode != 2;
            lblSetpoint->setVisible(hasSetPoint);
            lblSetpointText->setVisible(hasSetPoint);
            if (hasSetPoint) {
                if (errCode != 0)
                    fail();
                lblSetpointText->setText(valueText + spUnit);
            }
        }

        if (group == 0 && protocol == QLatin1String("Z")) {
            lblCommVer->setVisible(true);
            auto zarnText = [&](int cmd, int reg) {
                QString valueText, zUnit, zFormat;
                float value = 0, zDivisor = 0, zRaw = 0;
                int a1 = 0, a2 = 0;
                QByteArray reply;
                ZarnLinkRead(errText, errCode, address(), cmd, valueText, zUnit, zFormat, value, zDivisor, a1, a2,
                             reg, reply, zRaw);
                if (errCode != 0)
                    fail();
                return valueText;
            };
            lblCommVerText->setText(zarnText(kZarnCommVersionCmd, kCommVersion));
            const QString soft = zarnText(kZarnSoftVersionCmd, kSoftVersion);
            lblSoftVerText->setText(soft.mid(0, 2) + QLatin1Char(' ') + soft.mid(2, 2) + QLatin1Char(' ') +
                                    soft.mid(4, 2));
        } else if (group == 0 && protocol == QLatin1String("R")) {
            lblCommVer->setVisible(true);
            lblCommVerText->setText(VersionText(read(kCommVersion), QStringLiteral(" ")));
            lblSoftVerText->setText(VersionText(read(kSoftVersion), QStringLiteral(" ")));
        } else if (group != 0) {
            lblCommVer->setVisible(false);
            lblSoftVerText->setText(VersionText(read(kSoftVersion), QStringLiteral(".")));
        }
    } catch (const TickEnded&) {
    }
}

void FrmStatus::DemoTick()
{
    const int group = gControllerGroup;
    lblErrorMessageText->clear();
    ShowModel(kDemoModel);

    const int raw = rt::CInt(84 + 3 * rt::Rnd());
    float divisor = 0;
    QString formatText, unitText;
    int alarm1 = 0, alarm2 = 0;
    DecodeStatusWord(group, kDemoStatusWord, divisor, formatText, unitText, alarm1, alarm2);
    ShowModes(kDemoStatusWord);
    ShowAlarm(lblAlm1StatText, alarm1 != 0);
    ShowAlarm(lblAlm2StatText, alarm2 != 0);

    const int natFlag = BitState(7, float(kDemoStatusWord)) ? -1 : 0;
    ShowProcessValue(raw, divisor, formatText, unitText);
    ShowUnitErrorsGroup0(kDemoErrorWord, natFlag);

    formatText = QStringLiteral("#,###,###,##0");
    lblSetpoint->setVisible(true);
    lblSetpointText->setVisible(true);
    lblSetpointText->setText(rt::Format(kDemoSetPoint, formatText) + unitText);

    lblSoftVerText->setText(VersionText(kDemoSoftVersion, QStringLiteral(" ")));
    lblCommVerText->setText(VersionText(kDemoCommVersion, QStringLiteral(" ")));
    lblCommVer->setVisible(group == 0);
}
