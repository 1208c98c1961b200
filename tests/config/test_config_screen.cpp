// The configuration screen with the sample definition files.
#include <QApplication>
#include <QKeyEvent>

#include "config/frmConfig.h"
#include "config_user.h"
#include "config/parammap.h"
#include "core/deffiles.h"
#include "core/helpers.h"
#include "core/state.h"
#include "shell/navigation.h"
#include "support/testenv.h"

using namespace modZarn;
using cfguser::selectModel;
using cfguser::asLoaded;

namespace {

class ConfigScreenTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        copySampleData();
    }
    FrmConfig& open(int group, const char* protocol)
    {
        FrmConfig& f = cfguser::loadScreen(group, protocol);
        EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        return f;
    }
    static bool shown(const QWidget* w) { return ctl::Visible(w); }
    // Widgets of an array that stand on the strip of `group`.
    template <class T>
    static int onStrip(const FrmConfig& f, const ControlArray<T>& a, int group)
    {
        int n = 0;
        for (const auto& [index, w] : a.items())
            n += f.tabConfig(group)->isAncestorOf(w) ? 1 : 0;
        return n;
    }
};

} // namespace

TEST_F(ConfigScreenTest, EveryGroupHasItsWidgetsAtAllTimes)
{
    FrmConfig& f = open(0, "Z");
    EXPECT_EQ(f.txtParameter.items().size(), 220u);
    EXPECT_EQ(f.cbxParameter.items().size(), 58u);
    EXPECT_EQ(f.chkParameter.items().size(), 79u);
    EXPECT_EQ(f.lblParamLabel.items().size(), 190u);
    EXPECT_EQ(f.cbxReset.items().size(), 4u);
    EXPECT_EQ(f.txtPattHour.items().size(), 64u);
    EXPECT_EQ(f.txtPattMin.items().size(), 64u);
    for (int g = 0; g <= 2; ++g)
        EXPECT_EQ(f.tabConfig(g)->Tabs(), cfgmap::group(g).tabs.size());
    // Both index forms of the bit boxes, and the grid's bit order.
    EXPECT_EQ(f.chkParameter(1037), f.bitBox(3, 15));
    EXPECT_EQ(f.chkParameter(4507)->parentWidget(), f.txtParameter(290)->parentWidget()); // step 1 #1
    EXPECT_EQ(rtErrorOf([&] { f.chkParameter(1030); }), rt::ErrControlArrayElement);
    EXPECT_EQ(rtErrorOf([&] { f.bitBox(796, 0); }), rt::ErrControlArrayElement);
    EXPECT_EQ(rtErrorOf([&] { f.lblParamLabel(0x1040); }), rt::ErrControlArrayElement);
    EXPECT_TRUE(f.cbxReset.exists(274) && f.txtParameter.exists(274) && f.lblParamLabel.exists(274));
    // An ampersand in a caption is shown, not taken as a mnemonic.
    EXPECT_EQ(f.lblParamLabel(811)->text(), "Manual & % Display Adjustment (APCt):");
    EXPECT_EQ(f.bitBox(783, 0)->text(), "Apply reset, rate, && fuzzy to SP2 (Pid2)");
}

TEST_F(ConfigScreenTest, SampleFieldTableNamesExactlyTheScreensFields)
{
    for (int g = 0; g <= 2; ++g) {
        Forms::discardAll();
        FrmConfig& f = open(g, g == 2 ? "A" : "R");
        for (int reg = 1; reg <= kMaxRegister; ++reg) {
            const auto& field = gCfgField[std::size_t(reg)];
            switch (field[1]) {
            case 1:
                if (reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast)
                    EXPECT_TRUE(f.txtPattHour.exists(reg - cfgmap::kPattTimeFirst)) << reg;
                else
                    EXPECT_TRUE(f.txtParameter.exists(reg)) << reg;
                break;
            case 2:
                EXPECT_TRUE(f.cbxParameter.exists(reg)) << reg;
                EXPECT_EQ(field[2], 0) << reg; // list positions count from 0
                if (f.tabConfig(g)->isAncestorOf(f.cbxParameter(reg))) // other groups' lists stay empty
                    EXPECT_EQ(field[3] + 1, f.cbxParameter(reg)->ListCount()) << reg;
                break;
            case 3:
                for (int bit = field[2]; bit <= field[3]; ++bit)
                    EXPECT_EQ(rtErrorOf([&] { f.bitBox(reg, bit); }), 0) << reg << " bit " << bit;
                break;
            default:
                EXPECT_FALSE(f.txtParameter.exists(reg) || f.cbxParameter.exists(reg)) << reg;
            }
        }
        // ... and every field widget has its row of the right kind.
        for (const auto& [reg, w] : f.txtParameter.items())
            EXPECT_EQ(gCfgField[std::size_t(reg)][1], 1) << reg;
        for (const auto& [reg, w] : f.cbxParameter.items())
            EXPECT_EQ(gCfgField[std::size_t(reg)][1], 2) << reg;
        for (const auto& [i, w] : f.txtPattHour.items())
            EXPECT_EQ(gCfgField[std::size_t(cfgmap::kPattTimeFirst + i)][1], 1) << i;
    }
}

TEST_F(ConfigScreenTest, FixedListsHoldExactlyTheirItemsAndDefaults)
{
    enum Which { Param, Decimal, Input, Reset };
    struct Row {
        int group;
        Which which;
        std::vector<int> regs; // lists that hold the same items
        QStringList items;
        int selected;
    };
    const QStringList alarm0 = {"Off", "Low", "High", "High/Low", "Event"};
    const QStringList output0 = {"Time Proportioning", "Current or Voltage", "Pulsed Time Prop.", "On/Off"};
    const QStringList tuning0 = {"Self Tune", "P.I.D.", "Slow", "Normal", "Fast"};
    const QStringList reset0 = {"Automatic Reset Time", "Man. Offset Correction"};
    const QStringList alarm2 = {"Alarm Disable",         "Up-Down Limit",        "Up Limit",
                                "Down Limit",            "Reverse Up-Down Limit", "Absolute Up-Down Limit",
                                "Absolute Up Limit",     "Absolute Down Limit",  "Standby Up-Down Limit",
                                "Standby Up Limit",      "Standby Down Limit",   "Hysterics Up Limit",
                                "Hysterics Down Limit"};
    const QStringList alarm1 = alarm2 + QStringList{"CT Alarm"};
    const QStringList patterns = {"Pattern 0", "Pattern 1", "Pattern 2", "Pattern 3",
                                  "Pattern 4", "Pattern 5", "Pattern 6", "Pattern 7"};
    const QStringList links = patterns + QStringList{"Pattern End"};
    QStringList addresses;
    for (int k = 1; k <= 247; ++k)
        addresses << QString::asprintf("%03d", k);
    const QStringList lock = {"OFF", "Lock All", "All but SV"};
    const Row rows[] = {
        {0, Decimal, {0}, {"0", "0.0", "0.00", "0.000", ".0000"}, 0},
        {0, Input, {0}, {"Type J T/C", "Type K T/C", "Type E T/C", "Type T T/C", "Type L T/C", "Type N T/C",
                       "Type R T/C", "Type S T/C", "Type B T/C", "Type C T/C", "100 ohm Plat. (P392)",
                       "120 ohm Nick. (n120)", "100 ohm Plat. (P385)", "1000 ohm Plat. (1P38)", "CURRENT",
                       "VOLTAGE", "DIFFERENTIAL"}, 0},
        {0, Param, {0x31A}, {"NONE", "DEG. F", "DEG. C"}, 1},
        {0, Param, {0x31E, 0x320}, alarm0, 2},
        {0, Param, {0x316}, {"Hold", "Outputs Off", "Loop Again", "Go To SP1"}, 0},
        {0, Param, {0x8}, {"Sec.", "Min."}, 0},
        {0, Param, {0x301, 0x304}, output0, 0},
        {0, Param, {0x307, 0x308, 0x309, 0x30A}, tuning0, 3},
        {0, Reset, {0x112, 0x113, 0x114, 0x115}, reset0, 0},
        {0, Param, {0x32A}, {"Outputs Disabled (Fail)", "Outputs hold last output(Ave)", "Outputs go to presets (Pre)"}, 0},
        {0, Param, {0x322}, {"Process Variable", "Set Variable(SP1)"}, 0},
        {0, Param, {0x32B}, {"Relative to Output Range", "Relative to S#OL / S#OH"}, 0},
        {0, Param, {0x329}, {"SP1 Routed to OUTA", "SP1 Routed to OUTB"}, 0},
        {0, Param, {0x323}, {"Stage 1 (1SP1)", "Stage 2 (2SP1)", "Stage 3 (3SP1)", "Stage 4 (4SP1)"}, 0},
        {0, Param, {0x324}, {"Internal Menu Selection", "External Contact Closures"}, 1},
        {0, Param, {0x32C}, {"Alarm", "Control"}, 0},

        {1, Decimal, {0}, {"0", "0.0"}, 0},
        {1, Input, {0}, {"K-Type T/C", "J-Type T/C", "T-Type T/C", "E-Type T/C", "N-Type T/C", "R-Type T/C",
                       "S-Type T/C", "B-Type T/C", "L-Type T/C", "U-Type T/C", "TXK-Type T/C", "JPt100 RTD",
                       "Pt100 RTD", "0~5V", "0~10V", "0~20mA", "5~20mA", "0~50mV"}, 0},
        {1, Param, {0x810}, {"DISABLED", "ENABLED"}, 0},
        {1, Param, {0x811}, {"DEG. F", "DEG. C"}, 1},
        {1, Param, {0x813}, {"STOP", "START"}, 0},
        {1, Param, {0x4723}, {"STOP", "RUN", "Program Stop", "Program Hold"}, 1},
        {1, Param, {0x1005}, {"P.I.D", "ON/OFF", "MANUAL", "RAMP/SOAK"}, 0},
        {1, Param, {0x1006}, {"HEATING", "COOLING", "HEAT/COOL", "COOL/HEAT"}, 0},
        {1, Param, {0x101C}, {"PID0", "PID1", "PID2", "PID3", "Auto Tune"}, 0},
        {1, Param, {0x1020, 0x1021, 0x1022}, alarm1, 0},
        {1, Param, {0x1023}, {"Disable", "Alarm 1", "Alarm 2", "Alarm 3"}, 0},
        {1, Param, {0x102C}, lock, 0},
        {1, Param, {0x1030}, patterns, 0},
        {1, Param, {0x1060, 0x1061, 0x1062, 0x1063, 0x1064, 0x1065, 0x1066, 0x1067}, links, 0},
        {1, Param, {0x1069}, {"Heating", "Cooling", "Alarming", "Re-Transmit"}, 0},
        {1, Param, {0x106A}, {"Heating", "Cooling", "Alarming"}, 0},
        {1, Param, {0x1071}, addresses, 0},
        {1, Param, {0x1072}, {"Modbus ASCII", "Modbus RTU"}, 0},
        {1, Param, {0x1073}, {"2400", "4800", "9600", "19200", "38400"}, 2},
        {1, Param, {0x1074}, {"8", "7"}, 1},
        {1, Param, {0x1075}, {"None", "Even", "Odd"}, 1},
        {1, Param, {0x1076}, {"2", "1"}, 1},
        {1, Param, {0x471E}, {"Positive", "Negative"}, 0},
        {1, Param, {0x4722}, {"Leave address as is", "Auto address after power on"}, 0},

        {2, Decimal, {0}, {"0"}, 0},
        {2, Input, {0}, {"K-Type 1 T/C", "K-Type 2 T/C", "J-Type 1 T/C", "J-Type 2 T/C", "T-Type 1 T/C",
                       "T-Type 2 T/C", "E-Type T/C", "N-Type T/C", "R-Type T/C", "S-Type T/C", "B-Type T/C",
                       "JPt100 Type 1 RTD", "JPt100 Type 2 RTD", "Pt100 Type 1 RTD", "Pt100 Type 2 RTD",
                       "Pt100 Type 3 RTD", "L-Type T/C", "U-Type T/C", "Txk-Type T/C"}, 14},
        {2, Param, {0x4711}, {"P.I.D", "ON/OFF", "MANUAL"}, 0},
        {2, Param, {0x4715, 0x4716}, alarm2, 0},
        {2, Param, {0x4717}, {"DEG. F", "DEG. C"}, 1},
        {2, Param, {0x4718}, {"HEATING", "COOLING"}, 0},
        {2, Param, {0x4719}, {"STOP", "RUN"}, 1},
        {2, Param, {0x471A}, {"DISABLED", "ENABLED"}, 0},
        {2, Param, {0x4729}, {"STOP", "START"}, 0},
        {2, Param, {0x4731}, lock, 0},
    };
    for (int g = 0; g <= 2; ++g) {
        Forms::discardAll();
        FrmConfig& f = open(g, g == 2 ? "A" : "R");
        for (int pass = 0; pass < 2; ++pass) { // a second load builds the same lists
            int parameterLists = 0;
            for (const Row& r : rows) {
                if (r.group != g)
                    continue;
                for (int reg : r.regs) {
                    ComboBox* list = r.which == Decimal ? f.cbxDecimalPoint(g)
                        : r.which == Input              ? f.cbxInputType(g)
                        : r.which == Reset              ? f.cbxReset(reg)
                                                        : f.cbxParameter(reg);
                    parameterLists += r.which == Param ? 1 : 0;
                    QStringList items;
                    for (int i = 0; i < list->ListCount(); ++i)
                        items << list->List(i);
                    EXPECT_EQ(items, r.items) << g << ":" << std::hex << reg;
                    EXPECT_EQ(list->ListIndex(), r.selected) << g << ":" << std::hex << reg;
                }
            }
            EXPECT_EQ(parameterLists, onStrip(f, f.cbxParameter, g)); // no list of the group left out
            f.Form_Load();
        }
        EXPECT_EQ(f.CurDecimalPoint, 0);
        EXPECT_EQ(f.CurInputType, g == 0 ? 1 : g == 1 ? 0 : 14);
        EXPECT_FALSE(f.Changed);
        EXPECT_EQ(shown(f.cbxDecimalPoint(g)) && shown(f.lblDecimalPoint(g)), g != 2);
    }
}

TEST_F(ConfigScreenTest, LoadPicksAddressFormAndDefaultModel)
{
    FrmConfig& z = open(0, "Z");
    EXPECT_EQ(z.cbxAddress->Text(), "32");
    EXPECT_EQ(z.CurModelIndex, 4);
    EXPECT_EQ(z.RampSoakModelIndex, 3);
    EXPECT_FALSE(z.Loading);

    Forms::discardAll();
    FrmConfig& r = open(0, "R");
    EXPECT_EQ(r.CurModelIndex, 1);
    EXPECT_EQ(r.cbxModelID(0)->ListIndex(), 0);

    Forms::discardAll();
    EXPECT_EQ(open(1, "R").RampSoakModelIndex, 0);
}

TEST_F(ConfigScreenTest, LoadSkipsWhatItCannotDoAndStillLaysOut)
{
    // A model file with no model of group 0 and two "RS" models of group 1.
    writeFile("ModelID.txt", ";\r\n;\r\n;\r\n;\r\n;\r\nXG,QX-G48,Pid,1\r\nRS,Ramp A,Prog,1\r\nRS,Ramp B,Prog,1\r\n");
    FrmConfig& f = open(0, "Z");
    EXPECT_EQ(f.cbxModelID(0)->ListCount(), 0);
    EXPECT_EQ(f.cbxModelID(0)->ListIndex(), -1);
    EXPECT_TRUE(f.lblModelType(0)->text().isEmpty());
    EXPECT_FALSE(f.Loading);
    EXPECT_EQ(boxes_.count(), 0);
    // The layout pass ran: slot 4 has no registers, so the fields are hidden.
    EXPECT_FALSE(shown(f.txtParameter(258)));
    EXPECT_FALSE(shown(f.bitBox(3, 15)));
    // The fixed lists were filled all the same.
    EXPECT_EQ(f.cbxParameter(794)->Text(), "DEG. F");

    Forms::discardAll();
    gControllerGroup = 1;
    FrmConfig& g1 = frmConfig();
    EXPECT_EQ(g1.RampSoakModelIndex, 3); // the later of two

    gControllerGroup = 5; // no such group: every step that needs it is skipped
    g1.Form_Load();
    EXPECT_FALSE(g1.Loading);
    EXPECT_EQ(g1.LoadedGroup, 5);
    EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
}

TEST_F(ConfigScreenTest, LayoutPassShowsTheModelsFieldsAndFormatsThem)
{
    FrmConfig& f = open(0, "Z"); // Q4: every group-0 field
    f.CurDecimalPoint = 1;
    f.SetupFormFields();
    f.SetupFormFields(); // a second pass gives the same screen
    EXPECT_EQ(f.txtParameter(258)->Text(), "175.0");

    selectModel(f, "TW"); // no stages, no programme, no remote set point
    EXPECT_FALSE(shown(f.txtParameter(259)) || shown(f.lblParamLabel(259)) || shown(f.bitBox(350, 15)));
    EXPECT_TRUE(shown(f.txtParameter(258)) && shown(f.bitBox(796, 3)));
    asLoaded(f, [&] { f.txtParameter(259)->setText("12"); });
    f.CurDecimalPoint = 2;
    f.SetupFormFields();
    EXPECT_EQ(f.txtParameter(259)->Text(), "12"); // hidden: not re-formatted
    selectModel(f, "Q4");
    EXPECT_EQ(f.txtParameter(259)->Text(), "12.00");
    EXPECT_TRUE(f.Changed); // the model was chosen by hand
}

TEST_F(ConfigScreenTest, LayoutPassOfGroupOneFollowsTheFixedPointModel)
{
    FrmConfig& f = open(1, "R"); // XG
    EXPECT_TRUE(shown(f.cbxDecimalPoint(1)) && !f.tabConfig(1)->TabEnabled(4));
    asLoaded(f, [&] { f.txtPattHour(5)->setText("7"); f.txtParameter(0x1001)->setText("5"); });
    f.SetupFormFields();
    EXPECT_EQ(f.txtPattHour(5)->Text(), "07");
    EXPECT_EQ(f.txtParameter(0x1001)->Text(), "5.0");
    f.CurDecimalPoint = 0;
    selectModel(f, "TQ"); // fixed decimal point, no third alarm, no programmes
    EXPECT_EQ(f.CurDecimalPoint, 1);
    EXPECT_EQ(f.cbxDecimalPoint(1)->ListIndex(), 0); // the list keeps its choice
    EXPECT_FALSE(shown(f.cbxDecimalPoint(1)) || shown(f.lblDecimalPoint(1)));
    EXPECT_TRUE(f.tabConfig(1)->TabEnabled(4));
    EXPECT_FALSE(shown(f.txtParameter(0x1028)) || shown(f.txtPattHour(0)) || shown(f.txtPattMin(0)));
    selectModel(f, "XG");
    EXPECT_TRUE(shown(f.cbxDecimalPoint(1)) && !f.tabConfig(1)->TabEnabled(4));
}

TEST_F(ConfigScreenTest, LayoutPassFaultsAreReportedWithTheRegister)
{
    FrmConfig& f = open(0, "Z");
    // A bit field whose first bit lies above its last touches no box.
    gCfgField[793] = {0, 3, 1, 0};
    f.bitBox(793, 0)->setVisible(false);
    f.SetupFormFields();
    EXPECT_FALSE(shown(f.bitBox(793, 0)));
    EXPECT_EQ(boxes_.count(), 0);
    // A bit field beyond the check-box index range overflows.
    gCfgField[4000] = {0, 3, 0, 0};
    f.SetupFormFields();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Application Error");
    EXPECT_EQ(boxes_.last().text, "An application error has occurred:\rError Code 6 - Overflow\r"
                                  "Routine - frmConfig.SetupFormFields, Parameter > 4000");
    EXPECT_FALSE(f.Loading);
    gCfgField[4000] = {0, 0, 0, 0};
    // A fault before the common pass names register 0.
    boxes_.clear();
    f.CurModelIndex = 16;
    f.SetupFormFields();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.endsWith("Error Code 9 - Subscript out of range\r"
                                            "Routine - frmConfig.SetupFormFields, Parameter > 0"))
        << boxes_.last().text.toStdString();
    EXPECT_FALSE(f.Loading);
}

TEST_F(ConfigScreenTest, GroupChangeRebuildsOnActivation)
{
    FrmConfig& f = open(0, "Z");
    f.Show();
    asLoaded(f, [&] { f.txtParameter(258)->setText("321"); });
    gControllerGroup = 1;
    gProtocolCode = "R";
    ReadDefinitionFiles();
    f.Form_Activate();
    EXPECT_EQ(f.LoadedGroup, 1);
    EXPECT_EQ(f.cbxAddress->Text(), "001");
    EXPECT_EQ(f.cbxAddress->List(254), "255");
    EXPECT_TRUE(shown(f.tabConfig(1)) && !shown(f.tabConfig(0)));
    EXPECT_EQ(f.txtParameter(258)->Text(), "321"); // the other strips keep what they held
    EXPECT_TRUE(shown(f.txtParameter(0x1001)));
}

TEST_F(ConfigScreenTest, RampSoakRequestIsRefusedWithItsReason)
{
    // The refusal leads back to the system monitor.
    static int monitorShown = 0;
    const Nav::OpenerOverride monitor(Nav::Target::Monitor, [](Form&) { ++monitorShown; });
    monitorShown = 0;
    struct Row {
        int group;
        const char* protocol;
        const char* requestProtocol;
        int requestGroup;
        const char* title;
    };
    const Row rows[] = {
        {0, "Z", "R", 1, "Protocol Does Not Match"}, // both differ: the protocol is named
        {0, "Z", "Z", 1, "Controller Group Does Not Match"},
        {2, "A", "A", 2, "No Ramp/Soak Model Type"},
    };
    for (const Row& r : rows) {
        Forms::discardAll();
        boxes_.clear();
        gRampCfgMode = false;
        FrmConfig& f = open(r.group, r.protocol);
        f.Show();
        gRampCfgMode = true;
        gRampCfgProtocol = r.requestProtocol;
        gRampCfgGroup = r.requestGroup;
        gRampCfgAddress = 7;
        f.Form_Activate();
        ASSERT_EQ(boxes_.count(), 1) << r.title;
        EXPECT_EQ(boxes_.last().title, r.title);
        EXPECT_TRUE(boxes_.last().hadOwner);
    }
    EXPECT_EQ(monitorShown, 3);
    EXPECT_TRUE(boxes_.last().text.startsWith("The model type file does not contain a RS type model"));
}

TEST_F(ConfigScreenTest, RampSoakOnlyModeLastsUntilDeactivation)
{
    FrmConfig& f = open(0, "Z");
    f.Show();
    gRampCfgMode = true;
    gRampCfgProtocol = "Z";
    gRampCfgGroup = 0;
    gRampCfgAddress = 0x40;
    f.Form_Activate();
    // The activation reads the instrument; with the line closed the first read fails.
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Read Instrument Communications Error");
    EXPECT_EQ(f.ModelID(), "RS");
    EXPECT_EQ(f.CurModelIndex, 3);
    EXPECT_FALSE(f.Changed);
    EXPECT_EQ(f.cbxAddress->Text(), "40");
    EXPECT_EQ(f.tabConfig(0)->Tab(), 1);
    EXPECT_EQ(f.lblTitle->text(), "Configure Instrument - Ramp/Soak Only");
    EXPECT_FALSE(shown(f.cmdMainMenu));
    EXPECT_TRUE(shown(f.txtParameter(290)) && !shown(f.txtParameter(258)));
    f.tabConfig(0)->setTab(4);
    EXPECT_EQ(f.tabConfig(0)->Tab(), 1);

    f.Form_Deactivate();
    EXPECT_FALSE(gRampCfgMode);
    f.Form_Activate();
    EXPECT_TRUE(shown(f.cmdMainMenu));
    EXPECT_EQ(f.ModelID(), "RS");
    f.tabConfig(0)->setTab(4);
    EXPECT_EQ(f.tabConfig(0)->Tab(), 4);
}

TEST_F(ConfigScreenTest, UnloadAsksAboutUnsavedEdits)
{
    FrmConfig& f = open(0, "Z");
    f.Show();
    f.txtParameter(258)->setText("200"); // as a user's edit
    ASSERT_TRUE(f.Changed);
    boxes_.push(mb::Cancel);
    EXPECT_FALSE(f.Unload());
    EXPECT_EQ(boxes_.last().title, "Changes Not Saved");
    // Yes with nothing saved keeps the screen and the edits.
    boxes_.push(mb::Yes);
    EXPECT_FALSE(f.Unload());
    EXPECT_TRUE(f.Changed);
    boxes_.push(mb::No);
    EXPECT_THROW(f.Unload(), ProgramEnded);
    EXPECT_FALSE(f.Changed);
}

TEST_F(ConfigScreenTest, CodeSetValuesMarkChangesOnlyOutsideLoading)
{
    FrmConfig& f = open(0, "Z");
    f.txtParameter(262)->setText(f.txtParameter(262)->Text()); // no change, no event
    EXPECT_FALSE(f.Changed);
}

TEST_F(ConfigScreenTest, FocusFollowsTheMapAcrossColumnsAndGrids)
{
    FrmConfig& f = open(0, "Z");
    auto next = [](QWidget* w) {
        QWidget* n = w->nextInFocusChain();
        while (n != w && !(n->focusPolicy() & Qt::TabFocus))
            n = n->nextInFocusChain();
        return n;
    };
    struct Row {
        const char* where;
        QWidget* from;
        QWidget* to;
    };
    const Row rows[] = {
        {"tuning control, then PID", f.bitBox(1067, 0), f.txtParameter(269)},
        {"reset mode before its value", f.txtParameter(273), f.cbxReset(274)},
        {"step 1 set point, time", f.txtParameter(290), f.txtParameter(289)},
        {"time base, step 1 #1", f.cbxParameter(8), f.bitBox(350, 15)},
        {"step 8 #2, step 9 #1", f.bitBox(350, 0), f.bitBox(351, 15)},
        {"alarm 1, then alarm 2", f.bitBox(1031, 0), f.bitBox(801, 0)},
        {"start pattern, pattern 0", f.cbxParameter(0x1030), f.txtParameter(0x2000)},
        {"step time hours, minutes", f.txtPattHour(0), f.txtPattMin(0)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(next(r.from), r.to) << r.where;
}

TEST_F(ConfigScreenTest, EnterMovesToTheNextField)
{
    FrmConfig& f = open(0, "Z");
    f.Show();
    f.activateWindow();
    TextBox* first = f.txtParameter(258);
    first->setFocus();
    ASSERT_EQ(f.focusWidget(), first);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(first, &enter);
    EXPECT_EQ(f.focusWidget(), f.txtParameter(262));
    EXPECT_EQ(first->Text(), "175");
}

TEST_F(ConfigScreenTest, BitFieldsSpreadAndPackSixteenBits)
{
    FrmConfig& f = open(0, "Z");
    struct Row {
        int reg;
        float value;
        int packed; // what the boxes give back
    };
    const Row rows[] = {
        {350, -32768, -32768}, {350, 32768, -32768}, {350, 65535, -1}, {350, 0x4001, 0x4001},
        {796, 0x3F, 0x3E},     {3, 0x8000, -32768},  {3, 0x7FFF, 0},
    };
    for (const Row& r : rows) {
        f.DistributeBits(r.reg, r.value);
        int packed = 12345;
        f.CompressBits(r.reg, packed);
        EXPECT_EQ(packed, r.packed) << r.reg << " " << r.value;
    }
    EXPECT_EQ(boxes_.count(), 0);
    // A bit the screen has no box for: the boxes before it stay set, the sum so far comes back.
    gCfgField[797] = {0, 3, 0, 6};
    f.DistributeBits(797, 0x7F);
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmConfig.DistributeBits, Parameter > 797"));
    EXPECT_EQ(f.bitBox(797, 5)->Value(), 1);
    int packed = 0;
    f.CompressBits(797, packed);
    EXPECT_EQ(packed, 0x3F);
    EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmConfig.CompressBits, Parameter > 797"));
}
