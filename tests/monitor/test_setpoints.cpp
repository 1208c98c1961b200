// Edit Setpoint Values against the simulator's demonstration line: reads,
// entry rules, writes on the line, and the change guards.
#include <QApplication>
#include <QFocusEvent>
#include <cmath>

#include "core/state.h"
#include "demo_line.h"
#include "monitor/frmSetpoints.h"
#include "shell/frmMain.h"
#include "support/typed_sweep.h"

using namespace modZarn;

namespace {
class SetpointsTest : public DemoLineTest {
protected:
    void SetUp() override
    {
        DemoLineTest::SetUp();
        addInstrument("32", "Z", 0, "Oven Zone 1 with a long name");
        addInstrument("33", "R", 0, "Press");
        addInstrument("001", "R", 1, "Kiln");
        addInstrument("001", "A", 1, "Kiln over ASCII");
        addInstrument("002", "A", 2, "Bath");
    }
    FrmSetpoints& f()
    {
        if (!Forms::isLoaded<FrmSetpoints>())
            frmSetpoints().Show();
        return frmSetpoints();
    }
    // Field texts, "-" for a disabled field, "~" for a hidden one.
    std::string shown()
    {
        QStringList l;
        for (int k = 0; k < FrmSetpoints::kFields; ++k) {
            TextBox* t = f().txtSV(k);
            l << (!ctl::Visible(t) ? QStringLiteral("~") : t->isEnabled() ? t->text() : QStringLiteral("-"));
        }
        return l.join('|').toStdString();
    }
    std::string errorLine() { return frmMain().lblErrorMessageText->text().toStdString(); }
    // Enters a field, types over its text and leaves it with Tab, as the user does.
    void enter(int k, const QString& text)
    {
        TextBox* box = f().txtSV(k);
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(box, &in);
        EXPECT_EQ(box->selectedText(), box->text()); // entering selects the whole text
        box->insert(text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box, &out);
    }
};

TEST_F(SetpointsTest, EachGroupAndProtocolReadsItsFieldsOnTheLine)
{
    // list row; fields shown; units; the first requests (text frames up to their check characters)
    const std::tuple<int, const char*, const char*, std::vector<QByteArray>> rows[] = {
        {0, "80.0|10.0|10.0|10.0|10.0|~|~", "°F||||", {"\x02Z320102", "\x02Z320107", "\x02Z320108"}},
        {1, "75.0|60.0|90.0|50.0|95.0|~|~", " °C| °C| °C| °C| °C",
         {Rtu("330301010001"), Rtu("330300020001"), Rtu("3303031A0001"), Rtu("330301060001")}},
        {2, "130.0|110.0|140.0|105.0|145.0|150.0|100.0", " °C| °C| °C| °C| °C| °C| °C",
         {Rtu("016700120001"), Rtu("010310010001"), Rtu("0103102A0001"), Rtu("010310250001")}},
        {4, "37.0|33.0|40.0|32.0|41.0|~|~", " °C| °C| °C| °C| °C", {":020347010001", ":0203472B0001"}},
    };
    frmMain().lblErrorMessageText->setText("old error");
    for (const auto& [row, fields, units, frames] : rows) {
        sim_.clearLog();
        f().lstControls->setListIndex(row);
        EXPECT_EQ(shown(), fields) << row;
        QStringList u;
        for (int k = 0; k < FrmSetpoints::kFields && ctl::Visible(f().lblUnits(k)); ++k)
            u << f().lblUnits(k)->text();
        EXPECT_EQ(u.join('|'), QString::fromUtf8(units)) << row;
        EXPECT_TRUE(f().cmdUpdate->isEnabled() && errorLine().empty() && f().Scale[0] == 10.0f) << row;
        const auto got = sim_.requests();
        ASSERT_GE(got.size(), frames.size()) << row;
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(got[i].startsWith(frames[i]) && (frames[i][0] == ':' || frames[i][0] == '\x02' ||
                                                         got[i].size() == frames[i].size()))
                << row << " request " << i << ": " << got[i].toHex().constData();
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(SetpointsTest, UpdateWritesEveryFieldScaledAndTellsAFailedWriteInTheDialog)
{
    FrmSetpoints& d = f();
    d.lstControls->setListIndex(2);
    enter(0, "999.9");
    sim_.clearLog();
    d.cmdUpdate->click();
    auto got = sim_.requests();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0], Rtu("01101001000102" "270F")); // 999.9 x 10
    EXPECT_EQ(got[5], Rtu("01101028000102" "05DC")); // Alarm3 Hi SV, 150.0
    EXPECT_EQ(got[6], Rtu("01101029000102" "03E8")); // Alarm3 Lo SV, 100.0
    EXPECT_TRUE(errorLine().empty() && !d.Changed && boxes_.count() == 0);
    EXPECT_EQ(d.txtSV(0)->text(), "999.9"); // not read again

    // The third write fails: the later fields are not written, and the
    // failure is told over the dialog as well as on the main menu's line.
    serve("fault 1 slow:0 count=2\nfault 1 exception:4");
    enter(1, "11");
    sim_.clearLog();
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.requests().size(), 3u);
    const std::string failure = "Address 001:Slave Device Failure response from instrument for register 1024H (264)";
    EXPECT_EQ(errorLine(), "12/7/2026 5:27:41 PM - " + failure);
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Update Setpoint Values Communications Error");
    EXPECT_EQ(boxes_.last().text.toStdString(),
              "The Alarm1 Hi SV value was not written due to communications Error >" + failure +
                  ".\rWritten: SV, Alarm1 Lo SV.\rNot written: Alarm1 Hi SV, Alarm2 Lo SV, Alarm2 Hi SV, "
                  "Alarm3 Hi SV, Alarm3 Lo SV.");
    EXPECT_TRUE(boxes_.last().hadOwner && boxes_.last().style == mb::Exclamation);
    EXPECT_FALSE(d.Changed);

    // "Zarn Link" writes decimal data and its sign.
    d.lstControls->setListIndex(0);
    enter(0, "-12.5");
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.must("get 50 zwrite 0x202"), "\"0125FF\"");
}

// An instrument whose fields show different decimal places: each field goes
// back at its own scale, untouched ones as they were read.
TEST_F(SetpointsTest, EachFieldKeepsItsOwnScale)
{
    serve(R"(instrument 60 group 0 protocol Z
             zcmd 60 0x102 15.0
             zcmd 60 0x107 99
             zcmd 60 0x108 -2.00
             zcmd 60 0x109 1.5
             zcmd 60 0x10A 0.125)");
    addInstrument("3C", "Z", 0, "Mixed");
    FrmSetpoints& d = f();
    d.lstControls->setListIndex(5);
    ASSERT_EQ(shown(), "15.0|99|-2.00|1.5|0.125|~|~");
    enter(3, "2.5");
    d.cmdUpdate->click();
    ASSERT_TRUE(errorLine().empty()) << errorLine();
    const std::pair<const char*, const char*> written[] = {
        {"0x202", "015000"}, {"0x207", "009900"}, {"0x208", "0200FF"}, {"0x209", "002500"}, {"0x20A", "012500"}};
    for (const auto& [cmd, data] : written)
        EXPECT_EQ(sim_.must(std::string("get 60 zwrite ") + cmd), std::string("\"") + data + "\"") << cmd;
}

// Every kind of typed value, at every decimal point and on every path:
// exactly the value typed goes out, or a box says why and nothing is sent.
TEST_F(SetpointsTest, EveryTypedValueGoesOutAsTypedOrIsRefused)
{
    serve(R"(instrument 40 group 0 protocol R
             reg 40 2 0
             reg 40 257 100
             reg 40 262 0
             reg 40 263 0
             reg 40 264 0
             reg 40 265 0)");
    addInstrument("28", "R", 0, "Sweep");
    // list row, decimals (28H's decimal-point setting), where the set point went ("" the "Zarn Link" one)
    std::vector<std::tuple<int, int, const char*>> passes = {{0, 1, ""}, {2, 1, "get 1 reg 0x1001"},
                                                             {4, 1, "get 2 reg 0x4701"}};
    for (int dp = 0; dp <= 3; ++dp)
        passes.emplace_back(5, dp, "get 40 reg 257");
    for (const auto& [row, decimals, sent] : passes) {
        serve("reg 40 794 " + QString::number(decimals));
        f().lstControls->setListIndex(row == 1 ? 0 : 1);
        f().lstControls->setListIndex(row);
        std::size_t fields = 0;
        while (fields < FrmSetpoints::kFields && f().txtSV(int(fields))->isEnabled())
            ++fields;
        ASSERT_EQ(f().Scale[0], float(std::pow(10, decimals)));
        for (const TypedValue& c : TypedSweep(decimals, -1999, 9999)) {
            SCOPED_TRACE(QString("row %1 at %2 decimals: \"%3\"").arg(row).arg(decimals).arg(c.text).toStdString());
            enter(0, c.text);
            sim_.clearLog();
            boxes_.clear();
            f().cmdUpdate->click();
            EXPECT_EQ(sim_.requests().size(), c.raw ? fields : 0u);
            EXPECT_EQ(f().Changed, !c.raw);
            if (c.raw) {
                EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
                EXPECT_EQ(*sent ? sim_.must(sent) : ZarnWritten(sim_.must("get 50 zwrite 0x202")),
                          std::to_string(*c.raw));
            } else {
                ASSERT_EQ(boxes_.count(), 1);
                EXPECT_EQ(boxes_.last().title, "Invalid Setpoint Value");
                EXPECT_EQ(f().txtSV(0)->text(), c.text); // left as typed
            }
        }
        f().Changed = false; // an edit the user keeps: the next instrument is chosen without asking
    }
    const std::pair<const char*, const char*> reasons[] = {
        {"0.1234", "The SV value 0.1234 cannot be sent because it has more decimal places than the instrument "
                   "shows (3).  No value was written."},
        {"10", "The SV value 10 cannot be sent because it is outside the range -1.999 to 9.999 that the instrument "
               "can hold.  No value was written."},
        {"abc", "The SV value \"abc\" is not a number.  Enter the value as digits with an optional decimal point.  "
                "No value was written."},
    };
    for (const auto& [typed, says] : reasons) {
        enter(0, typed);
        f().cmdUpdate->click();
        EXPECT_EQ(boxes_.last().text, says);
    }
}

TEST_F(SetpointsTest, NotAvailableKeepsUpdateAndOtherFailuresDisableIt)
{
    // 003: no set point; 004: a set point only; 005: nobody; 006 of group 1:
    // no model register; 007: a device failure on its third read.
    serve(R"(instrument 3 group 2 protocol A
             reg 3 0x472B 8
             instrument 4 group 2 protocol A
             reg 4 0x472B 8
             reg 4 0x4701 250
             instrument 6 group 1 protocol R
             reg 6 0x1001 100
             instrument 7 group 2 protocol A
             reg 7 0x472B 8
             reg 7 0x4701 250
             reg 7 0x4703 100
             fault 7 slow:0 count=2
             fault 7 exception:4)");
    for (const char* a : {"003", "004", "005", "006", "007"})
        addInstrument(a, a[2] == '6' ? "R" : "A", a[2] == '6' ? 1 : 2, "Extra");
    // list row; fields shown; Update enabled; the error line's start
    const std::tuple<int, const char*, bool, const char*> rows[] = {
        {5, "-|-|-|-|-|~|~", true, ""},
        {6, "25.0|-|-|-|-|~|~", true, ""},
        {7, "-|-|-|-|-|~|~", false, "Address 005:"},
        {8, "-|-|-|-|-|~|~", false, "Address 006:Illegal Data Address response from instrument for register 12H (1794)"},
        {9, "25.0|-|-|-|-|~|~", false,
         "Address 007:Slave Device Failure response from instrument for register 4703H (263)"},
    };
    for (const auto& [row, fields, update, error] : rows) {
        frmMain().lblErrorMessageText->setText("old error");
        f().lstControls->setListIndex(row);
        EXPECT_EQ(shown(), fields) << row;
        EXPECT_EQ(f().cmdUpdate->isEnabled(), update) << row;
        const std::string expected = *error ? "12/7/2026 5:27:41 PM - " + std::string(error) : "";
        EXPECT_EQ(errorLine().substr(0, expected.empty() ? std::string::npos : expected.size()), expected) << row;
    }
    // With nothing read Update writes nothing and empties the error line.
    f().lstControls->setListIndex(5);
    sim_.clearLog();
    frmMain().lblErrorMessageText->setText("old error");
    f().cmdUpdate->click();
    EXPECT_TRUE(sim_.requests().empty() && errorLine().empty());
}

TEST_F(SetpointsTest, ChangesAreGuardedWhenTheInstrumentChangesAndOnClose)
{
    FrmSetpoints& d = f();
    d.lstControls->setListIndex(2);
    enter(0, "55");
    boxes_.push(mb::No);
    sim_.clearLog();
    d.lstControls->setListIndex(4);
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title + "|" + boxes_.last().text,
              "Cancel Changes?|Are sure you wish to cancel your current Setpoint changes?");
    EXPECT_EQ(boxes_.last().style, mb::YesNo | mb::Question | mb::DefaultButton2);
    // No: the old instrument stays, in the list too, and Update writes it.
    EXPECT_TRUE(d.lstControls->ListIndex() == 2 && d.SelIndex == 2 && d.txtSV(0)->text() == "55.0");
    EXPECT_TRUE(sim_.requests().empty());
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.must("get 1 reg 0x1001"), "550");
    EXPECT_EQ(sim_.must("get 2 reg 0x4701"), "370") << "the other instrument is left alone";

    // Yes: the new instrument is read.
    enter(0, "60");
    boxes_.push(mb::Yes);
    d.lstControls->setListIndex(4);
    EXPECT_EQ(d.lstControls->ListIndex(), 4);
    EXPECT_EQ(shown(), "37.0|33.0|40.0|32.0|41.0|~|~");

    // Closing asks only after an edit; No keeps the dialog open.
    enter(2, "5");
    boxes_.push(mb::No);
    d.cmdClose->click();
    EXPECT_TRUE(Forms::isLoaded<FrmSetpoints>() && d.isVisible());
    EXPECT_EQ(boxes_.count(), 3);
    boxes_.push(mb::Yes);
    d.cmdClose->click();
    EXPECT_FALSE(Forms::isLoaded<FrmSetpoints>());
    f().lstControls->setListIndex(1);
    f().cmdClose->click();
    EXPECT_FALSE(Forms::isLoaded<FrmSetpoints>());
    EXPECT_EQ(boxes_.count(), 4);
}

// What Update writes is what the instrument answers when it is chosen again,
// "Zarn Link" as Modbus.
TEST_F(SetpointsTest, WrittenValuesReadBackOnEveryProtocol)
{
    const std::pair<int, const char*> rows[] = {
        {0, "85.0|-12.5|95.0|15.5|99.9|~|~"},
        {1, "85.0|12.5|95.0|15.5|99.9|~|~"},
        {2, "85.0|12.5|95.0|15.5|99.9|120.0|20.0"},
        {4, "85.0|12.5|95.0|15.5|99.9|~|~"},
    };
    for (const auto& [row, values] : rows) {
        SCOPED_TRACE(row);
        f().lstControls->setListIndex(row);
        const QStringList typed = QString::fromLatin1(values).split(u'|');
        for (int k = 0; k < FrmSetpoints::kFields; ++k)
            if (typed[k] != QLatin1String("~"))
                enter(k, typed[k]);
        f().cmdUpdate->click();
        ASSERT_TRUE(errorLine().empty()) << errorLine();
        f().lstControls->setListIndex(row == 0 ? 1 : 0);
        f().lstControls->setListIndex(row);
        EXPECT_EQ(shown(), values);
    }
}

} // namespace
