#include "config/parammap.h"

#include <array>

namespace cfgmap {

namespace {

constexpr int kBlue = 0x0000FF;
constexpr int kPurple = 0xC000C0;
constexpr int kRust = 0xC04000;
constexpr int kRed = 0xFF0000;

// Builds one group's map: entries go onto the current page and into the
// current section column.
class Builder {
public:
    Builder(int group, QStringList tabs, int modelTop, int descriptionTop)
    {
        m.group = group;
        m.tabs = std::move(tabs);
        m.modelTop = modelTop;
        m.descriptionTop = descriptionTop;
    }

    void tab(int p)
    {
        page_ = p;
        section_ = -1;
    }
    void column(const QString& heading, int left, int top, int width, int labelWidth)
    {
        m.sections.push_back({page_, heading, left, top, width, labelWidth});
        section_ = int(m.sections.size()) - 1;
    }
    Entry& text(int reg, const QString& caption, const QString& initial)
    {
        Entry e = make(reg, Editor::Text, caption);
        e.initial = initial;
        return add(e);
    }
    Entry& list(int reg, const QString& caption, const QStringList& items, int def = 0)
    {
        Entry e = make(reg, Editor::List, caption);
        e.items = items;
        e.defaultIndex = def;
        return add(e);
    }
    Entry& check(int reg, int bit, const QString& caption, bool ticked = false)
    {
        Entry e = make(reg, Editor::Check, caption);
        e.bit = bit;
        e.ticked = ticked;
        return add(e);
    }
    // Reset or offset of one tuning stage: mode list, value, unit label.
    Entry& reset(int reg)
    {
        Entry e = make(reg, Editor::Reset, QStringLiteral("Unit"));
        e.initial = QStringLiteral("7.0");
        e.items = {QStringLiteral("Automatic Reset Time"), QStringLiteral("Man. Offset Correction")};
        return add(e);
    }
    Entry& perGroup(Editor editor, const QString& caption, const QStringList& items, int def)
    {
        Entry e = make(0, editor, caption);
        e.items = items;
        e.defaultIndex = def;
        return add(e);
    }
    Entry& add(Entry e)
    {
        e.page = page_;
        e.section = section_;
        m.entries.push_back(std::move(e));
        return m.entries.back();
    }
    void label(const QString& text, int left, int top, int width, bool centred = false,
               bool emphasis = false, int height = kLabelHeight)
    {
        m.labels.push_back({page_, text, left, top, width, height, centred, emphasis});
    }

    GroupMap m;

private:
    static Entry make(int reg, Editor editor, const QString& caption)
    {
        Entry e;
        e.reg = reg;
        e.editor = editor;
        e.caption = caption;
        return e;
    }

    int page_ = 0;
    int section_ = -1;
};

QStringList counted(const QString& prefix, int from, int to)
{
    QStringList l;
    for (int n = from; n <= to; ++n)
        l << prefix + QString::number(n);
    return l;
}

// Lists that several parameters share; each list widget is still filled by itself.
const QStringList kAlarmTypes0 = {"Off", "Low", "High", "High/Low", "Event"};
const QStringList kOutputControl = {"Time Proportioning", "Current or Voltage", "Pulsed Time Prop.",
                                    "On/Off"};
const QStringList kTuningTypes = {"Self Tune", "P.I.D.", "Slow", "Normal", "Fast"};
const QStringList kAlarmTypes12 = {"Alarm Disable",         "Up-Down Limit",
                                   "Up Limit",              "Down Limit",
                                   "Reverse Up-Down Limit", "Absolute Up-Down Limit",
                                   "Absolute Up Limit",     "Absolute Down Limit",
                                   "Standby Up-Down Limit", "Standby Up Limit",
                                   "Standby Down Limit",    "Hysterics Up Limit",
                                   "Hysterics Down Limit"};
const QStringList kLockSetting = {"OFF", "Lock All", "All but SV"};
const QStringList kDisabledEnabled = {"DISABLED", "ENABLED"};
const QStringList kUnitsFC = {"DEG. F", "DEG. C"};
const QStringList kStopStart = {"STOP", "START"};

GroupMap buildGroup0()
{
    Builder b(0,
              {"General", "Ramp/Soak", "Tuning", "Output Setup", "Setpoint Ctrl", "Alarm Setup",
               "4-Stage Option"},
              420, 780);

    // ---- General ----
    b.tab(0);
    b.column("Process Setpoints", 120, 1140, 2550, 1650);
    b.text(258, "Setpoint 1 (SP1)", "175");
    b.text(262, "Setpoint 2 (SP2):", "0");
    b.text(328, "Setpoint Low (SPL):", "-100");
    b.text(329, "Setpoint High (SPH):", "1,600");
    b.text(323, "Security Level (SECr):", "4");
    b.column("Alarm Setpoints", 2700, 1140, 2550, 1500);
    b.list(798, "Alarm 1 Type (AL1):", kAlarmTypes0, 2);
    b.text(263, "Alarm 1 Low (A1Lo):", "100");
    b.text(264, "Alarm 1 High (A1Hi):", "200");
    b.list(800, "Alarm 2 Type (AL2):", kAlarmTypes0, 2);
    b.text(265, "Alarm 2 Low (A2Lo):", "100");
    b.text(266, "Alarm 2 High (A2Hi):", "200");
    b.column("Input Configuration", 5150, 720, 4550, 2000);
    b.perGroup(Editor::DecimalPoint, "Decimal Point (dPt):", {"0", "0.0", "0.00", "0.000", ".0000"}, 0);
    b.perGroup(Editor::InputType, "Input Type (InP):",
               {"Type J T/C", "Type K T/C", "Type E T/C", "Type T T/C", "Type L T/C", "Type N T/C",
                "Type R T/C", "Type S T/C", "Type B T/C", "Type C T/C", "100 ohm Plat. (P392)",
                "120 ohm Nick. (n120)", "100 ohm Plat. (P385)", "1000 ohm Plat. (1P38)", "CURRENT",
                "VOLTAGE", "DIFFERENTIAL"},
               0);
    b.check(793, 0, "Zero Suppresion (Start at 4 mA or 1 volt) (OSUP)", true);
    b.list(794, "Units:", {"NONE", "DEG. F", "DEG. C"}, 1);
    b.text(326, "Input Scale Low (SCAL):", "-100");
    b.text(327, "Input Scale High (SCAH):", "1,600");
    b.check(805, 0, "Allow Remote Changes via Communications(LOrE)");
    b.check(813, 0, "Store Changes To Instrument's EEPROM", true);
    b.check(1035, 0, "Reset Highest (Peak) Input Value (PEA)");
    b.check(1036, 0, "Reset Lowest (Valley) Input Value (UAL)");

    // ---- Ramp/Soak: sixteen steps in two halves of eight ----
    b.tab(1);
    constexpr int kGridTop = 560;
    for (int half = 0; half < 2; ++half) {
        const int x = 120 + half * 3300;
        b.label("Step#", x, 300, 500, true);
        b.label("Setpoint", x + 560, 300, 735, true);
        b.label("Time", x + 1355, 300, 735, true);
        b.label("Alarm Outputs On ", x + 2150, 60, 1250, true);
        b.label("#1", x + 2450, 300, 300, true);
        b.label("#2", x + 2750, 300, 300, true);
    }
    for (int n = 1; n <= 16; ++n) {
        const int half = n <= 8 ? 0 : 1;
        const int row = (n - 1) % 8;
        const int x = 120 + half * 3300;
        const int y = kGridTop + row * kRowPitch;
        Entry& sp = b.text(288 + 2 * n, QString::number(n) + ".", "0");
        sp.left = x + 560;
        sp.top = y;
        sp.labelWidth = 500; // the step number label in front
        Entry& t = b.text(287 + 2 * n, "Unit", "0");
        t.left = x + 1355;
        t.top = y;
        t.unitLabel = true;
    }
    b.column("", 120, kGridTop + 8 * kRowPitch + 120, 3100, 0);
    b.check(786, 0, "Program Mode On (Prog)");
    b.check(787, 0, "Program Set On (PSEt)");
    b.check(788, 0, "Show Program Status (StAt)");
    b.check(789, 0, "Hold Ramp/Soak Program (-/~ key)");
    b.column("", 3420, kGridTop + 8 * kRowPitch + 120, 3500, 2100);
    b.list(790, "At End Of Program (PEnd):", {"Hold", "Outputs Off", "Loop Again", "Go To SP1"}, 0);
    b.list(8, "Time Base (tbAS):", {"Sec.", "Min."}, 0);
    // The alarm-output boxes: all #1 boxes of a half, then its #2 boxes.
    for (int half = 0; half < 2; ++half) {
        const int reg = half == 0 ? 350 : 351;
        for (int column = 0; column < 2; ++column) {
            for (int row = 0; row < 8; ++row) {
                const int m = 7 - row; // the half's first step takes the top two bits
                Entry& c = b.check(reg, column == 0 ? 2 * m + 1 : 2 * m, QString());
                c.section = -1;
                c.left = 120 + half * 3300 + 2500 + column * 300;
                c.top = kGridTop + row * kRowPitch;
                c.width = 240;
            }
        }
    }

    // ---- Tuning ----
    b.tab(2);
    // Focus runs through the tuning control (right) before the PID column (left).
    b.column("Tuning Control", 4350, 120, 5350, 3250);
    b.list(775, "Tuning Type:", kTuningTypes, 3);
    b.text(779, "Damping Factor (0=off):", "3");
    b.check(1067, 0, "Start Learning (LErn)");
    b.column("PID Parameters", 60, 120, 4200, 2950);
    b.text(269, "Proportional band (Out1):", "8");
    b.text(273, "Proportional band (Out 2):", "12");
    b.reset(274);
    b.text(278, "Rate Time (min., 0=off) (rtE):", ".58");
    b.check(783, 0, "Apply reset, rate, && fuzzy to SP2 (Pid2)");
    b.check(784, 0, "Anti-Reset Windup Feature (ArUP)");
    b.text(282, "Approach Rate Time (min., 0=off) (ArtE):", "0");
    b.text(283, "Fuzzy Logic Intensity % (0=off) (Fint):", "0");
    b.text(284, "Fuzzy Logic Error Band (Fbnd):", "0");
    b.text(285, "Fuzzy Logic Rate of Change (FrtE):", "0.00");
    b.column("Input Tuning && Failure Control", 4350, 1300, 5350, 3250);
    b.text(321, "Input Correction (InPC):", "0");
    b.text(791, "Input Digital Filter (0=off) (FiLt):", "2");
    b.text(322, "Loop Break Protection (0=off) (LPbr):", "0");
    b.text(324, "Input Fault Time (Min., 0=off) (InPt):", "0.0");
    b.list(810, "Input Failure Action:",
           {"Outputs Disabled (Fail)", "Outputs hold last output(Ave)", "Outputs go to presets (Pre)"}, 0);
    b.text(344, "Out1 Preset Failure Level % (PrE1):", "0");
    b.text(345, "Out2 Preset Failure Level % (PrE2):", "0");
    b.text(325, "Max. Sensor Rate of Change (0=off) (SEnC):", "0");

    // ---- Output Setup ----
    b.tab(3);
    b.column("Output Definitions", 60, 120, 9600, 0);
    b.column("", 60, 120 + kHeadingHeight, 4800, 3300);
    b.list(769, "Output 1 Control (Out1):", kOutputControl, 0).labelColor = kBlue;
    b.text(267, "Set Point 1 On/Off Differential (hysteresis) (SP1d):", "10").labelColor = kBlue;
    b.text(770, "Proportional Cycle Time(sec) (##tP):", "10").labelColor = kBlue;
    b.text(771, "Pulsed Mode Linearity (#PuL):", "1").labelColor = kBlue;
    b.column("", 4900, 120 + kHeadingHeight, 4800, 3300);
    b.list(772, "Output 2 Control (Out2):", kOutputControl, 0).labelColor = kPurple;
    b.text(268, "Set Point 2 On/Off Differential (hysteresis) (SP2d):", "10").labelColor = kPurple;
    b.text(773, "Proportional Cycle Time(sec) (##tP):", "10").labelColor = kPurple;
    b.text(774, "Pulsed Mode Linearity (#PuL):", "1").labelColor = kPurple;
    b.list(812, "Output 2 Type:", {"Alarm", "Control"}, 0).labelColor = kPurple;
    b.column("Process Output Scaling", 60, 2000, 4800, 2600);
    b.text(334, "Process Output Low (POL):", "0");
    b.text(335, "Process Output High (POH):", "200");
    b.list(802, "Process Output Source (POSr):", {"Process Variable", "Set Variable(SP1)"}, 0);
    b.column("Remote Setpoint Scaling", 4900, 2000, 4800, 2600);
    b.check(807, 0, "Use Remote Analog Setpoint");
    b.text(336, "Remote Scale Low (rSCL):", "0");
    b.text(337, "Remote Scale High (rSCH):", "1000");
    b.column("", 60, 3300, 9600, 3900);
    b.check(785, 0, "Show Percent Output on Lower Display (PctO)");
    b.list(811, "Manual && % Display Adjustment (APCt):",
           {"Relative to Output Range", "Relative to S#OL / S#OH"}, 0);

    // ---- Setpoint Ctrl ----
    b.tab(4);
    b.column("Setpoint 1", 120, 120, 4700, 3000);
    b.list(809, "SP1 Output Select (SP1O):", {"SP1 Routed to OUTA", "SP1 Routed to OUTB"}, 0);
    b.check(796, 1, "SP1 Direct Action Control (cooling)");
    b.text(330, "Set Point 1 Output Low Limit (S1OL):", "0");
    b.text(331, "Set Point 1 Output High Limit (S1OH):", "100");
    b.check(796, 3, "SP1 Auto Reset Control (OnOff)", true);
    b.check(796, 4, "SP1 Alarm Power Interrupt is ON");
    b.check(796, 5, "SP1 Alarm Inhibit is ON");
    b.check(796, 2, "SP1 Lamp is On When Output is On", true);
    b.check(3, 15, "Manual Mode");
    b.text(340, "Manual Output 1 (%):", "0.0");
    b.text(341, "Manual Output 2 (%):", "0.0");
    b.column("Setpoint 2", 4950, 120, 4700, 3000);
    b.check(797, 0, "SP2 is independent of SP1");
    b.check(797, 1, "SP2 Direct Action Control (cooling)", true);
    b.text(332, "Set Point 2 Output Low Limit (S2OL):", "0");
    b.text(333, "Set Point 2 Output High Limit (S2OH):", "100");
    b.check(797, 3, "SP2 Auto Reset Control (OnOff)", true);
    b.check(797, 4, "SP2 Alarm Power Interrupt is ON");
    b.check(797, 5, "SP2 Alarm Inhibit is ON");
    b.check(797, 2, "SP2 Lamp is On When Output is On", true);

    // ---- Alarm Setup: two columns of the same shape ----
    b.tab(5);
    for (int a = 1; a <= 2; ++a) {
        const QString n = QString::number(a);
        const int reg = a == 1 ? 799 : 801;
        b.column("Alarm " + n, a == 1 ? 120 : 4950, 120, 4700, 2800);
        b.check(reg, 0, "Absolute Alarm Independent of SP1", true);
        b.check(reg, 3, "Alarm " + n + " Automatically Resets", true);
        b.check(reg, 4, "Alarm " + n + " Power Interrupt in On");
        b.check(reg, 5, "Alarm " + n + " Inhibit is On");
        b.check(reg, 1, "Alarm " + n + " Opens Contacts at Alarm Point");
        b.check(reg, 2, "Alarm " + n + " Lamp is On when Alarm Contact is Closed", true);
        b.check(reg, 6, "Loop Break Causes an Alarm Condition");
        b.text(345 + a, "Alarm " + n + " Differential (A" + n + "d):", "1.0");
        b.text(347 + a, "Alarm " + n + " Time Delay (sec.) (A" + n + "td):", "0");
        b.check(1027 + a, 0, "Acknowledge Alarm " + n + " (write only)");
        b.check(1030 + a, 0, "Acknowledge Setpoint " + n + " (write only)");
    }

    // ---- 4-Stage Option: stages 2 to 4 (stage 1 is on Tuning) ----
    b.tab(6);
    for (int s = 2; s <= 4; ++s) {
        const QString n = QString::number(s);
        const int k = s - 1; // offset from the stage-1 register
        b.column("STAGE " + n, (s - 2) * 3160, 120, 3150, 2050);
        b.text(258 + k, "Stage " + n + " Setpoint (" + n + "SP1):", QString::number(175 + k));
        b.list(775 + k, "Tuning Type (" + n + "tun):", kTuningTypes, 3);
        b.text(779 + k, "Damping Factor (0=off):", "3");
        b.check(1067 + 2 * k, 0, "Start Learning (LErn)");
        b.text(269 + k, "Proportional band (" + n + "PB1):", "8");
        b.reset(274 + k);
        b.text(278 + k, "Rate Time (min., 0=off):", ".58");
    }
    b.column("Stage Control", 120, 2700, 5800, 3000);
    b.list(803, "Active Setpoint Stage (SP):",
           {"Stage 1 (1SP1)", "Stage 2 (2SP1)", "Stage 3 (3SP1)", "Stage 4 (4SP1)"}, 0)
        .labelColor = kRust;
    b.list(804, "Set Point Stage Selected By (SPSA):",
           {"Internal Menu Selection", "External Contact Closures"}, 1)
        .labelColor = kRust;
    b.label("Note: Stage 1 parameters are found on the Tuning Tab.", 6300, 3000, 3300, false, true, 510);
    return b.m;
}

GroupMap buildGroup1()
{
    Builder b(1, {"General", "Control", "Ramp/Soaks 0-3", "Ramp/Soaks 4-7", "Communications"}, 360, 720);

    // ---- General ----
    b.tab(0);
    b.column("Miscellaneous", 60, 1080, 2850, 1650);
    b.text(0x1001, "Setpoint (SV):", "0.0");
    b.list(0x4723, "Run/Stop (r-s):", {"STOP", "RUN", "Program Stop", "Program Hold"}, 1);
    b.list(0x102C, "Lock Setting (LoC):", kLockSetting, 0);
    b.list(0x1069, "Output 1:", {"Heating", "Cooling", "Alarming", "Re-Transmit"}, 0);
    b.text(0x1037, "Re-transmit upper limit:", "100.0");
    b.text(0x1038, "Re-transmit lower limit:", "0.0");
    b.list(0x471E, "Re-xmit direction:", {"Positive", "Negative"}, 0);
    b.list(0x106A, "Output 2:", {"Heating", "Cooling", "Alarming"}, 0);
    b.column("Alarm Setpoints", 2950, 1080, 3000, 1550);
    for (int a = 1; a <= 3; ++a) {
        const QString n = QString::number(a);
        b.list(0x101F + a, "Alarm " + n + " Type (ALA" + n + "):", kAlarmTypes12 + QStringList{"CT Alarm"}, 0);
        b.text(0x1022 + 2 * a, "Alarm " + n + " High (AL" + n + "H):", "4.0");
        b.text(0x1023 + 2 * a, "Alarm " + n + " Low (AL" + n + "L):", "4.0");
    }
    b.column("Input Configuration", 5950, 1080, 3750, 2400);
    b.list(0x810, "Comm. Write (CoSH):", kDisabledEnabled, 0);
    b.perGroup(Editor::DecimalPoint, "Decimal Point (SP):", {"0", "0.0"}, 0);
    b.perGroup(Editor::InputType, "Input Type (InPt):",
               {"K-Type T/C", "J-Type T/C", "T-Type T/C", "E-Type T/C", "N-Type T/C", "R-Type T/C",
                "S-Type T/C", "B-Type T/C", "L-Type T/C", "U-Type T/C", "TXK-Type T/C", "JPt100 RTD",
                "Pt100 RTD", "0~5V", "0~10V", "0~20mA", "5~20mA", "0~50mV"},
               0);
    b.list(0x811, "Eng. Units (tPUn):", kUnitsFC, 1);
    b.text(0x1016, "Temperature deviation value (tPoF):", "0.0");
    b.text(0x1002, "Temp. Range upper limit (tP-H):", "500.0");
    b.text(0x1003, "Temp. Range lower limit (tP-L):", "-20.0");
    b.list(0x1023, "System Alarm (SALA):", {"Disable", "Alarm 1", "Alarm 2", "Alarm 3"}, 0);
    b.list(0x4722, "Auto address flag:", {"Leave address as is", "Auto address after power on"}, 0);

    // ---- Control: two columns without headings ----
    b.tab(1);
    b.column("", 120, 120, 4750, 3300);
    b.list(0x1005, "Control Method (CtrL):", {"P.I.D", "ON/OFF", "MANUAL", "RAMP/SOAK"}, 0);
    b.list(0x1006, "Control Action (S-HC):", {"HEATING", "COOLING", "HEAT/COOL", "COOL/HEAT"}, 0);
    b.list(0x813, "Auto Tune (At):", kStopStart, 0);
    b.text(0x1010, "Heat/Cool hysteresis #1 (Hts):", "0");
    b.text(0x1011, "Heat/Cool hysteresis #2 (Cts):", "0");
    b.text(0x100F, "Deadband (dEAd):", "0");
    b.text(0x1007, "Heat/Cool ctrl cyle time #1 (sec.) (HtPd):", "1");
    b.text(0x1008, "Heat/Cool ctrl cyle time #2 (sec.) (HCPd):", "1");
    b.text(0x100E, "Proportional Coefficient (CoEF):", "1");
    b.text(0x1012, "Output #1 % (oUT1):", "0");
    b.text(0x1013, "Output #2 % (oUT2):", "0");
    b.text(0x1014, "Tune Out High (CrHC):", "0");
    b.text(0x1015, "Tune Out Low (CrLo):", "0");
    b.column("", 5000, 120, 4650, 2600);
    b.list(0x101C, "PID Parameter Group (PIDn):", {"PID0", "PID1", "PID2", "PID3", "Auto Tune"}, 0);
    b.text(0x101D, "Corresponding Setpoint (Svn):", "0.0");
    b.text(0x1009, "Proportional Band (P):", "47.6");
    b.text(0x100A, "Integral Time (I):", "260");
    b.text(0x100B, "Derivative Time (d):", "41");
    b.text(0x100D, "Prop. Ctrl Offset (PdoF):", "0");
    b.text(0x100C, "Integral Ctrl Offset (IoF):", "0");

    // ---- Ramp/Soaks: eight patterns of eight steps, four per page ----
    constexpr int kCaptionWidth = 2700;
    constexpr int kPatternWidth = 1720;
    constexpr int kStepTop = 560;
    constexpr int kStepPitch = 285;
    for (int half = 0; half < 2; ++half) {
        b.tab(2 + half);
        if (half == 0) {
            Entry& e = b.list(0x1030, "Start Pattern (Ptrn)", counted("Pattern ", 0, 7), 0);
            e.left = 120;
            e.top = 240;
            e.width = 1300;
            e.labelWidth = 0; // its caption lblParamLabel(1030H) stands above it
        }
        for (int s = 0; s < 8; ++s)
            b.label("Step " + QString::number(s) + ":", 120, kStepTop + s * kStepPitch + 15,
                    kCaptionWidth - 120);
        const int below = kStepTop + 8 * kStepPitch + 30;
        b.label("Last Step (PSyn):", 120, below + 15, kCaptionWidth - 120);
        b.label("Additional Execution Cyles (CyCn):", 120, below + kRowPitch + 15, kCaptionWidth - 120);
        b.label("Link Pattern (LCnn):", 120, below + 2 * kRowPitch + 15, kCaptionWidth - 120);
        for (int q = 0; q < 4; ++q) {
            const int p = half * 4 + q;
            const int x = kCaptionWidth + q * kPatternWidth;
            b.label("Pattern " + QString::number(p), x, 0, 1400, true, true);
            b.label("  Set  Point ", x - 215, 270, 830, true);
            b.label(" Time hh:mm", x + 640, 270, 900, true);
            for (int s = 0; s < 8; ++s) {
                const int y = kStepTop + s * kStepPitch;
                Entry& sp = b.text(0x2000 + 8 * p + s, QString(), "0.0");
                sp.labelled = false;
                sp.left = x;
                sp.top = y;
                sp.width = 615;
                Entry t;
                t.reg = kPattTimeFirst + 8 * p + s;
                t.editor = Editor::PattTime;
                t.initial = QStringLiteral("00");
                t.labelled = false;
                t.left = x + 655;
                t.top = y;
                b.add(t);
            }
            Entry& last = b.text(0x1040 + p, QString(), "0");
            last.labelled = false;
            last.left = x;
            last.top = below;
            last.width = 495;
            Entry& cycles = b.text(0x1050 + p, QString(), "0");
            cycles.labelled = false;
            cycles.left = x;
            cycles.top = below + kRowPitch;
            cycles.width = 495;
            Entry& link = b.list(0x1060 + p, QString(), counted("Pattern ", 0, 7) + QStringList{"Pattern End"}, 0);
            link.labelled = false;
            link.left = x;
            link.top = below + 2 * kRowPitch;
            link.width = 1300;
        }
    }

    // ---- Communications ----
    b.tab(4);
    b.label("Note: Communication parameters will only be sent when they are changed below, not during a "
            "Send Configuration.",
            120, 120, 6000, false, true, 510);
    b.column("", 120, 840, 4500, 2500);
    QStringList addresses;
    for (int k = 1; k <= 247; ++k)
        addresses << QStringLiteral("%1").arg(k, 3, 10, QLatin1Char('0'));
    b.list(0x1071, "Communications Address:", addresses, 0);
    b.list(0x1072, "Communications Protocol:", {"Modbus ASCII", "Modbus RTU"}, 0);
    b.list(0x1073, "Baud Rate:", {"2400", "4800", "9600", "19200", "38400"}, 2);
    b.list(0x1074, "Data Length:", {"8", "7"}, 1);
    b.list(0x1075, "Parity:", {"None", "Even", "Odd"}, 1);
    b.list(0x1076, "Stop Bits:", {"2", "1"}, 1);
    return b.m;
}

GroupMap buildGroup2()
{
    Builder b(2, {"General", "Control"}, 360, 720);
    b.tab(0);
    b.column("Miscellaneous", 60, 1080, 2850, 1650);
    b.text(0x4701, "Setpoint (SV)", "0.0");
    b.list(0x4719, "Run/Stop (r-s):", {"STOP", "RUN"}, 1);
    b.list(0x4731, "Lock Setting (LoC):", kLockSetting, 0);
    b.column("Alarm Setpoints", 2950, 1080, 3000, 1550);
    for (int a = 1; a <= 2; ++a) {
        const QString n = QString::number(a);
        b.list(0x4714 + a, "Alarm " + n + " Type (ALA" + n + "):", kAlarmTypes12, 0);
        b.text(0x4700 + 2 * a, "Alarm " + n + " High (AL" + n + "H):", "4.0");
        b.text(0x4701 + 2 * a, "Alarm " + n + " Low (AL" + n + "L):", "4.0");
    }
    b.column("Input Configuration", 5950, 1080, 3750, 2400);
    b.list(0x471A, "Comm. Write (CoSH):", kDisabledEnabled, 0);
    b.perGroup(Editor::DecimalPoint, "Decimal Point (dPt):", {"0"}, 0).labelColor = kRed;
    b.perGroup(Editor::InputType, "Input Type (InPt):",
               {"K-Type 1 T/C", "K-Type 2 T/C", "J-Type 1 T/C", "J-Type 2 T/C", "T-Type 1 T/C",
                "T-Type 2 T/C", "E-Type T/C", "N-Type T/C", "R-Type T/C", "S-Type T/C", "B-Type T/C",
                "JPt100 Type 1 RTD", "JPt100 Type 2 RTD", "Pt100 Type 1 RTD", "Pt100 Type 2 RTD",
                "Pt100 Type 3 RTD", "L-Type T/C", "U-Type T/C", "Txk-Type T/C"},
               14);
    b.list(0x4717, "Eng. Units (tPUn):", kUnitsFC, 1);
    b.text(0x4714, "Temperature deviation value (tPoF):", "0.0");
    b.text(0x4706, "Temp. Range upper limit (tP-H):", "500.0");
    b.text(0x4707, "Temp. Range lower limit (tP-L):", "-20.0");

    b.tab(1);
    b.column("", 120, 120, 5000, 3300);
    b.list(0x4711, "Control Method (CtrL):", {"P.I.D", "ON/OFF", "MANUAL"}, 0);
    b.list(0x4718, "Control Action (S-HC):", {"HEATING", "COOLING"}, 0);
    b.list(0x4729, "Auto Tune (At):", kStopStart, 0);
    b.text(0x470B, "Heat/Cool hysteresis (Hts):", "0");
    b.text(0x4708, "Proportional Band (P):", "47.6");
    b.text(0x4709, "Integral Time (I):", "260");
    b.text(0x470A, "Derivative Time (d):", "41");
    b.text(0x4713, "Prop. Ctrl Offset (PdoF):", "0");
    b.text(0x470E, "Integral Ctrl Offset (IoF):", "0");
    b.text(0x4712, "Heat/Cool ctrl cyle time (sec.) (HtPd):", "1");
    b.text(0x472A, "Output% (oUT):", "0");
    b.text(0x470C, "Tune Out High (CrHC):", "0");
    b.text(0x470D, "Tune Out Low (CrLo):", "0");
    return b.m;
}

} // namespace

const GroupMap& group(int g)
{
    static const std::array<GroupMap, 3> maps = {buildGroup0(), buildGroup1(), buildGroup2()};
    return maps.at(std::size_t(g));
}

} // namespace cfgmap
