// Edit Setpoint Values against the simulator's demonstration line: reads,
// entry rules, writes on the line, and the change guards.
#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>

#include "core/state.h"
#include "demo_line.h"
#include "monitor/frmSetpoints.h"
#include "shell/frmMain.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

class SetpointsTest : public DemoLineTest {
protected:
    void SetUp() override
    {
        DemoLineTest::SetUp();
        const std::tuple<const char*, const char*, const char*, int> list[] = {
            {"32", "Oven Zone 1 with a long name", "Z", 0},
            {"33", "Press", "R", 0},
            {"001", "Kiln", "R", 1},
            {"001", "Kiln over ASCII", "A", 1},
            {"002", "Bath", "A", 2},
        };
        for (const auto& [address, name, protocol, group] : list) {
            InstrumentRecord r;
            r.Address = address;
            r.Name = name;
            r.Protocol = protocol;
            r.Group = group;
            gInstruments.Append(r);
        }
    }
    FrmSetpoints& open()
    {
        frmSetpoints().Show();
        return frmSetpoints();
    }
    FrmSetpoints& f() { return frmSetpoints(); }
    void add(const char* address, const char* protocol, int group)
    {
        InstrumentRecord r;
        r.Address = address;
        r.Name = "Extra";
        r.Protocol = protocol;
        r.Group = group;
        gInstruments.Append(r);
        Forms::discardAll();
        open();
    }
    // Field texts, "-" for a disabled field, "~" for a hidden one.
    QString shown()
    {
        QStringList l;
        for (int k = 0; k < FrmSetpoints::kFields; ++k) {
            TextBox* t = f().txtSV(k);
            l << (!ctl::Visible(t) ? QStringLiteral("~") : t->isEnabled() ? t->text() : QStringLiteral("-"));
        }
        return l.join('|');
    }
    QString errorLine() { return frmMain().lblErrorMessageText->text(); }
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

TEST_F(SetpointsTest, LoadsTheListWithNothingChosen)
{
    FrmSetpoints& d = open();
    EXPECT_EQ(d.windowTitle(), "Edit Setpoint Values");
    ASSERT_EQ(d.lstControls->ListCount(), 5);
    EXPECT_EQ(d.lstControls->List(0), "32     Oven Zone 1 with");
    EXPECT_EQ(d.lstControls->List(4), "002     Bath");
    EXPECT_EQ(d.lblControls->text(), "Address           Name");
    EXPECT_EQ(d.lstControls->ListIndex(), -1);
    EXPECT_EQ(shown(), "-|-|-|-|-|~|~");
    EXPECT_FALSE(d.cmdUpdate->isEnabled());
    EXPECT_FALSE(d.Changed);
    // Taking the focus chooses nothing and reads nothing.
    d.lstControls->setFocus();
    EXPECT_EQ(d.lstControls->ListIndex(), -1);
    EXPECT_TRUE(sim_.requests().empty());
}

TEST_F(SetpointsTest, PortClosedLeavesOnlyClose)
{
    gCommOK = false;
    FrmSetpoints& d = open();
    EXPECT_FALSE(d.lstControls->isEnabled());
    EXPECT_EQ(d.lstControls->ListCount(), 0);
    EXPECT_FALSE(d.cmdUpdate->isEnabled());
    d.cmdClose->click();
    EXPECT_FALSE(Forms::isLoaded<FrmSetpoints>());
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(SetpointsTest, EachGroupAndProtocolReadsItsFieldsOnTheLine)
{
    // list row; fields shown; first unit; requests of the read
    const std::tuple<int, const char*, const char*, std::vector<QByteArray>> rows[] = {
        {0, "80.0|10.0|10.0|10.0|10.0|~|~", "°F",
         {"\x02Z320102", "\x02Z320107", "\x02Z320108", "\x02Z320109", "\x02Z32010A"}},
        {1, "75.0|60.0|90.0|50.0|95.0|~|~", " °C",
         {Rtu("330301010001"), Rtu("330300020001"), Rtu("3303031A0001"), Rtu("330301060001"), Rtu("330300020001"),
          Rtu("3303031A0001"), Rtu("330301070001"), Rtu("330300020001"), Rtu("3303031A0001"), Rtu("330301080001"),
          Rtu("330300020001"), Rtu("3303031A0001"), Rtu("330301090001"), Rtu("330300020001"),
          Rtu("3303031A0001")}},
        {2, "130.0|110.0|140.0|105.0|145.0|150.0|100.0", " °C",
         {Rtu("016700120001"), Rtu("010310010001"), Rtu("0103102A0001"), Rtu("010310250001"), Rtu("0103102A0001"),
          Rtu("010310240001"), Rtu("0103102A0001"), Rtu("010310270001"), Rtu("0103102A0001"), Rtu("010310260001"),
          Rtu("0103102A0001"), Rtu("010310290001"), Rtu("0103102A0001"), Rtu("010310280001"),
          Rtu("0103102A0001")}},
        {3, "130.0|110.0|140.0|105.0|145.0|150.0|100.0", " °C", {":016700120001", ":010310010001", ":0103102A0001"}},
        {4, "37.0|33.0|40.0|32.0|41.0|~|~", " °C", {":020347010001", ":0203472B0001", ":020347030001"}},
    };
    FrmSetpoints& d = open();
    frmMain().lblErrorMessageText->setText("old error");
    for (const auto& [row, fields, unit, frames] : rows) {
        sim_.clearLog();
        d.lstControls->setListIndex(row);
        EXPECT_EQ(shown(), fields) << row;
        EXPECT_EQ(d.lblUnits(0)->text(), QString::fromUtf8(unit)) << row;
        EXPECT_EQ(d.lblAddressText->text() + "|" + d.lblNameText->text(),
                  gInstruments[row].Address + "|" + gInstruments[row].Name);
        EXPECT_TRUE(d.cmdUpdate->isEnabled()) << row;
        EXPECT_TRUE(errorLine().isEmpty()) << row;
        EXPECT_EQ(d.Scale, 10.0f) << row;
        // The requests as they went out (text frames up to their check characters).
        const auto got = sim_.requests();
        ASSERT_GE(got.size(), frames.size()) << row;
        for (std::size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(got[i].startsWith(frames[i]) && (frames[i][0] == ':' || frames[i][0] == '\x02' ||
                                                         got[i].size() == frames[i].size()))
                << row << " request " << i << ": " << got[i].toHex().constData();
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(SetpointsTest, LeavingAFieldClampsAndFormatsIt)
{
    FrmSetpoints& d = open();
    d.lstControls->setListIndex(2); // "#,###,###,##0.0"
    const std::pair<const char*, const char*> cases[] = {
        {"12345", "9,999.0"},   {"-20000", "-9,999.0"}, {"", "0.0"},          {"1,234.5", "1,234.5"},
        {"12abc", "12.0"},      {"abc", "0.0"},         {" 7.25 ", "7.3"},    {"1.23456", "1.2"},
        {"1e3", "1,000.0"},     {"9999.04", "9,999.0"}, {"1,2,3", "123.0"},   {"-0.04", "0.0"},
    };
    for (const auto& [typed, after] : cases) {
        enter(1, QString::fromLatin1(typed));
        EXPECT_EQ(d.txtSV(1)->text(), after) << typed;
    }
    EXPECT_TRUE(d.Changed);
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(SetpointsTest, UpdateWritesEveryFilledFieldScaled)
{
    FrmSetpoints& d = open();
    d.lstControls->setListIndex(2);
    enter(0, "1,234.5");
    enter(1, "");
    sim_.clearLog();
    d.cmdUpdate->click();
    EXPECT_FALSE(d.Changed);
    auto got = sim_.requests();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0], Rtu("01101001000102" "3039")); // 1,234.5 x 10
    EXPECT_EQ(got[1], Rtu("01101025000102" "0000")); // the cleared field: 0
    EXPECT_EQ(got[6], Rtu("01101028000102" "03E8"));
    EXPECT_EQ(sim_.must("get 1 reg 0x1001"), "12345");
    EXPECT_TRUE(errorLine().isEmpty());
    // The fields are not read again.
    EXPECT_EQ(d.txtSV(0)->text(), "1,234.5");

    // The clamp holds the shown value; a scaled value past what a register
    // holds is refused before anything is sent, and the fields after it are
    // not written.
    enter(5, "12345");
    EXPECT_EQ(d.txtSV(5)->text(), "9,999.0");
    sim_.clearLog();
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.requests().size(), 5u);
    EXPECT_TRUE(errorLine().endsWith("Address 001:Invalid Modbus Write Value 99990 at Register > 1029H (4137)"))
        << errorLine().toStdString();
    EXPECT_EQ(sim_.must("get 1 reg 0x1028"), "1000");

    // "Zarn Link" in decimal data, Modbus ASCII group 2 with function 6.
    d.lstControls->setListIndex(0);
    enter(0, "-12.5");
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.must("get 50 zwrite 0x202"), "\"0125FF\""); // four digits and the minus sign
    d.lstControls->setListIndex(4);
    enter(4, "55.5");
    sim_.clearLog();
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.must("get 2 reg 0x4704"), "555");
    got = sim_.requests();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_TRUE(got[4].startsWith(":02064704022B")) << got[4].constData();
    EXPECT_TRUE(errorLine().isEmpty());
}

TEST_F(SetpointsTest, NotAvailableValuesStopTheReadButLeaveUpdate)
{
    serve(R"(instrument 3 group 2 protocol A
             reg 3 0x472B 8
             instrument 4 group 2 protocol A
             reg 4 0x472B 8
             reg 4 0x4701 250)");
    add("003", "A", 2); // no set point at all
    add("004", "A", 2); // a set point, no alarm set points
    FrmSetpoints& d = f();
    frmMain().lblErrorMessageText->setText("old error");
    d.lstControls->setListIndex(5);
    EXPECT_EQ(shown(), "-|-|-|-|-|~|~");
    EXPECT_TRUE(d.cmdUpdate->isEnabled());
    EXPECT_TRUE(errorLine().isEmpty());
    sim_.clearLog();
    frmMain().lblErrorMessageText->setText("old error");
    d.cmdUpdate->click();
    EXPECT_TRUE(sim_.requests().empty());
    EXPECT_TRUE(errorLine().isEmpty());

    d.lstControls->setListIndex(6);
    EXPECT_EQ(shown(), "25.0|-|-|-|-|~|~");
    EXPECT_TRUE(d.cmdUpdate->isEnabled());
}

TEST_F(SetpointsTest, OtherFailuresDisableUpdateAndReachTheErrorLine)
{
    // 005 answers nobody; 006 of group 1 has no model register; 7 fails its
    // third read (the first alarm value) with a device failure.
    serve(R"(instrument 6 group 1 protocol R
             reg 6 0x1001 100
             instrument 7 group 2 protocol A
             reg 7 0x472B 8
             reg 7 0x4701 250
             reg 7 0x4703 100
             fault 7 slow:0 count=2
             fault 7 exception:4)");
    add("005", "A", 2);
    add("006", "R", 1);
    add("007", "A", 2);
    FrmSetpoints& d = f();
    const std::tuple<int, const char*, const char*> rows[] = {
        {5, "-|-|-|-|-|~|~", "Address 005:"},
        {6, "-|-|-|-|-|~|~", "Address 006:Illegal Data Address response from instrument for register 12H (1794)"},
        {7, "25.0|-|-|-|-|~|~", "Address 007:Slave Device Failure response from instrument for register 4703H (263)"},
    };
    for (const auto& [row, fields, error] : rows) {
        d.lstControls->setListIndex(row);
        EXPECT_EQ(shown(), fields) << row;
        EXPECT_FALSE(d.cmdUpdate->isEnabled()) << row;
        EXPECT_TRUE(errorLine().startsWith("12/7/2026 5:27:41 PM - " + QString::fromLatin1(error)))
            << errorLine().toStdString();
    }
    EXPECT_EQ(Screen::mousePointer(), Screen::Default);

    // A failed write ends Update at once; the fields stay as typed.
    d.lstControls->setListIndex(2);
    enter(0, "20");
    serve("fault 1 slow:0\nfault 1 exception:3");
    sim_.clearLog();
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.requests().size(), 2u);
    EXPECT_TRUE(errorLine().endsWith("Address 001:Illegal Data Value response from instrument for register 1025H (263). Value= 1100"))
        << errorLine().toStdString();
    EXPECT_EQ(d.txtSV(0)->text(), "20.0");
    EXPECT_FALSE(d.Changed);
}

TEST_F(SetpointsTest, ChangingInstrumentAfterAnEditAsksFirst)
{
    FrmSetpoints& d = open();
    d.lstControls->setListIndex(2);
    enter(0, "55");
    boxes_.push(mb::No);
    sim_.clearLog();
    d.lstControls->setListIndex(4);
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Cancel Changes?");
    EXPECT_EQ(boxes_.last().text, "Are sure you wish to cancel your current Setpoint changes?");
    EXPECT_EQ(boxes_.last().style, mb::YesNo | mb::Question | mb::DefaultButton2);
    // No: the old instrument stays, in the list too, and Update writes it.
    EXPECT_EQ(d.lstControls->ListIndex(), 2);
    EXPECT_EQ(d.SelIndex, 2);
    EXPECT_EQ(d.txtSV(0)->text(), "55.0");
    EXPECT_TRUE(sim_.requests().empty());
    d.cmdUpdate->click();
    EXPECT_EQ(sim_.must("get 1 reg 0x1001"), "550");
    EXPECT_EQ(sim_.must("get 2 reg 0x4701"), "370");

    // Yes: the new instrument is read.
    enter(0, "60");
    boxes_.push(mb::Yes);
    d.lstControls->setListIndex(4);
    EXPECT_EQ(d.lstControls->ListIndex(), 4);
    EXPECT_EQ(shown(), "37.0|33.0|40.0|32.0|41.0|~|~");
    EXPECT_FALSE(d.Changed);
}

TEST_F(SetpointsTest, ClosingAfterAnEditAsksFirst)
{
    FrmSetpoints& d = open();
    d.lstControls->setListIndex(1);
    d.cmdClose->click();
    EXPECT_FALSE(Forms::isLoaded<FrmSetpoints>()); // nothing edited: no question
    EXPECT_EQ(boxes_.count(), 0);

    FrmSetpoints& again = open();
    again.lstControls->setListIndex(1);
    enter(2, "5");
    boxes_.push(mb::No);
    again.cmdClose->click();
    EXPECT_TRUE(Forms::isLoaded<FrmSetpoints>() && again.isVisible());
    EXPECT_EQ(boxes_.last().title, "Cancel Changes?");
    boxes_.push(mb::Yes);
    again.cmdClose->click();
    EXPECT_FALSE(Forms::isLoaded<FrmSetpoints>());
}

TEST_F(SetpointsTest, NameCaptionClickCopiesTheNameIntoTheToolTip)
{
    FrmSetpoints& d = open();
    d.lstControls->setListIndex(0);
    const QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(d.lblName, &press);
    QApplication::sendEvent(d.lblName, &release);
    EXPECT_EQ(d.lblNameText->toolTip(), "Oven Zone 1 with a long name");
}

} // namespace
