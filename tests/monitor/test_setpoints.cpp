// Edit Setpoint Values against the simulator's demonstration line: reads,
// entry rules, writes on the line, and the change guards.
#include <QApplication>
#include <QFocusEvent>

#include "core/state.h"
#include "demo_line.h"
#include "monitor/frmSetpoints.h"
#include "shell/frmMain.h"

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
        EXPECT_TRUE(f().cmdUpdate->isEnabled() && errorLine().empty() && f().Scale == 10.0f) << row;
        const auto got = sim_.requests();
        ASSERT_GE(got.size(), frames.size()) << row;
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(got[i].startsWith(frames[i]) && (frames[i][0] == ':' || frames[i][0] == '\x02' ||
                                                         got[i].size() == frames[i].size()))
                << row << " request " << i << ": " << got[i].toHex().constData();
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(SetpointsTest, UpdateWritesEveryFilledFieldScaledUntilAWriteFails)
{
    FrmSetpoints& d = f();
    d.lstControls->setListIndex(2);
    enter(0, "1,234.5");
    enter(1, "");
    sim_.clearLog();
    d.cmdUpdate->click();
    auto got = sim_.requests();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0], Rtu("01101001000102" "3039")); // 1,234.5 x 10
    EXPECT_EQ(got[1], Rtu("01101025000102" "0000")); // the emptied field: 0
    EXPECT_EQ(got[6], Rtu("01101028000102" "03E8"));
    EXPECT_TRUE(errorLine().empty() && !d.Changed);
    EXPECT_EQ(d.txtSV(0)->text(), "1,234.5"); // not read again

    // The clamp holds the shown value; scaled past what a register holds it
    // is refused before anything is sent, and the later fields are not written.
    enter(5, "12345");
    sim_.clearLog();
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.requests().size(), 5u);
    EXPECT_EQ(errorLine(), "12/7/2026 5:27:41 PM - Address 001:Invalid Modbus Write Value 99990 at Register > "
                           "1029H (4137)");
    EXPECT_FALSE(d.Changed);

    // "Zarn Link" writes decimal data and its sign.
    d.lstControls->setListIndex(0);
    enter(0, "-12.5");
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.must("get 50 zwrite 0x202"), "\"0125FF\"");
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
