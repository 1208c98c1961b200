// The layout rules of the three controller groups on the real screen.
#include <QStringList>
#include <algorithm>
#include <initializer_list>

#include "config/frmConfig.h"
#include "config_user.h"
#include "config/parammap.h"
#include "core/deffiles.h"
#include "core/state.h"
#include "support/testenv.h"

using namespace modZarn;
using cfguser::asLoaded;

namespace {

class LayoutRulesTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        copySampleData();
    }
    FrmConfig& open(int group, const char* model)
    {
        Forms::discardAll();
        FrmConfig& f = cfguser::loadScreen(group, group == 2 ? "A" : "R");
        select(f, model);
        return f;
    }
    static void select(FrmConfig& f, const QString& model) { cfguser::selectModel(f, model); }
    // Settings are filled as a read or a file load fills them.
    static void choose(FrmConfig& f, int reg, int index)
    {
        asLoaded(f, [&] { f.cbxParameter(reg)->setListIndex(index); });
    }
    static void type(FrmConfig& f, int reg, const QString& text)
    {
        asLoaded(f, [&] { f.txtParameter(reg)->setText(text); });
    }
    static bool shown(const QWidget* w) { return ctl::Visible(w); }

    // The hidden ones among the fields ("1010" for 1010H); "267?" when the
    // caption, editor and reset selector disagree.
    static std::string hiddenFields(const FrmConfig& f, std::initializer_list<int> regs)
    {
        QStringList out;
        for (int reg : regs) {
            QList<const QWidget*> parts = {f.lblParamLabel(reg)};
            if (f.cbxParameter.exists(reg))
                parts << f.cbxParameter(reg);
            else
                parts << f.txtParameter(reg);
            if (f.cbxReset.exists(reg))
                parts << f.cbxReset(reg);
            const auto visible = std::count_if(parts.begin(), parts.end(), shown);
            const QString name = gControllerGroup == 0 ? QString::number(reg)
                                                       : QString::number(reg, 16).toUpper().rightJustified(4, u'0');
            if (visible < parts.size())
                out << (visible == 0 ? name : name + u'?');
        }
        return out.join(u' ').toStdString();
    }
    static std::string hiddenBits(const FrmConfig& f, std::initializer_list<std::pair<int, int>> bits)
    {
        QStringList out;
        for (const auto& [reg, bit] : bits)
            if (!shown(f.bitBox(reg, bit)))
                out << QStringLiteral("%1.%2").arg(reg).arg(bit);
        return out.join(u' ').toStdString();
    }
};

} // namespace

TEST_F(LayoutRulesTest, GroupTwoControlPageFollowsMethodAndIntegralTime)
{
    FrmConfig& f = open(2, "XH"); // has every register of the control page
    struct Row {
        int method; // 0 P.I.D, 1 ON/OFF, 2 MANUAL, -1 none
        const char* integral;
        const char* hidden;
    };
    const Row rows[] = {
        {0, "0", "470B 470C 470D 470E 472A"},
        {0, "5", "470B 470C 470D 4713 472A"},
        {1, "5", "4708 4709 470A 470C 470D 470E 4712 4713 4729 472A"},
        {2, "260", "4708 4709 470A 470B 470E 4713 4729"},
        {0, "7", "470B 470C 470D 4713 472A"}, // back from MANUAL: the P.I.D values return
        {-1, "", "470E"},
        {-1, " 2 s", "4713"},
    };
    for (const Row& r : rows) {
        choose(f, 0x4711, r.method);
        type(f, 0x4709, r.integral);
        f.SetupFormFields();
        EXPECT_EQ(hiddenFields(f, {0x4708, 0x4709, 0x470A, 0x470B, 0x470C, 0x470D, 0x470E, 0x4711, 0x4712, 0x4713,
                                   0x4729, 0x472A}),
                  r.hidden)
            << r.method << " " << r.integral;
    }
    EXPECT_FALSE(f.Changed);
}

TEST_F(LayoutRulesTest, GroupOneFieldsAndRampSoakPagesFollowTheSettings)
{
    FrmConfig& f = open(1, "XG"); // has every register the rules name
    struct Row {
        int input, method, action, pid, output1; // list positions, -1 none
        const char* integral;
        const char* hidden;
        bool rampPages; // pages 2 and 3 enabled
    };
    // Rows run in order on one screen: a method of -1 keeps the pages of the row before.
    const Row rows[] = {
        {0, 2, 0, 0, 3, "5", "0813 1009 100A 100B 100C 100D 100E 100F 1010 1011 101C 101D", false},
        {0, 0, 0, 0, 0, "260", "100D 1010 1011 1012 1013 1014 1015 1037 1038 471E", false},
        {12, 3, 0, 0, 3, "0", "1001 100C 1010 1011 1012 1013 1014 1015", true},
        {12, -1, -1, -1, 3, "0", "100C", true},
        {13, -1, -1, -1, 3, "", "0811 100C", true},
        {-1, 1, 0, 0, 3, "0.1", "0813 1007 1008 1009 100A 100B 100C 100D 100E 1012 1013 1014 1015 101C 101D", false},
        {0, -1, 2, -1, -1, "-4", "1008 100C 100E 100F 1011 1013 1022 1028 1029", false},
        {0, -1, 3, -1, -1, "3", "1008 100D 100E 100F 1011 1013 1022 1028 1029", false},
        {0, -1, 1, 4, -1, "3", "1009 100A 100B 100C 100D 101D", false},
        {0, -1, 0, 3, 2, "0", "100C 1037 1038 471E", false},
    };
    for (const Row& r : rows) {
        asLoaded(f, [&] { f.cbxInputType(1)->setListIndex(r.input); });
        choose(f, 0x1005, r.method);
        choose(f, 0x1006, r.action);
        choose(f, 0x101C, r.pid);
        choose(f, 0x1069, r.output1);
        type(f, 0x100A, r.integral);
        f.SetupFormFields();
        EXPECT_EQ(hiddenFields(f, {0x0811, 0x0813, 0x1001, 0x1005, 0x1006, 0x1007, 0x1008, 0x1009, 0x100A, 0x100B,
                                   0x100C, 0x100D, 0x100E, 0x100F, 0x1010, 0x1011, 0x1012, 0x1013, 0x1014, 0x1015,
                                   0x101C, 0x101D, 0x1022, 0x1028, 0x1029, 0x1037, 0x1038, 0x1069, 0x471E}),
                  r.hidden)
            << r.input << "/" << r.method << "/" << r.action << "/" << r.pid << "/" << r.output1 << "/" << r.integral;
        EXPECT_EQ(f.tabConfig(1)->TabEnabled(2), r.rampPages) << r.method;
        EXPECT_EQ(f.tabConfig(1)->TabEnabled(3), r.rampPages) << r.method;
        EXPECT_FALSE(f.tabConfig(1)->TabEnabled(4)); // only the fixed-point model opens the communications page
    }
}

TEST_F(LayoutRulesTest, StepTimeAndResetUnitsFollowTheirSettings)
{
    FrmConfig& f = open(0, "Q4");
    struct Row {
        int timeBase;
        const char* unit;
    };
    for (const Row r : {Row{0, "Sec."}, Row{1, "Min."}, Row{-1, "Min."}}) {
        choose(f, 8, r.timeBase);
        f.SetupFormFields();
        for (int step = 1; step <= 16; ++step) {
            const int time = 287 + 2 * step;
            EXPECT_EQ(f.lblParamLabel(time)->text(), r.unit) << "step " << step;
        }
    }
    // Each reset selector on its own: automatic reset in minutes, offset in percent.
    const int modes[] = {0, 1, -1, 0};
    for (int reg = 274; reg <= 277; ++reg) {
        asLoaded(f, [&] { f.cbxReset(reg)->setListIndex(modes[reg - 274]); });
    }
    for (int reg = 775; reg <= 778; ++reg)
        choose(f, reg, 1); // P.I.D.: the reset fields stay
    f.SetupFormFields();
    EXPECT_EQ(f.lblParamLabel(274)->text() + "|" + f.lblParamLabel(275)->text() + "|" + f.lblParamLabel(276)->text()
                  + "|" + f.lblParamLabel(277)->text(),
              "Min.|%|%|Min.");
    EXPECT_EQ(hiddenFields(f, {274, 275, 276, 277}), "");

    // A model without the stage registers: the selector goes with its field, the unit is still set.
    select(f, "R7");
    EXPECT_EQ(hiddenFields(f, {274, 275, 276, 277}), "275 276 277");
    EXPECT_EQ(f.lblParamLabel(275)->text(), "%");
    EXPECT_EQ(f.lblParamLabel(277)->text(), "Min.");
}

TEST_F(LayoutRulesTest, OutputControlModesHideTheUnusedOutputFields)
{
    FrmConfig& f = open(0, "Q4");
    struct Row {
        int out1, out2; // 0 time proportioning, 1 current/voltage, 2 pulsed, 3 on/off, -1 none
        const char* hidden;
    };
    const Row rows[] = {
        {0, 0, "267 771 268 774"},         {1, 2, "267 770 771 268 773"}, {2, 1, "267 770 268 773 774"},
        {3, 3, "770 771 773 774"},         {-1, 3, "773 774"},            {3, -1, "770 771"},
        {-1, -1, ""},
    };
    for (const Row& r : rows) {
        choose(f, 769, r.out1);
        choose(f, 772, r.out2);
        f.SetupFormFields();
        EXPECT_EQ(hiddenFields(f, {267, 770, 771, 268, 773, 774}), r.hidden) << r.out1 << " " << r.out2;
    }
}

TEST_F(LayoutRulesTest, TuningTypesHideEachStagesUnusedValues)
{
    FrmConfig& f = open(0, "Q4");
    struct Row {
        int types[4]; // stages 1-4: 0 self tune, 1 P.I.D., 2 slow, 3 normal, 4 fast, -1 none
        const char* fields;
        const char* bits;
    };
    const Row rows[] = {
        {{0, -1, -1, -1}, "269 273 274 278", ""},
        {{-1, 0, -1, -1}, "270 275 279", ""},
        {{-1, -1, 3, -1}, "271 276 280 781", "1071.0"},
        {{-1, -1, -1, 1}, "782", "1073.0"},
        {{4, 2, -1, 0}, "269 273 274 278 779 270 275 279 780 272 277 281", "1067.0 1069.0"},
        {{1, 1, 1, 1}, "779 780 781 782", "1067.0 1069.0 1071.0 1073.0"},
        {{-1, -1, -1, -1}, "", ""},
    };
    for (const Row& r : rows) {
        for (int s = 0; s < 4; ++s)
            choose(f, 775 + s, r.types[s]);
        f.SetupFormFields();
        const QString tag =
            QStringLiteral("%1 %2 %3 %4").arg(r.types[0]).arg(r.types[1]).arg(r.types[2]).arg(r.types[3]);
        EXPECT_EQ(hiddenFields(f, {269, 273, 274, 278, 779, 270, 275, 279, 780, 271, 276, 280, 781, 272, 277, 281,
                                   782}),
                  r.fields)
            << tag.toStdString();
        EXPECT_EQ(hiddenBits(f, {{1067, 0}, {1069, 0}, {1071, 0}, {1073, 0}}), r.bits) << tag.toStdString();
    }
}

TEST_F(LayoutRulesTest, InputTypeManualModeAndModelHideTheirFields)
{
    FrmConfig& f = open(0, "Q4");
    // Input scaling and zero suppression belong to the linear inputs (codes 15-17).
    struct Input {
        int code;
        bool scaled;
    };
    for (const Input r : {Input{15, true}, Input{17, true}, Input{14, false}, Input{0, false}}) {
        f.CurInputType = r.code;
        f.SetupFormFields();
        EXPECT_EQ(hiddenFields(f, {326, 327}), r.scaled ? "" : "326 327") << r.code;
        EXPECT_EQ(hiddenBits(f, {{793, 0}}), r.scaled ? "" : "793.0") << r.code;
    }
    // The manual outputs need Manual Mode ticked.
    for (int ticked : {0, 1, 0}) {
        asLoaded(f, [&] { f.chkParameter(1037)->setValue(ticked); });
        f.SetupFormFields();
        EXPECT_EQ(hiddenFields(f, {340, 341, 330, 333}), ticked ? "" : "340 341");
    }
    // Model R7 has no absolute alarms; the others keep them.
    for (const char* model : {"R7", "Q4", "TW", "R7"}) {
        select(f, model);
        const bool r7 = QLatin1String(model) == QLatin1String("R7");
        EXPECT_EQ(hiddenBits(f, {{799, 0}, {801, 0}, {799, 1}, {801, 6}}), r7 ? "799.0 801.0" : "") << model;
    }
}

TEST_F(LayoutRulesTest, SecondAlarmOutputOfTheStepsOnlyWhereItExists)
{
    // A model X3 with the full register set of Q4.
    writeFile("X3.TXT", readFile("Q4.TXT"));
    writeFile("ModelID.txt", readFile("ModelID.txt") + "X3,QX-X3,Dual Output Programmer,0\r\n");
    struct Row {
        const char* model;
        bool rampRegPresent, rampSoakOnly;
        bool secondShown;
    };
    const Row rows[] = {
        {"Q4", false, false, false}, {"X3", false, false, true}, {"RS", false, false, false},
        {"RS", true, false, true},   {"Q4", true, true, true},   {"Q4", false, true, false},
    };
    for (const Row& r : rows) {
        FrmConfig& f = open(0, r.model);
        f.RampRegPresent = r.rampRegPresent;
        gRampCfgMode = r.rampSoakOnly;
        f.SetupFormFields();
        for (int step = 1; step <= 16; ++step) {
            const int reg = step <= 8 ? 350 : 351;
            const int m = (step <= 8 ? 8 : 16) - step;
            EXPECT_TRUE(shown(f.bitBox(reg, 2 * m + 1))) << r.model << " step " << step << " #1";
            EXPECT_EQ(shown(f.bitBox(reg, 2 * m)), r.secondShown) << r.model << " step " << step << " #2";
        }
        gRampCfgMode = false;
    }
    for (const mb::Call& c : boxes_.calls()) // choosing RS warns that it is meant for the monitor only
        EXPECT_EQ(c.title, "Invalid Model") << c.text.toStdString();
}

TEST_F(LayoutRulesTest, NoRuleShowsAFieldTheModelLacks)
{
    struct Row {
        int group;
        const char* model;
        std::vector<int> lists; // every position of each: 0 the input type, 274-277 the reset selectors
        int integral;           // its text walks "0", "5", ""; group 0 ticks Manual Mode instead
    };
    const Row rows[] = {
        {0, "Q4", {8, 769, 772, 775, 776, 777, 778, 274, 275, 276, 277, 0}, 0},
        {1, "XG", {0x1005, 0x1006, 0x101C, 0x1069, 0}, 0x100A},
        {2, "XH", {0x4711, 0}, 0x4709},
    };
    for (const Row& r : rows) {
        FrmConfig& f = open(r.group, r.model);
        std::vector<bool>& has = gModelHasRegister[std::size_t(f.CurModelIndex)];
        std::fill(has.begin(), has.end(), false);
        auto expectNothingShown = [&](int setting) {
            f.SetupFormFields();
            int visible = 0;
            auto count = [&](const auto& array) {
                for (const auto& [index, w] : array.items())
                    visible += f.tabConfig(r.group)->isAncestorOf(w) && shown(w) ? 1 : 0;
            };
            count(f.txtParameter), count(f.cbxParameter), count(f.chkParameter), count(f.lblParamLabel);
            count(f.cbxReset), count(f.txtPattHour), count(f.txtPattMin);
            EXPECT_EQ(visible, 0) << r.group << ": " << setting;
        };
        for (int reg : r.lists) {
            ComboBox* list = reg == 0                ? f.cbxInputType(r.group)
                             : f.cbxReset.exists(reg) ? f.cbxReset(reg)
                                                      : f.cbxParameter(reg);
            for (int i = -1; i < list->ListCount(); ++i) {
                asLoaded(f, [&] { list->setListIndex(i); });
                f.CurInputType = f.cbxInputType(r.group)->ListIndex() + (r.group == 0 ? 1 : 0);
                expectNothingShown(reg);
            }
        }
        for (const char* text : {"0", "5", ""}) {
            if (r.group == 0) {
                asLoaded(f, [&] { f.chkParameter(1037)->setValue(*text == '5'); });
                expectNothingShown(1037);
            } else {
                type(f, r.integral, text);
                expectNothingShown(r.integral);
            }
        }
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(LayoutRulesTest, ThePassEndsWithLoadingClearedWhateverItWas)
{
    for (const bool before : {false, true}) {
        FrmConfig& f = open(1, "XG");
        f.Loading = before;
        f.SetupFormFields();
        EXPECT_FALSE(f.Loading) << before;
        // Controls are live again: an edit after the pass marks the screen.
        f.Changed = false;
        f.txtParameter(0x100A)->setText("7");
        EXPECT_TRUE(f.Changed) << before;
    }
}
