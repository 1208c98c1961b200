// Editing on the configuration screen, driven as a user does it.
#include "config/frmConfig.h"
#include "config_user.h"
#include "core/helpers.h"
#include "core/state.h"
#include "platform/beep.h"
#include "support/testenv.h"

using namespace modZarn;
using namespace cfguser;

namespace {

const char* const kTcRtd = "A decimal point setting of 0.00 ,0.000, or .0000 is not allowed for thermocouple and RTD "
                           "type inputs.";
const char* const kTcRtdFromInput = "A decimal point setting of 0.00 ,0.000, or .0000 is not allowed for thermocouple "
                                    "or RTD type inputs.";
const char* const kRsbc = "A decimal point setting of 0.0, 0.00 ,0.000, or .0000 is not allowed for thermocouple "
                          "type R, S, B, or C inputs.";
const char* const kRsb = "A decimal point setting of 0.0 is not allowed for thermocouple type R, S, or B inputs.";
const char* const kFourDecimals = "A decimal point setting of .0000 is not allowed for this Model ID.";
const char* const k71MV = "Input types P392, N120, or P385 is not valid for Model 71MV.";
const char* const kDpTitle = "Invalid Decimal Point Setting";
const char* const kInputTitle = "Invalid Input Type For Current Decimal Point Setting";

class ConfigEditingTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        copySampleData();
        writeFile("ModelID.txt", readFile("ModelID.txt") + "7M,QX-71MV,1/16 DIN Multi-Input Controller,0\r\n"
                                                           "RS,Ramp/Soak Only,Ramp/Soak Programme Set-up,1\r\n");
        writeFile("7M.TXT", readFile("TW.TXT"));
        sound::resetBeeps();
    }
    FrmConfig& open(int group, const char* protocol)
    {
        boxes_.clear();
        FrmConfig& f = openScreen(group, protocol);
        EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
        return f;
    }
    void setUp(FrmConfig& f, int g, const char* model, const char* input, const char* point)
    {
        pick(f, f.cbxDecimalPoint(g), "0"); // every input takes no decimals
        if (model)
            pickModel(f, model);
        pick(f, f.cbxInputType(g), input);
        pick(f, f.cbxDecimalPoint(g), point);
        ASSERT_EQ(f.cbxInputType(g)->Text(), input);
        ASSERT_EQ(f.cbxDecimalPoint(g)->Text(), point);
        boxes_.clear();
    }
    static void fill(FrmConfig& f, int reg, const QString& text)
    {
        asLoaded(f, [&] { f.txtParameter(reg)->setText(text); });
    }
    QStringList titles() const
    {
        QStringList t;
        for (const mb::Call& c : boxes_.calls())
            t << c.title;
        return t;
    }
};

} // namespace

TEST_F(ConfigEditingTest, RefusedCombinationsKeepTheLastAcceptedEntry)
{
    struct Row {
        int group;
        const char *model, *input, *point; // set up first; no model: the group's first
        bool pointList; // the decimal-point list is changed, else the input type
        const char* chosen;
        const char *text, *title; // nullptr: accepted
    };
    const char* const mv = "Invalid Input Type For Model 71MV";
    const Row rows[] = {
        {0, "TW", "Type J T/C", "0.0", true, "0.00", kTcRtd, kDpTitle},
        {0, "TW", "Type R T/C", "0", true, "0.0", kRsbc, kDpTitle},
        {0, "TW", "CURRENT", "0.0", true, ".0000", kFourDecimals, kDpTitle},
        {0, "TW", "Type J T/C", "0.0", false, "Type C T/C", kRsbc, kInputTitle},
        {0, "TW", "VOLTAGE", "0.00", false, "Type J T/C", kTcRtdFromInput, kInputTitle},
        {0, "7M", "Type J T/C", "0", false, "100 ohm Plat. (P392)", k71MV, mv},
        {0, "R7", "CURRENT", "0.000", true, ".0000", nullptr, nullptr},
        {0, "7M", "Type J T/C", "0", false, "1000 ohm Plat. (1P38)", nullptr, nullptr},
        {1, nullptr, "K-Type T/C", "0", true, "0.0", nullptr, nullptr},
        {1, nullptr, "K-Type T/C", "0.0", false, "R-Type T/C", kRsb, kInputTitle},
        {1, nullptr, "K-Type T/C", "0.0", false, "0~10V", nullptr, nullptr},
        {1, nullptr, "R-Type T/C", "0", true, "0.0", kRsb, kDpTitle},
    };
    for (const int g : {0, 1}) {
        Forms::discardAll();
        FrmConfig& f = open(g, "R");
        for (const Row& r : rows) {
            if (r.group != g)
                continue;
            SCOPED_TRACE(std::string(r.model ? r.model : "") + " " + r.input + " " + r.point + " -> " + r.chosen);
            setUp(f, g, r.model, r.input, r.point);
            const int point = f.CurDecimalPoint, input = f.CurInputType;
            f.Changed = false;
            pick(f, r.pointList ? f.cbxDecimalPoint(g) : f.cbxInputType(g), r.chosen);
            if (!r.text) {
                EXPECT_EQ(boxes_.count(), 0);
                EXPECT_EQ(f.CurDecimalPoint, f.cbxDecimalPoint(g)->ListIndex());
                EXPECT_EQ(f.CurInputType, f.cbxInputType(g)->ListIndex() + (g == 0 ? 1 : 0));
                EXPECT_EQ(f.Changed, g == 0 || !r.pointList); // group 1: a decimal point does not mark
                continue;
            }
            ASSERT_EQ(boxes_.count(), 1); // the restored entry passes: no second box, no loop
            EXPECT_EQ(boxes_.last().text, r.text);
            EXPECT_EQ(boxes_.last().title, r.title);
            EXPECT_EQ(f.cbxDecimalPoint(g)->Text(), r.point);
            EXPECT_EQ(f.cbxInputType(g)->Text(), r.input);
            // What a later send or save writes stays what was accepted.
            EXPECT_EQ(f.CurDecimalPoint, point);
            EXPECT_EQ(f.CurInputType, input);
        }
    }
}

TEST_F(ConfigEditingTest, RefusalWhoseRestoredEntryFailsTooKeepsTheAcceptedValues)
{
    // Read from an instrument: an R thermocouple with one decimal, which the
    // rules would not have let the user choose.
    FrmConfig& f = open(0, "R");
    asLoaded(f, [&] {
        f.cbxInputType(0)->setListIndex(6);
        f.cbxDecimalPoint(0)->setListIndex(1);
        f.CurInputType = 7;
        f.CurDecimalPoint = 1;
    });
    pick(f, f.cbxDecimalPoint(0), "0.00");
    EXPECT_EQ(titles(), QStringList({kDpTitle, kDpTitle})); // the choice, then the restored entry
    EXPECT_EQ(f.CurDecimalPoint, 1);
    EXPECT_EQ(f.CurInputType, 7);
    EXPECT_EQ(f.cbxDecimalPoint(0)->Text(), "0.0");
}

TEST_F(ConfigEditingTest, DecimalPointAndInputClassKeepTheInstrumentValuesOfScaledFields)
{
    struct Row {
        const char *model, *input, *point;
        bool pointList; // the decimal point is changed, else the input type
        const char* chosen;
        int reg;
        const char *before, *after;
    };
    const Row rows[] = {
        {"TW", "CURRENT", "0.0", true, "0.00", 258, "1,234.5", "123.45"},
        {"TW", "CURRENT", "0.0", true, "0.00", 326, "12.5", "1.25"}, // set B with a linear input
        {"TW", "Type J T/C", "0", true, "0.0", 326, "100", "100"}, // set B: no decimals for a thermocouple
        {"R7", "Type J T/C", "0", true, "0.0", 334, "100", "10.0"},
        {"R7", "CURRENT", "0.000", true, ".0000", 326, "1.000", "0.1000"},
        {"TW", "Type J T/C", "0.0", true, "0", 262, "-12.5", "-125"},
        {"TW", "Type J T/C", "0", true, "0.0", 278, "1.25", "1.25"}, // fixed two decimals
        {"TW", "CURRENT", "0.0", false, "Type J T/C", 326, "12.5", "125"},
        {"R7", "CURRENT", "0.0", false, "Type J T/C", 334, "12.5", "12.5"}, // stays scaled on R7
        {"TW", "CURRENT", "0.0", false, "Type J T/C", 258, "12.5", "12.5"}, // set A follows the point only
    };
    FrmConfig& f = open(0, "R");
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.model) + " " + r.input + " " + r.point + " -> " + r.chosen + " "
                     + std::to_string(r.reg));
        setUp(f, 0, r.model, r.input, r.point);
        fill(f, r.reg, r.before);
        f.Changed = false;
        pick(f, r.pointList ? f.cbxDecimalPoint(0) : f.cbxInputType(0), r.chosen);
        EXPECT_EQ(f.txtParameter(r.reg)->Text(), r.after);
        EXPECT_TRUE(f.Changed);
        EXPECT_EQ(boxes_.count(), 0);
        EXPECT_EQ(f.CurDecimalPoint, f.cbxDecimalPoint(0)->ListIndex());
        EXPECT_EQ(f.CurInputType, f.cbxInputType(0)->ListIndex() + 1);
    }
}

TEST_F(ConfigEditingTest, ModelChoiceWarnsButKeepsTheChoice)
{
    struct Row {
        int group;
        const char* protocol;
        const char *input, *point; // set up first on R7 (group 0)
        const char* model;
        QStringList titles;
    };
    const QString zarn = "Invalid Model for Zarn Link", rs = "Invalid Model", dp = kDpTitle,
                  mv = "Invalid Input Type For Model 71MV";
    const Row rows[] = {
        {0, "Z", nullptr, nullptr, "R7", {zarn}},
        {0, "R", nullptr, nullptr, "RS", {rs}},
        {0, "R", "CURRENT", ".0000", "RS", {rs, dp}},
        {0, "R", "100 ohm Plat. (P392)", "0", "7M", {mv}},
        {1, "R", nullptr, nullptr, "RS", {rs}},
        {1, "R", nullptr, nullptr, "TQ", {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.group) + r.protocol + " " + r.model);
        Forms::discardAll();
        FrmConfig& f = open(r.group, r.protocol);
        if (r.input) {
            gProtocolCode = "R";
            pickModel(f, "R7");
            pick(f, f.cbxInputType(0), r.input);
            pick(f, f.cbxDecimalPoint(0), r.point);
            gProtocolCode = r.protocol;
        }
        boxes_.clear();
        f.Changed = false;
        pickModel(f, r.model);
        EXPECT_EQ(titles(), r.titles);
        EXPECT_EQ(f.ModelID(), r.model);
        EXPECT_TRUE(f.Changed);
        int index = 0;
        QString name;
        EXPECT_EQ(f.lblModelType(r.group)->text(), LookupModel(r.group, r.model, index, name));
        EXPECT_EQ(f.CurModelIndex, index);
        for (const mb::Call& c : boxes_.calls())
            if (c.title == rs)
                EXPECT_EQ(c.text, "Model Ramp/Soak Only cannot be selected.  It is used for ramp/soak configuration "
                                  "from the System Monitor screen only. Select a different model.");
            else if (c.title == zarn)
                EXPECT_EQ(c.text, "Model " + name + " does not support Zarn Link protocol. Select a different model.");
    }
}

TEST_F(ConfigEditingTest, ListsAndBoxesMarkTheScreenAndReworkTheLayout)
{
    FrmConfig& f = open(0, "R");
    struct Row {
        std::function<void()> act;
        bool layout; // the pass ran (it formats the planted field)
    };
    const Row rows[] = {
        {[&] { pick(f, f.cbxParameter(769), f.cbxParameter(769)->List(1)); }, true},
        {[&] { pick(f, f.cbxParameter(775), f.cbxParameter(775)->List(1)); }, true}, // shows the reset mode
        {[&] { pick(f, f.cbxReset(274), "Man. Offset Correction"); }, true},
        {[&] { tick(f, f.bitBox(3, 15)); }, true},
        {[&] { pick(f, f.cbxParameter(794), "NONE"); }, false},
        {[&] { tick(f, f.bitBox(813, 0)); }, false},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        fill(f, 262, "12.5");
        f.Changed = false;
        rows[i].act();
        EXPECT_TRUE(f.Changed) << i;
        EXPECT_EQ(f.txtParameter(262)->Text(), rows[i].layout ? "13" : "12.5") << i;
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(ConfigEditingTest, SystemAlarmGivesWayToAHeatCoolAction)
{
    FrmConfig& f = open(1, "R");
    struct Row {
        const char* action;
        const char* shown;
    };
    for (const Row r : {Row{"HEAT/COOL", "Disable"}, Row{"HEATING", "Alarm 3"}}) {
        pick(f, f.cbxParameter(0x1023), "Disable");
        pick(f, f.cbxParameter(0x1006), r.action);
        fill(f, 0x1001, "12.34");
        f.Changed = false;
        pick(f, f.cbxParameter(0x1023), "Alarm 3");
        EXPECT_EQ(f.cbxParameter(0x1023)->Text(), r.shown) << r.action;
        EXPECT_EQ(f.txtParameter(0x1001)->Text(), "12.34"); // the fallback's own change ran nothing
        EXPECT_TRUE(f.Changed);
        EXPECT_FALSE(f.Loading);
    }
    pick(f, f.cbxParameter(0x1006), "HEAT/COOL");
    pick(f, f.cbxParameter(0x1023), "Alarm 2");
    EXPECT_EQ(f.cbxParameter(0x1023)->Text(), "Alarm 2");
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(ConfigEditingTest, CommunicationCombinationsThatNoInstrumentTakesAreRefused)
{
    FrmConfig& f = open(1, "R");
    pickModel(f, "TQ"); // the model whose communication page is open
    struct Row {
        const char *data, *parity, *stop;
        int changed; // the list changed last
        const char* chosen;
        const char* text; // nullptr: goes on to the question
    };
    const Row rows[] = {
        {"7", "Even", "1", 0x1075, "None", "The combination of 7 data bits with None parity and 1 stop bit is invalid."},
        {"8", "Even", "1", 0x1076, "2", "The combination of 8 data bits with Even parity and 2 stop bit is invalid."},
        {"8", "None", "1", 0x1076, "2", nullptr},
        {"7", "Even", "2", 0x1075, "Odd", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.data) + r.parity + r.stop + " " + r.chosen);
        asLoaded(f, [&] {
            f.cbxParameter(0x1074)->setText(r.data);
            f.cbxParameter(0x1075)->setText(r.parity);
            f.cbxParameter(0x1076)->setText(r.stop);
            f.cbxParameter(0x1072)->setText("Modbus ASCII");
            f.cbxParameter(0x1073)->setText("9600");
        });
        boxes_.clear();
        pick(f, f.cbxParameter(r.changed), r.chosen); // questions answered No
        ASSERT_GE(boxes_.count(), 1);
        EXPECT_EQ(f.cbxParameter(r.changed)->Text(), r.chosen); // the list keeps the choice
        if (!r.text) {
            EXPECT_EQ(boxes_.last().title, "Immediate Write of Parameter");
            continue;
        }
        EXPECT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, "Invalid Communications Setting");
        EXPECT_EQ(boxes_.last().text, QString(r.text) + "  It is now recommended that you perform a Read Configuration "
                                                          "from Instrument to put the communications field back to "
                                                          "what is in the controller.");
    }
}

TEST_F(ConfigEditingTest, PidGroupQuestionWarnsOfPendingEditsAndAutoTuneOnlyNotes)
{
    FrmConfig& f = open(1, "R");
    const QString question = "In order to view the 4 different groups of PID parameters from the controller, the new "
                             "PID parameter group that you selected must be written to the controller and then the PID "
                             "parameters re-read from the controller.  Do you now want to write the new PID Parameter "
                             "Group to the controller and re-read ALL parameters?";
    const QString warning = "  WARNING: YOU HAVE PENDING CHANGES ALREADY MADE ON OTHER FIELDS.  CLICKING YES WILL "
                            "CAUSE A READ OF ALL PARAMETERS FROM THE CONTROLLER AND YOUR OTHER CHANGES WILL BE LOST!";
    struct Row {
        bool pending;
        const char* chosen;
    };
    for (const Row r : {Row{false, "PID1"}, Row{true, "PID2"}}) {
        f.Changed = r.pending;
        fill(f, 0x1001, "12.34");
        boxes_.clear();
        pick(f, f.cbxParameter(0x101C), r.chosen); // answered No
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().text, r.pending ? question + warning : question);
        EXPECT_EQ(boxes_.last().title, "Immediate Write of PID Parameter Group");
        EXPECT_EQ(f.cbxParameter(0x101C)->Text(), r.chosen);
        EXPECT_EQ(f.txtParameter(0x1001)->Text(), "12.34"); // layout not worked out again
        EXPECT_TRUE(f.Changed);
    }
    boxes_.clear();
    pick(f, f.cbxParameter(0x101C), "Auto Tune");
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "PID Parameters Will Be Hidden");
    EXPECT_TRUE(boxes_.last().text.startsWith("Note: Selecting 'Auto Tune' for the PID Parameter Group will now cause "
                                              "the PID parameters to be hidden from the screen.  This is"));
    EXPECT_EQ(f.txtParameter(0x1001)->Text(), "12.3"); // laid out again
    EXPECT_TRUE(f.lblProgress->text().isEmpty());     // nothing sent
}

TEST_F(ConfigEditingTest, LeavingAFieldClampsAndFormats)
{
    struct Row {
        const char* point; // decimal point of group 0; register 262 follows it
        int minimum, maximum;
        const char *typed, *shown;
        bool beep;
    };
    const Row rows[] = {
        {"0.0", -1999, 9999, "-250", "-199.9", true},
        {"0.0", -1999, 9999, "1234", "999.9", true},
        {"0.0", -1999, 9999, "12.34", "12.3", false},
        {"0.0", -19999, 29999, "1,234.5", "1,234.5", false},
        {"0.0", 1, 9999, "0", "0.1", true},
        {"0.0", -1999, 9999, " +1,234 ", "999.9", true},
        {"0.0", -1999, 9999, "-.5", "-0.5", false},
        {"0.0", -1999, 9999, "5.", "5.0", false},
        {"0.0", -1999, 9999, "1e2", "100.0", false},
        {"0", 0, 0, "5", "0", true},      // a register without a row: both limits 0
        {"0", -1999, 9999, "", "", false}, // empty stays empty
    };
    FrmConfig& f = open(0, "R");
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.point) + " " + r.typed);
        pick(f, f.cbxDecimalPoint(0), r.point);
        gCfgField[262] = {0, 1, r.minimum, r.maximum};
        sound::resetBeeps();
        TextBox* t = f.txtParameter(262);
        type(f, t, r.typed);
        f.Changed = false;
        leave(t);
        EXPECT_EQ(t->Text(), r.shown);
        EXPECT_EQ(sound::beepCount(), r.beep ? 1 : 0);
        EXPECT_FALSE(f.Changed); // what leaving writes is no edit
        EXPECT_FALSE(f.Loading);
    }
    EXPECT_EQ(boxes_.count(), 0); // 262 is not written at once

    // Left untyped, a value beyond the limits (as read) or finer than the
    // field shows is laid out but kept, for the save and the send to name.
    pick(f, f.cbxDecimalPoint(0), "0");
    gCfgField[262] = {0, 1, -1999, 9999};
    const std::pair<const char*, const char*> untyped[] = {{"1234", "1,234"}, {"12000", "12,000"}, {"12.5", "12.5"}};
    for (const auto& [held, shown] : untyped) {
        fill(f, 262, held);
        f.Changed = false;
        sound::resetBeeps();
        showPageOf(f, f.txtParameter(262));
        f.txtParameter(262)->setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(f.txtParameter(262)->selectedText(), held); // the whole text is selected on entry
        leave(f.txtParameter(262));
        EXPECT_EQ(f.txtParameter(262)->Text(), shown);
        EXPECT_EQ(sound::beepCount(), 0);
        EXPECT_FALSE(f.Changed);
    }
}

// A typed text that is not wholly a number, in a text field or a step time
// field, is named and the field keeps its value: no 0 nobody typed goes out.
TEST_F(ConfigEditingTest, TypedTextsThatAreNoNumberAreRefusedAndTheFieldKeepsItsValue)
{
    FrmConfig& f = open(1, "R");
    pick(f, f.cbxParameter(0x1005), "RAMP/SOAK"); // opens the programme pages
    asLoaded(f, [&] {
        f.txtParameter(0x1007)->setText("12.5");
        f.txtPattHour(43)->setText("02");
    });
    for (TextBox* t : {f.txtParameter(0x1007), f.txtPattHour(43)}) {
        const QString held = t->Text();
        for (const char* typed : {"abc", "12abc", "1,5", "0x10", "&H10", "+", ".", "--1", "1.2.3"}) {
            SCOPED_TRACE(t->objectName().toStdString() + " " + typed);
            boxes_.clear();
            type(f, t, typed);
            leave(t);
            ASSERT_EQ(boxes_.count(), 1);
            EXPECT_EQ(boxes_.last().title, "Invalid Number");
            EXPECT_EQ(boxes_.last().text, "The value >" + QString(typed)
                                              + " is not a number.  Type digits, with a sign and a decimal point "
                                                "where needed.  The field keeps its value >"
                                              + held + ".");
            EXPECT_EQ(t->Text(), held);
        }
    }
}

TEST_F(ConfigEditingTest, TypingAnIntegralTimeLaysOutAtOnceAndKeepsTheCaret)
{
    FrmConfig& f = open(1, "R");
    TextBox* t = f.txtParameter(0x100A);
    fill(f, 0x1001, "12.34");
    type(f, t, "123");
    EXPECT_EQ(f.txtParameter(0x1001)->Text(), "12.3"); // laid out before the field is left
    EXPECT_TRUE(f.Changed);
    struct Row {
        int caret;
        QTest::KeyAction action;
        Qt::Key key;
        const char *shown;
        int caretAfter;
    };
    // Starting from "123": the typed digit or deletion, the grouped text, where the caret stands.
    const Row rows[] = {
        {1, QTest::Click, Qt::Key_9, "1,923", 3},
        {0, QTest::Click, Qt::Key_5, "5,123", 1},
    };
    for (const Row& r : rows) {
        asLoaded(f, [&] { t->setText("123"); });
        t->setCursorPosition(r.caret);
        QTest::keyClick(t, r.key);
        EXPECT_EQ(t->Text(), r.shown);
        EXPECT_EQ(t->cursorPosition(), r.caretAfter) << r.shown;
    }
    // Deleting a digit takes the grouping away again.
    t->setCursorPosition(5);
    QTest::keyClick(t, Qt::Key_Backspace);
    EXPECT_EQ(t->Text(), "512");
    EXPECT_EQ(t->cursorPosition(), 3);

    // Laid out while typed, it is still typed: leaving puts it at the limit.
    sound::resetBeeps();
    type(f, t, "99999");
    leave(t);
    EXPECT_EQ(t->Text(), "9,999");
    EXPECT_EQ(sound::beepCount(), 1);
}

TEST_F(ConfigEditingTest, StepTimesTakeHoursAndMinutesWithinBounds)
{
    struct Row {
        bool hours;
        const char *typed, *shown;
        bool beep;
    };
    const Row rows[] = {
        {true, "20", "15", true},  {true, "7.6", "08", false}, {true, "15.4", "15", true},
        {true, "-3", "00", true},  {true, "", "", false},     {false, "60", "59", true},
        {false, "5", "05", false},
    };
    FrmConfig& f = open(1, "R");
    pick(f, f.cbxParameter(0x1005), "RAMP/SOAK"); // opens the programme pages
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.hours ? "hours " : "minutes ") + r.typed);
        TextBox* t = r.hours ? f.txtPattHour(43) : f.txtPattMin(43); // pattern 5, step 3
        sound::resetBeeps();
        f.Changed = false;
        type(f, t, r.typed);
        EXPECT_TRUE(f.Changed || t->Text().isEmpty());
        f.Changed = false;
        leave(t);
        EXPECT_EQ(t->Text(), r.shown);
        EXPECT_EQ(sound::beepCount(), r.beep ? 1 : 0);
        EXPECT_FALSE(f.Changed);
    }
    EXPECT_EQ(boxes_.count(), 0);

    // A step time read beyond what the fields take (70:47) is never cut by
    // passing through its fields: the save and the send name it.
    asLoaded(f, [&] {
        f.txtPattHour(43)->setText("70");
        f.txtPattMin(43)->setText("47");
    });
    f.Changed = false;
    sound::resetBeeps();
    for (TextBox* t : {f.txtPattHour(43), f.txtPattMin(43)}) {
        QTest::mouseClick(t, Qt::LeftButton, {}, QPoint(4, t->height() / 2));
        leave(t);
    }
    EXPECT_EQ(f.txtPattHour(43)->Text() + ":" + f.txtPattMin(43)->Text(), "70:47");
    EXPECT_EQ(sound::beepCount(), 0);
    EXPECT_FALSE(f.Changed);
}

TEST_F(ConfigEditingTest, AFailingHandlerNamesItselfAndLeavesLoadingClear)
{
    FrmConfig& f = open(0, "R");
    struct Row {
        std::function<void()> call; // reaches a widget the screen does not have
        const char* routine;
    };
    const Row rows[] = {
        {[&] { f.cbxParameter_Click(9999); }, "Routine - frmConfig.cbxParameter_Click, Parameter > 9999"},
        {[&] { f.txtParameter_LostFocus(9999); }, "Routine - frmConfig.txtParameter_LostFocus"},
        {[&] { f.txtPattHour_LostFocus(99); }, "Routine - frmConfig.txtPattHour_LostFocus"},
        {[&] { f.txtPattMin_LostFocus(99); }, "Routine - frmConfig.txtPattMin_LostFocus"},
    };
    for (const Row& r : rows) {
        boxes_.clear();
        r.call();
        ASSERT_EQ(boxes_.count(), 1) << r.routine;
        EXPECT_EQ(boxes_.last().title, "Application Error");
        EXPECT_TRUE(boxes_.last().text.endsWith(r.routine)) << boxes_.last().text.toStdString();
        EXPECT_FALSE(f.Loading);
    }
}
