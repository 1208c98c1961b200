// Values the configuration screen writes to the instrument at once, seen on
// the simulator's line.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

#include "config/frmConfig.h"
#include "config_user.h"
#include "core/commport.h"
#include "core/helpers.h"
#include "core/sysconfig.h"
#include "platform/beep.h"
#include "support/simline.h"

using namespace modZarn;
using namespace cfguser;

namespace {

const char* const kLine = R"(
instrument 51 group 0 protocol R
reg 51 257 0
reg 51 339 0
instrument 1 group 1 protocol RA
reg 1 0x1001 0
reg 1 0x101C 0
reg 1 0x1071 1
reg 1 0x1072 0
reg 1 0x1073 2
reg 1 0x1074 0
reg 1 0x1075 0
reg 1 0x1076 1
reg 1 0x4722 0
reg 1 0x4723 1
instrument 2 group 2 protocol A
reg 2 0x4701 0
)";

enum class By { Mouse, Key };

class ConfigImmediateTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        copySampleData();
        startLine(kLine);
        ReadSystemConfig(); // 9600,N,8,1
        gCommPort = 7;      // the port the program reopens is the simulator's
    }
    FrmConfig& open(int group, const char* protocol, const char* address)
    {
        FrmConfig& f = openScreen(group, protocol);
        pick(f, f.cbxAddress, address);
        boxes_.clear();
        sim_.clearLog();
        return f;
    }
    // Group 1's communications page of TQ, as read: 8 data bits, no parity.
    FrmConfig& openComm()
    {
        FrmConfig& f = open(1, "R", "001");
        pickModel(f, "TQ");
        asLoaded(f, [&] { f.cbxParameter(0x1074)->setText("8"); f.cbxParameter(0x1075)->setText("None"); });
        boxes_.clear();
        return f;
    }
    // The user says Yes to the write, which fails, and No to following it.
    void failedWriteAsksAllTheSame(FrmConfig& f, int r, const char* chosen, const char* field, const char* question)
    {
        boxes_.clear();
        boxes_.push(mb::Yes);
        boxes_.push(mb::OK);
        boxes_.push(mb::No);
        pick(f, f.cbxParameter(r), chosen);
        ASSERT_EQ(boxes_.count(), 3);
        EXPECT_EQ(boxes_.calls()[1].title, "Send to Instrument Communications Error");
        EXPECT_TRUE(boxes_.calls()[1].text.endsWith(
            ". \rSince the communications write failed, it is now recommended that you perform a Read Configuration "
            "from Instrument to put the " + QString(field) + " field back to what is in the controller."));
        EXPECT_EQ(boxes_.calls()[2].title, question);
        EXPECT_TRUE(f.lblProgress->text().isEmpty());
    }
    std::string reg(int address, int r) { return sim_.must("get " + std::to_string(address) + " reg " + std::to_string(r)); }
};

} // namespace

TEST_F(ConfigImmediateTest, SetPointsAndOutputsAreWrittenInInstrumentUnits)
{
    struct Row {
        int group;
        const char *protocol, *address, *point;
        int reg;
        const char *typed, *shown, *written;
    };
    const Row rows[] = {
        {0, "R", "33", "0.0", 258, "175", "175.0", "1750"},
        {0, "R", "33", "0", 340, "120", "100.0", "1000"}, // clamped before it is sent
        {1, "R", "001", nullptr, 0x1001, "12.5", "12.5", "125"},
        {2, "A", "002", nullptr, 0x4701, "-12.5", "-12.5", "-125"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.group) + " " + std::to_string(r.reg) + " " + r.typed);
        Forms::discardAll();
        FrmConfig& f = open(r.group, r.protocol, r.address);
        if (r.point) {
            pick(f, f.cbxDecimalPoint(0), r.point);
            sim_.clearLog();
        }
        if (r.reg == 340)
            tick(f, f.bitBox(3, 15)); // manual mode shows the manual outputs
        TextBox* t = f.txtParameter(r.reg);
        type(f, t, r.typed);
        boxes_.push(mb::Yes);
        leave(t);
        ASSERT_EQ(boxes_.count(), 1) << boxes_.last().text.toStdString();
        EXPECT_EQ(boxes_.last().title, "Immediate Write of Parameter");
        if (r.reg == 258)
            EXPECT_EQ(boxes_.last().text, "Do you want to send   Setpoint 1 (SP1)   to the controller right now?");
        EXPECT_EQ(t->Text(), r.shown);
        EXPECT_EQ(sim_.requests().size(), 1u);
        // Group 0 over Modbus counts the instrument's registers from 0.
        EXPECT_EQ(reg(AddressToNumber(r.group, r.address), r.group == 0 ? r.reg - 1 : r.reg), r.written);
        EXPECT_TRUE(f.Changed); // a value written at once is still unsaved
    }
}

TEST_F(ConfigImmediateTest, NoEmptyFailedOrDemoWriteGoesWrong)
{
    FrmConfig& f = open(0, "R", "33");
    TextBox* t = f.txtParameter(258);

    // An empty field is not offered: nothing would stand behind the 0.
    type(f, t, "");
    leave(t);
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_TRUE(f.Changed);
    EXPECT_TRUE(sim_.requests().empty());
    EXPECT_EQ(reg(51, 257), "0");

    // No leaves the instrument alone.
    type(f, t, "99");
    boxes_.push(mb::No);
    leave(t);
    EXPECT_TRUE(sim_.requests().empty());

    // A refusing instrument: the warning, the field keeps its value.
    sim_.must("fault 51 exception:3");
    type(f, t, "98");
    boxes_.clear();
    boxes_.push(mb::Yes);
    leave(t);
    ASSERT_EQ(boxes_.count(), 2);
    EXPECT_EQ(boxes_.last().title, "Send to Instrument Communications Error");
    EXPECT_TRUE(boxes_.last().text.startsWith("Communications Error >Address 33:")) << boxes_.last().text.toStdString();
    EXPECT_TRUE(boxes_.last().text.endsWith(". ") && !boxes_.last().text.contains('\r'));
    EXPECT_EQ(t->Text(), "98");
    EXPECT_TRUE(f.lblProgress->text().isEmpty());

    // In demo mode nothing goes on the line and the write succeeds.
    gDemoMode = true;
    sim_.clearLog();
    type(f, t, "97");
    boxes_.clear();
    boxes_.push(mb::Yes);
    leave(t);
    EXPECT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(sim_.requests().empty());
    EXPECT_TRUE(f.lblProgress->text().isEmpty());
    gDemoMode = false;
}

// Set point 1 (-1999 to 9999 in the instrument's units) typed at every
// decimal point of model TW, and of R7 at four decimals: either limit goes
// out exactly, a value beyond goes out as the limit after a beep; an empty
// field or a text that is no number writes nothing (the latter with a word).
TEST_F(ConfigImmediateTest, EveryKindOfEntryAtEveryDecimalPoint)
{
    FrmConfig& f = open(0, "R", "33");
    pickModel(f, "TW");
    pick(f, f.cbxInputType(0), "CURRENT");
    TextBox* t = f.txtParameter(258);
    struct Point {
        const char *model, *point, *max, *min, *beyond;
    };
    const Point points[] = {
        {"TW", "0", "9999", "-1999", "10000"},   {"TW", "0.0", "999.9", "-199.9", "1,000.0"},
        {"TW", "0.00", "99.99", "-19.99", "-20"}, {"TW", "0.000", "9.999", "-1.999", "10"},
        {"R7", ".0000", ".9999", "-.1999", "-0.2"},
    };
    for (const Point& p : points) {
        SCOPED_TRACE(p.point);
        if (f.ModelID() != p.model)
            pickModel(f, p.model);
        pick(f, f.cbxDecimalPoint(0), p.point);
        ASSERT_EQ(f.cbxDecimalPoint(0)->Text(), p.point);
        const std::pair<const char*, const char*> entries[] = {
            {p.max, "9999"}, {p.min, "-1999"}, {p.beyond, p.beyond[0] == '-' ? "-1999" : "9999"},
            {"", nullptr},   {"12abc", nullptr},
        };
        for (const auto& [typed, written] : entries) {
            SCOPED_TRACE(typed);
            asLoaded(f, [&] { t->setText("0"); });
            sim_.must("reg 51 257 1");
            sim_.clearLog();
            boxes_.clear();
            sound::resetBeeps();
            boxes_.push(mb::Yes);
            type(f, t, typed);
            leave(t);
            EXPECT_EQ(sound::beepCount(), typed == p.beyond ? 1 : 0);
            ASSERT_EQ(boxes_.count(), *typed ? 1 : 0);
            if (*typed)
                EXPECT_EQ(boxes_.last().title, written ? "Immediate Write of Parameter" : "Invalid Number");
            EXPECT_EQ(reg(51, 257), written ? written : "1");
            EXPECT_EQ(sim_.requests().size(), written ? 1u : 0u);
        }
    }

    // A value read beyond the limits, passed through untyped, stays as read
    // and is not offered for writing.
    pick(f, f.cbxDecimalPoint(0), "0.0");
    asLoaded(f, [&] { t->setText("1,200.0"); });
    boxes_.clear();
    sim_.clearLog();
    QTest::mouseClick(t, Qt::LeftButton, {}, QPoint(4, t->height() / 2));
    leave(t);
    EXPECT_EQ(t->Text(), "1,200.0");
    EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
    EXPECT_TRUE(sim_.requests().empty());
}

TEST_F(ConfigImmediateTest, TypingPastTheQuestionReplacesTheNextField)
{
    FrmConfig& f = open(0, "R", "33");
    TextBox* sp1 = f.txtParameter(258);
    TextBox* sp2 = f.txtParameter(262);
    for (const Qt::Key leaving : {Qt::Key_Tab, Qt::Key_Return}) {
        SCOPED_TRACE(leaving);
        asLoaded(f, [&] { sp2->setText("12.0"); });
        type(f, sp1, "150");
        {
            // The real question, answered with Enter as the user does.
            RealBoxKeys enter(Qt::Key_Return);
            QTest::keyClick(sp1, leaving);
            EXPECT_EQ(enter.titles, QStringList{"Immediate Write of Parameter"});
        }
        EXPECT_TRUE(sim_.requests().empty()); // Enter is No

        // The window manager gives the screen its activation back.
        f.activateWindow();
        ASSERT_TRUE(runEventsUntil([&] { return QApplication::focusWidget() == sp2 && f.isActiveWindow(); }));
        QTest::keyClicks(QApplication::focusWidget(), "9");
        EXPECT_EQ(sp2->Text(), "9");
    }
}

// A menu opened by its access key leaves the field as a click on the menu
// does: nothing is asked until the field is left for another control.
TEST_F(ConfigImmediateTest, AMenuOpenedByItsKeyAsksNothingAsTheMouseDoes)
{
    FrmConfig& f = open(0, "R", "33");
    TextBox* sp1 = f.txtParameter(258);
    QMenu* file = f.menuBar->actions().first()->menu();
    ASSERT_EQ(f.menuBar->actions().first()->text(), "&File");
    const auto menuOpen = [&] { return QApplication::activePopupWidget() == file; };
    const auto focusOn = [&](QWidget* w) {
        showPageOf(f, w);
        w->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(runEventsUntil([&] { return w->hasFocus(); }));
    };
    focusOn(sp1);
    boxes_.clear();
    for (By by : {By::Mouse, By::Key}) {
        SCOPED_TRACE(by == By::Key ? "Alt+F" : "mouse");
        if (by == By::Key)
            QTest::keyClick(sp1, Qt::Key_F, Qt::AltModifier);
        else
            QTest::mouseClick(f.menuBar, Qt::LeftButton, {},
                              f.menuBar->actionGeometry(f.menuBar->actions().first()).center());
        ASSERT_TRUE(runEventsUntil(menuOpen));
        EXPECT_EQ(boxes_.count(), 0);
        // Closed with Escape, the menu leaves the menu bar to the keys (the
        // menu bar takes the focus); a second Escape gives the field its
        // focus back: still nothing asked.
        QTest::keyClick(file, Qt::Key_Escape);
        ASSERT_TRUE(runEventsUntil([&] { return f.menuBar->hasFocus(); }));
        EXPECT_EQ(boxes_.count(), 0);
        QTest::keyClick(f.menuBar, Qt::Key_Escape);
        ASSERT_TRUE(runEventsUntil([&] { return sp1->hasFocus() && !menuOpen(); }));
        EXPECT_EQ(boxes_.count(), 0);
    }
    // Left from the menu bar for another field, the field completes its entry, once.
    QTest::keyClick(sp1, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(runEventsUntil(menuOpen));
    QTest::keyClick(file, Qt::Key_Escape);
    ASSERT_TRUE(runEventsUntil([&] { return f.menuBar->hasFocus(); }));
    focusOn(f.txtParameter(262));
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Immediate Write of Parameter");
    EXPECT_TRUE(sim_.requests().empty()); // No is the default answer
    leave(f.txtParameter(262));
    EXPECT_EQ(boxes_.count(), 1);

    // And so does a click on a button after the menu bar had the focus.
    focusOn(sp1);
    boxes_.clear();
    QTest::keyClick(sp1, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(runEventsUntil(menuOpen));
    QTest::keyClick(file, Qt::Key_Escape);
    ASSERT_TRUE(runEventsUntil([&] { return f.menuBar->hasFocus(); }));
    QTest::mouseClick(f.cmdConfigureController, Qt::LeftButton);
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Immediate Write of Parameter");
}

TEST_F(ConfigImmediateTest, RunStopAutoAddressAndPidGroupAreWrittenOnYes)
{
    FrmConfig& f = openComm();
    struct Row {
        int reg;
        const char* chosen;
        int answer;
        const char *question, *written;
    };
    const Row rows[] = {
        {0x4723, "STOP", mb::Yes, "Do you want to send   STOP   to the controller right now?", "0"},
        {0x4722, "Auto address after power on", mb::Yes,
         "Do you want to send   Auto address after power on   to the controller right now?", "1"},
        {0x101C, "PID2", mb::Yes, nullptr, "2"},
        {0x101C, "PID3", mb::No, nullptr, "2"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.chosen);
        boxes_.clear();
        boxes_.push(r.answer);
        pick(f, f.cbxParameter(r.reg), r.chosen);
        ASSERT_GE(boxes_.count(), 1);
        if (r.question) {
            EXPECT_EQ(boxes_.calls().front().text, r.question);
            EXPECT_EQ(boxes_.calls().front().title, "Immediate Write of Parameter");
        }
        EXPECT_EQ(reg(1, r.reg), r.written);
        EXPECT_EQ(f.cbxParameter(r.reg)->Text(), r.chosen);
    }
    // A failing PID-group write reads nothing back.
    sim_.must("fault 1 exception:2");
    sim_.clearLog();
    boxes_.clear();
    boxes_.push(mb::Yes);
    pick(f, f.cbxParameter(0x101C), "PID1");
    EXPECT_EQ(sim_.requests().size(), 1u);
    ASSERT_EQ(boxes_.count(), 2);
    EXPECT_EQ(boxes_.last().title, "Send to Instrument Communications Error");
    EXPECT_FALSE(boxes_.last().text.contains('\r'));
    EXPECT_TRUE(f.lblProgress->text().isEmpty());
}

TEST_F(ConfigImmediateTest, NewAddressIsWrittenAtTheOldOneAndTheScreenFollows)
{
    FrmConfig& f = openComm();
    boxes_.push(mb::Yes);
    boxes_.push(mb::Yes);
    pick(f, f.cbxParameter(0x1071), "005");
    ASSERT_EQ(boxes_.count(), 2);
    EXPECT_EQ(boxes_.calls()[0].title, "Immediate Write of Controller Address");
    EXPECT_TRUE(boxes_.calls()[0].text.startsWith("Do you want to change the address of the controller to  005   "
                                                  "right now?  (If you say 'NO'"));
    EXPECT_EQ(boxes_.calls()[1].title, "Update Communications Address");
    EXPECT_EQ(reg(1, 0x1071), "5");
    ASSERT_EQ(sim_.requests().size(), 1u);
    EXPECT_EQ(sim_.requests()[0].at(0), '\x01'); // sent to the instrument's old address
    EXPECT_EQ(f.cbxAddress->Text(), "005");

    // A failed write still asks; No keeps the screen's address (an instrument
    // at 5 that refuses the write).
    sim_.must("instrument 5 group 1 protocol R");
    failedWriteAsksAllTheSame(f, 0x1071, "007", "address", "Update Communications Address");
    EXPECT_EQ(f.cbxAddress->Text(), "005");
}

TEST_F(ConfigImmediateTest, CommunicationSettingsAreWrittenAndTheProgramFollowsOnRequest)
{
    FrmConfig& f = openComm();
    struct Row {
        int reg;
        const char* chosen;
        int follow; // answer to "Update Communications Parameter"
        const char* written;
        const char* protocol;
        const char* settings; // the program's port afterwards
    };
    const Row rows[] = {
        {0x1072, "Modbus RTU", mb::Yes, "1", "R", "9600,N,8,1"},
        {0x1072, "Modbus ASCII", mb::Yes, "0", "A", "9600,N,8,1"},
        {0x1076, "2", mb::Yes, "0", "A", "9600,N,8,2"},
        {0x1073, "19200", mb::Yes, "3", "A", "19200,N,8,2"},
        {0x1073, "4800", mb::No, "1", "A", "19200,N,8,2"},
        {0x1076, "1", mb::Yes, "1", "A", "19200,N,8,1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.chosen));
        boxes_.clear();
        boxes_.push(mb::Yes);
        boxes_.push(r.follow);
        pick(f, f.cbxParameter(r.reg), r.chosen);
        ASSERT_EQ(boxes_.count(), 2);
        EXPECT_EQ(boxes_.calls()[0].title, "Immediate Write of Parameter");
        EXPECT_EQ(boxes_.calls()[0].text, "Do you want to send new  " + f.lblParamLabel(r.reg)->text() + "  value of   "
                                              + r.chosen
                                              + "   to the controller right now?  (If you say 'NO' then you should "
                                                "either put the value back to the previous value or perform a Read "
                                                "Configuration from Instrument to put the field back to what is in "
                                                "the controller.)");
        EXPECT_EQ(boxes_.calls()[1].title, "Update Communications Parameter");
        EXPECT_EQ(reg(1, r.reg), r.written);
        EXPECT_EQ(gProtocolCode, r.protocol);
        EXPECT_EQ(CommPort().settings(), r.settings);
        EXPECT_TRUE(CommPort().portOpen());
    }
    // The settings are in the system configuration file.
    gStopBits = 2;
    gBaudRate = 9600;
    ReadSystemConfig();
    EXPECT_EQ(gStopBits, 1);
    EXPECT_EQ(gBaudRate, 19200.0f);
    EXPECT_EQ(gProtocolCode, "A");

    // A failed write: the advice, and the question all the same.
    sim_.must("fault 1 exception:2");
    failedWriteAsksAllTheSame(f, 0x1075, "Even", "communications", "Update Communications Parameter");
    EXPECT_EQ(gParity, "None");
}
