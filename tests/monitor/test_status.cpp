// Instrument Status against the simulator's demonstration line, and in demo mode.
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <array>

#include "demo_line.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmStatus.h"
#include "platform/runtime.h"
#include "shell/frmMain.h"

using namespace modZarn;

namespace {
constexpr quint32 kBlack = 0x000000, kGreen = 0x00C000, kRed = 0x0000FF;

class StatusTest : public DemoLineTest {
protected:
    FrmStatus& open(int group, const char* protocol, const char* address)
    {
        Forms::discardAll();
        gControllerGroup = group;
        gProtocolCode = QString::fromLatin1(protocol);
        frmStatus().Show();
        f().cbxAddress->setText(QString::fromLatin1(address)); // typed, not chosen
        return f();
    }
    FrmStatus& f() { return frmStatus(); }
    void tick() { f().tmrPoll.tick(); }
    QString unitErrors()
    {
        QStringList l;
        for (int i = 0; i < f().lisUnitErrors->ListCount(); ++i)
            l << f().lisUnitErrors->List(i);
        return l.join(',');
    }
    static std::string texts(std::initializer_list<QLabel*> labels)
    {
        QStringList l;
        for (QLabel* v : labels)
            l << v->text();
        return l.join('|').toStdString();
    }
    std::string fields()
    {
        return texts({f().lblModelIDText, f().lblModelType, f().lblProcessValueText, f().lblSetpointText,
                      f().lblModeText, f().lblCommModeText, f().lblAlm1StatText, f().lblAlm2StatText,
                      f().lblSoftVerText, f().lblCommVerText, f().lblErrorMessageText});
    }
};

TEST_F(StatusTest, EachGroupAndProtocolShowsItsInstrument)
{
    const std::tuple<int, const char*, const char*, const char*, bool> rows[] = {
        {0, "Z", "32", "Q4|QX-4Z, 1/4 DIN 4-Stage Ramp/Soak Controller|72.5 °F|80.0°F|Auto|Local|OFF|OFF|01 04 07|1.02  |",
         true},
        {0, "R", "33",
         "TW|QX-16T, 1/16 DIN Temperature Controller (Modbus RTU)|72.5 °C|75.0 °C|Auto|Local|OFF|OFF|03 05|01 02|", true},
        {1, "R", "001", "XG|QX-G48, 1/16 DIN PID Controller with 3 Alarms|123.4 °C|130.0 °C|Auto|Local|OFF|OFF|00.00||",
         false},
        {2, "A", "002", "XH|QX-H96, 1/4 DIN PID Controller|36.5 °C|37.0 °C|Auto|Local|OFF|OFF|00.00||", false},
    };
    for (const auto& [group, protocol, address, expected, commVer] : rows) {
        open(group, protocol, address);
        tick();
        EXPECT_EQ(fields(), expected) << group << protocol;
        EXPECT_EQ(ctl::Visible(f().lblCommVer), commVer) << group << protocol;
        EXPECT_EQ(f().lblDateTime->text(), "12/07/2026 17:27:41");
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(StatusTest, Group0StatusWordAlarmModesAndErrorWord)
{
    open(0, "R", "33");
    // status word, alarm 1 and 2 modes, error word; shown texts, colours of mode and alarms, unit errors
    const std::tuple<int, int, int, int, const char*, std::array<quint32, 3>, const char*> rows[] = {
        // manual, remote; alarm 1's flag inverted by its mode; NAT with bits 15 and 6
        {0xC880, 2, 0, 0x8040, "725|Manual|Remote|OFF|OFF", {kBlack, kBlack, kBlack},
         "No Activity Timer (NAT) Error,Unit Failed Self-test,Sensor rate of change exceeds limit"},
        {0x0021, 2, 2, 0x3F00, "7.25|Auto|Local|ON|ON", {kGreen, kRed, kRed},
         "Unit Calibration bad,Input overflow,Input underflow,Bad input,Open input,Unit Ambient Temp. beyond spec."},
        // mode 0 shows the flags as they are; bits 14 and 0-5 list nothing
        {0x0C12, 0, 0, 0x403F, "72.5 °F|Auto|Local|ON|ON", {kGreen, kRed, kRed}, ""},
        {0x0812, 0, 2, 0x0080, "72.5 °F|Auto|Local|ON|ON", {kGreen, kRed, kRed}, "Control Loop break"},
    };
    for (const auto& [status, mode1, mode2, errorWord, shown, colours, lines] : rows) {
        serve(QStringLiteral("reg 51 2 %1\nreg 51 798 %2\nreg 51 800 %3\nreg 51 3 %4")
                  .arg(status).arg(mode1).arg(mode2).arg(errorWord));
        tick();
        EXPECT_EQ(texts({f().lblProcessValueText, f().lblModeText, f().lblCommModeText, f().lblAlm1StatText,
                         f().lblAlm2StatText}), shown);
        EXPECT_EQ((std::array<quint32, 3>{TextColor(f().lblModeText), TextColor(f().lblAlm1StatText),
                                          TextColor(f().lblAlm2StatText)}), colours) << status;
        EXPECT_EQ(unitErrors(), lines) << status;
    }
    // The same error word and NAT flag again: the list is left alone.
    QListWidgetItem* first = f().lisUnitErrors->item(0);
    tick();
    EXPECT_EQ(f().lisUnitErrors->item(0), first);
}

TEST_F(StatusTest, UnitErrorCodesOfGroups1And2)
{
    const std::tuple<int, int, const char*> rows[] = {
        {1, 0x8003, "Sensor is not connected"}, {1, 3, ""}, {1, 0x8005, "Sensor value exceeds range"},
        {2, 3, "Sensor is not connected"}, {2, 0x8003, ""}, {2, 2, "Sensor is not stable"},
    };
    for (const auto& [group, errorWord, line] : rows) {
        if (gControllerGroup != group)
            open(group, group == 1 ? "R" : "A", group == 1 ? "001" : "002");
        serve(QString::fromLatin1(group == 1 ? "reg 1 0x102B %1" : "reg 2 0x472C %1").arg(errorWord));
        tick();
        EXPECT_EQ(unitErrors(), line) << group << " " << errorWord;
    }
}

TEST_F(StatusTest, NotAvailableFieldsKeepTheirText)
{
    // 34H has neither an alarm 1 mode nor a set point.
    serve(R"(instrument 52 group 0 protocol R
             reg 52 1793 0x5457
             reg 52 1 500
             reg 52 2 0x0400
             reg 52 3 0
             reg 52 800 0
             reg 52 1792 0
             reg 52 1794 0x0101
             reg 51 798 2
             reg 51 2 0)");
    FrmStatus& s = open(0, "R", "33");
    tick();
    {
        // The address changes behind the screen's back, so the labels that
        // 33H filled stand: the tick must leave alarm 1's alone.
        const QSignalBlocker quiet(s.cbxAddress);
        s.cbxAddress->setText("34");
    }
    tick();
    // Alarm 1 keeps its text and colour, alarm 2 is read, the set point hidden.
    EXPECT_EQ(texts({s.lblAlm1StatText, s.lblAlm2StatText, s.lblSoftVerText, s.lblErrorMessageText}),
              "ON|ON|01 01|");
    EXPECT_EQ(TextColor(s.lblAlm1StatText), kRed);
    EXPECT_FALSE(ctl::Visible(s.lblSetpoint) || ctl::Visible(s.lblSetpointText));
    serve("reg 52 256 1234\nreg 52 794 2");
    tick();
    EXPECT_TRUE(ctl::Visible(s.lblSetpoint) && s.lblSetpointText->text() == "12.34");
}

TEST_F(StatusTest, ChoosingAnotherAddressEmptiesEveryField)
{
    FrmStatus& s = open(0, "R", "33");
    serve("reg 51 3 0x8000");
    s.cbxAddress->setListIndex(s.cbxAddress->findText("33"));
    tick();
    ASSERT_FALSE(unitErrors().isEmpty());
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier); // the user picks 34H
    QApplication::sendEvent(s.cbxAddress, &down);
    EXPECT_EQ(s.cbxAddress->Text(), "34");
    EXPECT_EQ(fields(), "||||||||||");
    EXPECT_TRUE(unitErrors().isEmpty() && s.lblDateTime->text().isEmpty() && s.LastErrorWord == 0);
    tick();
    EXPECT_EQ(s.lblErrorMessageText->text().left(11), "Address 34:");
}

// A typed address that is no instrument's reaches none: the tick shows the
// refusal, and nothing of the instrument shown before stays beside it.
TEST_F(StatusTest, TypedAddressesOffTheLineShowTheRefusalAndNoValues)
{
    const char* const kGroup0 = ":Invalid instrument address, it must be 01 to FF";
    const char* const kDecimal = ":Invalid instrument address, it must be 001 to 255";
    const std::tuple<int, const char*, const char*, const char*, QString> rows[] = {
        {1, "R", "001", "257", QString("Address 257") + kDecimal}, // 001 by its low byte
        {1, "R", "001", "0", QString("Address 000") + kDecimal},
        {1, "A", "001", "-1", QString("Address -001") + kDecimal},
        {2, "A", "002", "300", QString("Address 300") + kDecimal},
        {0, "R", "33", "133", QString("Address 133") + kGroup0}, // 33H by its low byte
        {0, "Z", "32", "1ff", QString("Address 1FF") + kGroup0},
        {0, "Z", "32", "0", QString("Address 00") + kGroup0},
        // Numbers no 16-bit address holds read as 300 does.
        {1, "R", "001", "99999", QString("Address 99999") + kDecimal},
        {2, "A", "002", "-99999", QString("Address -99999") + kDecimal},
        {0, "Z", "32", "10000", QString("Address 10000") + kGroup0},
        {0, "R", "33", "99999", QString("Address 99999") + kGroup0},
    };
    for (const auto& [group, protocol, good, typed, error] : rows) {
        SCOPED_TRACE(std::string(protocol) + std::to_string(group) + " " + typed);
        FrmStatus& s = open(group, protocol, good);
        tick();
        ASSERT_TRUE(s.lblErrorMessageText->text().isEmpty()) << s.lblErrorMessageText->text().toStdString();
        ASSERT_FALSE(s.lblProcessValueText->text().isEmpty());
        ASSERT_TRUE(typeByKeys(s.cbxAddress, ""));
        s.tmrPoll.setEnabled(false); // the test ticks by itself from here
        sim_.clearLog();
        QTest::keyClicks(QApplication::focusWidget(), typed);
        EXPECT_EQ(s.cbxAddress->Text(), typed);
        tick();
        EXPECT_EQ(fields(), "||||||||||" + error.toStdString());
        EXPECT_TRUE(unitErrors().isEmpty());
        EXPECT_TRUE(sim_.requests().empty()) << sim_.requests().front().toStdString();
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(StatusTest, PollRunsOnlyWhileActiveAndTheGroupIsCheckedOnComingBack)
{
    FrmStatus& s = open(0, "R", "33");
    tick();
    EXPECT_TRUE(s.tmrPoll.enabled());
    // Another main screen stops it; coming back starts it, with the address
    // list of a group changed meanwhile and nothing cleared.
    s.cmdMainMenu->click();
    EXPECT_TRUE(!s.tmrPoll.enabled() && s.isHidden());
    gControllerGroup = 1;
    sim_.clearLog();
    frmMain().cmdStatus->click();
    EXPECT_TRUE(s.tmrPoll.enabled() && s.isVisible());
    EXPECT_TRUE(sim_.requests().empty()); // the first tick comes one interval later
    EXPECT_EQ(s.cbxAddress->Text() + s.cbxAddress->List(0) + s.cbxAddress->List(254), "001001255");
    EXPECT_EQ(texts({s.lblCommVerText, s.lblProcessValueText}), "01 02|72.5 °C");
    tick();
    EXPECT_FALSE(ctl::Visible(s.lblCommVer));
    EXPECT_EQ(texts({s.lblCommVerText, s.lblProcessValueText}), "01 02|123.4 °C");
}

TEST_F(StatusTest, PersistentFailureShowsOneBoxAtATimeAndThePollGoesOn)
{
    // The reading's four digits spell 1E09 (the number rule takes an
    // exponent): a process value no 16-bit integer holds.
    serve(R"(zcmd 50 0x00 "08001E09")");
    FrmStatus& s = open(0, "Z", "32");
    int nestedTicks = 0;
    mb::setHandler([&](const mb::Call&) {
        for (; nestedTicks < 3; ++nestedTicks) // the timer ticks on under the open box
            s.tmrPoll.tick();
        return int(mb::OK);
    });
    s.tmrPoll.tick();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.contains("Overflow")) << boxes_.last().text.toStdString();
    EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmStatus.tmrPoll_Timer"));
    EXPECT_TRUE(boxes_.last().hadOwner && nestedTicks == 3 && s.tmrPoll.enabled());
    EXPECT_TRUE(s.lblProcessValueText->text().isEmpty()); // the tick ended at the process value
    s.tmrPoll.tick(); // after the box closed a new failure is shown again; a good answer polls
    EXPECT_EQ(boxes_.count(), 2);
    serve("zcmd 50 0x00 72.5 unit=F status=08");
    s.tmrPoll.tick();
    EXPECT_EQ(boxes_.count(), 2);
    EXPECT_EQ(s.lblProcessValueText->text(), "72.5 °F");
}

} // namespace
