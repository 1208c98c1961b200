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
    EXPECT_EQ(f.chkParameter(4500), f.bitBox(350, 8));
    EXPECT_EQ(f.chkParameter(3500), f.bitBox(350, 0));
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
        int bits = 0;
        for (int reg = 1; reg <= kMaxRegister; ++reg)
            if (gCfgField[std::size_t(reg)][1] == 3)
                bits += gCfgField[std::size_t(reg)][3] - gCfgField[std::size_t(reg)][2] + 1;
        EXPECT_EQ(bits, 79);
        // Every model of the group lays out without an error box (the model
        // warnings aside).
        for (int slot = 1; slot <= gModelCount[std::size_t(g)]; ++slot)
            selectModel(f, gModelID[std::size_t(g)][std::size_t(slot)]);
        for (const mb::Call& c : boxes_.calls())
            EXPECT_NE(c.title, "Application Error") << c.text.toStdString();
        boxes_.clear();
    }
}

TEST_F(ConfigScreenTest, FixedListsHoldTheirItemsAndDefaults)
{
    struct Row {
        int group, reg; // reg 0: the decimal point, -1: the input type
        int count, selected;
        const char* shownText;
        int probe;
        const char* probeText;
    };
    const Row rows[] = {
        {0, 0, 5, 0, "0", 4, ".0000"},
        {0, -1, 17, 0, "Type J T/C", 16, "DIFFERENTIAL"},
        {0, 794, 3, 1, "DEG. F", 0, "NONE"},
        {0, 798, 5, 2, "High", 4, "Event"},
        {0, 800, 5, 2, "High", 3, "High/Low"},
        {0, 790, 4, 0, "Hold", 3, "Go To SP1"},
        {0, 8, 2, 0, "Sec.", 1, "Min."},
        {0, 772, 4, 0, "Time Proportioning", 3, "On/Off"},
        {0, 778, 5, 3, "Normal", 0, "Self Tune"},
        {0, 810, 3, 0, "Outputs Disabled (Fail)", 2, "Outputs go to presets (Pre)"},
        {0, 804, 2, 1, "External Contact Closures", 0, "Internal Menu Selection"},
        {0, 812, 2, 0, "Alarm", 1, "Control"},
        {1, 0, 2, 0, "0", 1, "0.0"},
        {1, -1, 18, 0, "K-Type T/C", 17, "0~50mV"},
        {1, 0x811, 2, 1, "DEG. C", 0, "DEG. F"},
        {1, 0x4723, 4, 1, "RUN", 3, "Program Hold"},
        {1, 0x1022, 14, 0, "Alarm Disable", 13, "CT Alarm"},
        {1, 0x1030, 8, 0, "Pattern 0", 7, "Pattern 7"},
        {1, 0x1067, 9, 0, "Pattern 0", 8, "Pattern End"},
        {1, 0x1069, 4, 0, "Heating", 3, "Re-Transmit"},
        {1, 0x106A, 3, 0, "Heating", 2, "Alarming"},
        {1, 0x1071, 247, 0, "001", 246, "247"},
        {1, 0x1072, 2, 0, "Modbus ASCII", 1, "Modbus RTU"},
        {1, 0x1073, 5, 2, "9600", 4, "38400"},
        {1, 0x1074, 2, 1, "7", 0, "8"},
        {1, 0x1075, 3, 1, "Even", 2, "Odd"},
        {1, 0x1076, 2, 1, "1", 0, "2"},
        {1, 0x4722, 2, 0, "Leave address as is", 1, "Auto address after power on"},
        {2, 0, 1, 0, "0", 0, "0"},
        {2, -1, 19, 14, "Pt100 Type 2 RTD", 18, "Txk-Type T/C"},
        {2, 0x4716, 13, 0, "Alarm Disable", 12, "Hysterics Down Limit"},
        {2, 0x4717, 2, 1, "DEG. C", 0, "DEG. F"},
        {2, 0x4719, 2, 1, "RUN", 0, "STOP"},
        {2, 0x4731, 3, 0, "OFF", 2, "All but SV"},
    };
    for (int g = 0; g <= 2; ++g) {
        Forms::discardAll();
        FrmConfig& f = open(g, g == 2 ? "A" : "R");
        for (int pass = 0; pass < 2; ++pass) { // a second load builds the same lists
            for (const Row& r : rows) {
                if (r.group != g)
                    continue;
                ComboBox* list = r.reg == 0 ? f.cbxDecimalPoint(g) : r.reg < 0 ? f.cbxInputType(g) : f.cbxParameter(r.reg);
                EXPECT_EQ(list->ListCount(), r.count) << g << ":" << r.reg;
                EXPECT_EQ(list->ListIndex(), r.selected) << g << ":" << r.reg;
                EXPECT_EQ(list->Text(), r.shownText) << g << ":" << r.reg;
                EXPECT_EQ(list->List(r.probe), r.probeText) << g << ":" << r.reg;
            }
            f.Form_Load();
        }
        EXPECT_EQ(f.CurDecimalPoint, 0);
        EXPECT_EQ(f.CurInputType, g == 0 ? 1 : g == 1 ? 0 : 14);
        EXPECT_FALSE(f.Changed);
        EXPECT_EQ(shown(f.cbxDecimalPoint(g)) && shown(f.lblDecimalPoint(g)), g != 2);
    }
    // Reset-mode lists keep only the two loaded items.
    Forms::discardAll();
    FrmConfig& g0 = open(0, "R");
    for (int reg = 274; reg <= 277; ++reg) {
        ASSERT_EQ(g0.cbxReset(reg)->ListCount(), 2);
        EXPECT_EQ(g0.cbxReset(reg)->List(0) + "|" + g0.cbxReset(reg)->List(1), "Automatic Reset Time|Man. Offset Correction");
        EXPECT_EQ(g0.cbxReset(reg)->ListIndex(), 0);
    }
}

TEST_F(ConfigScreenTest, LoadPicksAddressFormAndDefaultModel)
{
    FrmConfig& z = open(0, "Z");
    EXPECT_EQ(z.cbxAddress->ListCount(), 255);
    EXPECT_EQ(z.cbxAddress->Text(), "32");
    EXPECT_EQ(z.cbxAddress->List(254), "FF");
    EXPECT_EQ(z.CurModelIndex, 4);
    EXPECT_EQ(z.cbxModelID(0)->Text(), gModelName[0][4] + QString(60, ' ') + gModelID[0][4]);
    EXPECT_EQ(z.lblModelType(0)->text(), gModelType[0][4]);
    EXPECT_EQ(z.RampSoakModelIndex, 3);
    EXPECT_FALSE(z.Loading);
    EXPECT_TRUE(shown(z.tabConfig(0)) && !shown(z.tabConfig(1)) && !shown(z.tabConfig(2)));

    Forms::discardAll();
    FrmConfig& r = open(0, "R");
    EXPECT_EQ(r.CurModelIndex, 1);
    EXPECT_EQ(r.cbxModelID(0)->ListIndex(), 0);

    Forms::discardAll();
    FrmConfig& a = open(1, "R");
    EXPECT_EQ(a.cbxAddress->Text(), "001");
    EXPECT_EQ(a.cbxAddress->List(254), "255");
    EXPECT_EQ(a.RampSoakModelIndex, 0);
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
    EXPECT_TRUE(shown(f.txtParameter(259)) && shown(f.txtParameter(290)) && shown(f.cbxParameter(8)));
    f.CurDecimalPoint = 1;
    f.SetupFormFields();
    f.SetupFormFields(); // a second pass gives the same screen
    EXPECT_EQ(f.txtParameter(258)->Text(), "175.0");
    EXPECT_EQ(f.txtParameter(289)->Text(), "0"); // step times take no decimals

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
    EXPECT_TRUE(shown(f.txtPattHour(0)) && shown(f.txtParameter(0x1028)));
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
    EXPECT_EQ(f.cbxModelID(1)->ListCount(), gModelCount[1]);
    EXPECT_EQ(f.ModelID(), gModelID[1][1]);
    EXPECT_EQ(f.cbxInputType(1)->ListCount(), 18);
    EXPECT_TRUE(shown(f.tabConfig(1)) && !shown(f.tabConfig(0)));
    EXPECT_EQ(f.txtParameter(258)->Text(), "321"); // the other strips keep what they held
    EXPECT_TRUE(shown(f.txtParameter(0x1001)));
}

TEST_F(ConfigScreenTest, RampSoakRequestIsRefusedWithItsReason)
{
    // The refusal leads back to the system monitor.
    static int monitorShown = 0;
    static const Nav::Registration monitor(Nav::Target::Monitor, [](Form&) { ++monitorShown; });
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
        EXPECT_EQ(boxes_.last().style, mb::Exclamation);
        EXPECT_TRUE(boxes_.last().hadOwner);
        EXPECT_EQ(f.lblTitle->text(), "Configure Instrument");
        EXPECT_TRUE(shown(f.cmdMainMenu));
        EXPECT_NE(f.cbxAddress->Text(), "07");
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
    EXPECT_EQ(f.tabConfig(0)->toolTip(), "Only Ramp/Soak Changes are Allowed");
    for (QPushButton* b : {f.cmdMainMenu, f.cmdConfigureController, f.cmdStatus, f.cmdFind, f.cmdSetpoints,
                           f.cmdLogging, f.cmdGraph})
        EXPECT_FALSE(shown(b)) << b->text().toStdString();
    EXPECT_TRUE(shown(f.cmdMonitor) && shown(f.cmdSaveControl));
    EXPECT_TRUE(shown(f.txtParameter(290)) && !shown(f.txtParameter(258)));
    f.tabConfig(0)->setTab(4);
    EXPECT_EQ(f.tabConfig(0)->Tab(), 1);

    f.Form_Deactivate();
    EXPECT_FALSE(gRampCfgMode);
    f.Form_Activate();
    EXPECT_EQ(f.lblTitle->text(), "Configure Instrument");
    EXPECT_TRUE(f.tabConfig(0)->toolTip().isEmpty());
    EXPECT_TRUE(shown(f.cmdMainMenu) && shown(f.cmdGraph));
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
    EXPECT_EQ(boxes_.last().style, 515);
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
    // Ticking Manual Mode from code re-runs the layout pass, which formats the fields.
    f.txtParameter(258)->setText("12.5");
    f.Changed = false;
    f.bitBox(3, 15)->setValue(1);
    EXPECT_TRUE(f.Changed);
    EXPECT_EQ(f.txtParameter(258)->Text(), "13");
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
