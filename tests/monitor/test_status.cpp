// Instrument Status against the simulator's demonstration line, and in demo mode.
#include <QApplication>
#include <QTimer>

#include "demo_line.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmStatus.h"
#include "platform/runtime.h"
#include "shell/frmMain.h"

using namespace modZarn;

namespace {

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
        {0, "Z", "32", "Q4|QX-4Z, 1/4 DIN 4-Stage Ramp/Soak Controller|72.5 °F|75.0°F|Auto|Local|OFF|OFF|01 04 07|1.02  |",
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
}

TEST_F(StatusTest, PersistentFailureShowsOneBoxAtATimeAndThePollGoesOn)
{
    FrmStatus& s = open(1, "R", "99999"); // no 16-bit address
    int nestedTicks = 0;
    mb::setHandler([&](const mb::Call&) {
        for (; nestedTicks < 3; ++nestedTicks) // the timer ticks on under the open box
            s.tmrPoll.tick();
        return int(mb::OK);
    });
    s.tmrPoll.tick();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmStatus.tmrPoll_Timer"));
    EXPECT_TRUE(boxes_.last().hadOwner && nestedTicks == 3 && s.tmrPoll.enabled());
    s.tmrPoll.tick(); // after the box closed a new failure is shown again; a good address polls
    EXPECT_EQ(boxes_.count(), 2);
    s.cbxAddress->setText("001");
    s.tmrPoll.tick();
    EXPECT_EQ(boxes_.count(), 2);
    EXPECT_EQ(s.lblModelIDText->text(), "XG");
}

} // namespace
