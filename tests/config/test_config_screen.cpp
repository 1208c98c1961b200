// The configuration screen with the sample definition files.
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>

#include "config/frmConfig.h"
#include "config_user.h"
#include "config/parammap.h"
#include "core/deffiles.h"
#include "core/helpers.h"
#include "core/state.h"
#include "monitor/frmGraph.h"
#include "platform/filedialog.h"
#include "shell/frmMain.h"
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

TEST_F(ConfigScreenTest, BitBoxIndexFormsAndShownAmpersands)
{
    FrmConfig& f = open(0, "Z");
    EXPECT_EQ(f.chkParameter(1037), f.bitBox(3, 15));
    EXPECT_EQ(f.chkParameter(4507)->parentWidget(), f.txtParameter(290)->parentWidget()); // step 1 #1
    EXPECT_EQ(rtErrorOf([&] { f.chkParameter(1030); }), rt::ErrControlArrayElement);
    EXPECT_EQ(rtErrorOf([&] { f.bitBox(796, 0); }), rt::ErrControlArrayElement);
    // An ampersand in a caption is shown, not taken as a mnemonic.
    EXPECT_EQ(f.lblParamLabel(811)->text(), "Manual & % Display Adjustment (APCt):");
    EXPECT_EQ(f.bitBox(783, 0)->text(), "Apply reset, rate, && fuzzy to SP2 (Pid2)");
}

// A reader announces a list by its value; the caption beside it labels it.
TEST_F(ConfigScreenTest, EveryListIsLabelledByItsCaption)
{
    for (int group : {0, 1, 2}) {
        SCOPED_TRACE(group);
        Forms::discardAll();
        FrmConfig& f = open(group, group == 0 ? "Z" : group == 1 ? "R" : "A");
        f.Show();
        QCoreApplication::processEvents(); // the layout pass is over
        int labelled = 0;
        TabStrip* strip = f.tabConfig(group);
        for (int page = 0; page < strip->Tabs(); ++page) {
            strip->setTab(page);
            for (QComboBox* list : f.findChildren<QComboBox*>()) {
                if (!list->isVisible() || ctl::captionOf(list).isEmpty())
                    continue;
                const QString caption = ctl::captionOf(list);
                const QLabel* beside = nullptr;
                for (const QLabel* l : list->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
                    QString text = l->text().simplified();
                    if (text.endsWith(u':'))
                        text.chop(1);
                    if (l->isVisible() && text.trimmed() == caption)
                        beside = l;
                }
                // A caption holding an ampersand is no buddy: its letter would
                // be an access key. A row heading of a table labels the list
                // nearest to it.
                if (!beside || beside->text().contains(u'&')
                    || (beside->buddy() != list && beside->buddy() && beside->buddy()->isVisible()
                        && ctl::captionOf(beside->buddy()) == caption
                        && beside->buddy()->x() < list->x()))
                    continue;
                const auto labels = QAccessible::queryAccessibleInterface(list)->relations(QAccessible::Label);
                ASSERT_FALSE(labels.isEmpty()) << caption.toStdString();
                EXPECT_EQ(labels.first().first->object(), beside) << caption.toStdString();
                ++labelled;
            }
        }
        EXPECT_GT(labelled, 5);
    }
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

// Graphing leaves the edits on the hidden screen: every way out of the
// program asks about them over the screen the user is on; only No ends it.
TEST_F(ConfigScreenTest, EveryWayOutOfTheProgramAsksAboutAHiddenScreensEdits)
{
    FrmConfig& f = open(0, "Z");
    f.Show();
    f.txtParameter(258)->setText("200"); // as a user's edit
    f.cmdGraph->click();
    ASSERT_TRUE(frmGraph().isVisible() && f.isHidden() && f.Changed);

    // The graph screen's File > Exit: the real box over it; Escape cancels.
    QStringList asked;
    {
        RealBoxes boxes([&](QMessageBox* box) {
            asked << box->windowTitle() + (box->parentWidget() == &frmGraph() ? " over the graph" : "");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        frmGraph().mnuFileExit->trigger();
    }
    EXPECT_EQ(asked, QStringList{"Changes Not Saved over the graph"});
    EXPECT_TRUE(frmGraph().isVisible() && f.Changed);

    // The main menu's close box; Yes with the save dialog cancelled; File > Exit.
    frmGraph().cmdMainMenu->click();
    fd::setHandler([](const fd::Request&) { return QString(); });
    for (const int answer : {mb::Cancel, mb::Yes}) {
        boxes_.clear();
        boxes_.push(answer);
        frmMain().close();
        EXPECT_EQ(boxes_.last().title, "Changes Not Saved");
        EXPECT_TRUE(frmMain().isVisible() && f.Changed);
    }
    fd::clearHandler();
    boxes_.clear();
    boxes_.push(mb::No);
    EXPECT_THROW(frmMain().mnuFileExit->trigger(), ProgramEnded);
    EXPECT_EQ(boxes_.count(), 1);
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
