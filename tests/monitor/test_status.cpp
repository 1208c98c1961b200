// Instrument Status against the simulator's demonstration line, and in demo mode.
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <cmath>

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
        gControllerGroup = group;
        gProtocolCode = QString::fromLatin1(protocol);
        FrmStatus& s = frmStatus();
        s.Show();
        s.cbxAddress->setText(QString::fromLatin1(address)); // typed, not chosen
        return s;
    }
    FrmStatus& f() { return frmStatus(); }
    void tick() { f().tmrPoll.tick(); }
    QStringList unitErrors()
    {
        QStringList l;
        for (int i = 0; i < f().lisUnitErrors->ListCount(); ++i)
            l << f().lisUnitErrors->List(i);
        return l;
    }
    // Model, process value, set point, modes, alarms, versions and error text.
    QString fields()
    {
        QStringList l;
        for (QLabel* v : {f().lblModelIDText, f().lblModelType, f().lblProcessValueText, f().lblSetpointText,
                          f().lblModeText, f().lblCommModeText, f().lblAlm1StatText, f().lblAlm2StatText,
                          f().lblSoftVerText, f().lblCommVerText, f().lblErrorMessageText})
            l << v->text();
        return l.join(QLatin1Char('|'));
    }
};

TEST_F(StatusTest, EachGroupAndProtocolShowsItsInstrument)
{
    const std::tuple<int, const char*, const char*, const char*, bool> rows[] = {
        {0, "Z", "32",
         "Q4|QX-4Z, 1/4 DIN 4-Stage Ramp/Soak Controller|72.5 °F|75.0°F|Auto|Local|OFF|OFF|01 04 07|1.02  |",
         true},
        {0, "R", "33",
         "TW|QX-16T, 1/16 DIN Temperature Controller (Modbus RTU)|72.5 °C|75.0 °C|Auto|Local|OFF|OFF|03 05|01 02|",
         true},
        {1, "R", "001", "XG|QX-G48, 1/16 DIN PID Controller with 3 Alarms|123.4 °C|130.0 °C|Auto|Local|OFF|OFF|00.00||",
         false},
        {1, "A", "001", "XG|QX-G48, 1/16 DIN PID Controller with 3 Alarms|123.4 °C|130.0 °C|Auto|Local|OFF|OFF|00.00||",
         false},
        {2, "A", "002", "XH|QX-H96, 1/4 DIN PID Controller|36.5 °C|37.0 °C|Auto|Local|OFF|OFF|00.00||", false},
    };
    for (const auto& [group, protocol, address, expected, commVer] : rows) {
        Forms::discardAll();
        open(group, protocol, address);
        tick();
        EXPECT_EQ(fields().toStdString(), std::string(expected)) << group << protocol;
        EXPECT_EQ(ctl::Visible(f().lblCommVer), commVer) << group << protocol;
        EXPECT_TRUE(ctl::Visible(f().lblSetpoint) && ctl::Visible(f().lblModeText));
        EXPECT_TRUE(unitErrors().isEmpty());
        EXPECT_EQ(f().lblDateTime->text(), "12/07/2026 17:27:41");
        EXPECT_EQ(TextColor(f().lblModeText), kGreen);
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(StatusTest, StatusWordAlarmModesAndErrorWordOfGroup0)
{
    open(0, "R", "33");
    // status word, alarm 1 and 2 modes, error word; then what the screen shows
    const std::tuple<int, int, int, int, const char*, quint32, quint32, quint32, QStringList> rows[] = {
        // manual, remote, alarm 1 flag set but inverted by its mode, NAT, bits 15 and 6
        {0xC880, 2, 0, 0x8040, "725|Manual|Remote|OFF|OFF", kBlack, kBlack, kBlack,
         {"No Activity Timer (NAT) Error", "Unit Failed Self-test", "Sensor rate of change exceeds limit"}},
        // the NAT flag alone changes: the list is rebuilt
        {0xC800, 2, 0, 0x8040, "725|Manual|Remote|OFF|OFF", kBlack, kBlack, kBlack,
         {"Unit Failed Self-test", "Sensor rate of change exceeds limit"}},
        // alarm flags clear, both modes inverting: both on
        {0x0021, 2, 2, 0x3F00, "7.25|Auto|Local|ON|ON", kGreen, kRed, kRed,
         {"Unit Calibration bad", "Input overflow", "Input underflow", "Bad input", "Open input",
          "Unit Ambient Temp. beyond spec."}},
        // mode 0 shows the flags as they are; bits 14 and 0-5 list nothing
        {0x0C12, 0, 0, 0x403F, "72.5 °F|Auto|Local|ON|ON", kGreen, kRed, kRed, {}},
        {0x0812, 0, 2, 0x0080, "72.5 °F|Auto|Local|ON|ON", kGreen, kRed, kRed, {"Control Loop break"}},
    };
    for (const auto& [status, mode1, mode2, errorWord, shown, modeColour, alm1Colour, alm2Colour, lines] : rows) {
        serve(QStringLiteral("reg 51 2 %1\nreg 51 798 %2\nreg 51 800 %3\nreg 51 3 %4")
                  .arg(status)
                  .arg(mode1)
                  .arg(mode2)
                  .arg(errorWord));
        serve("reg 51 1 725");
        tick();
        const QString got = f().lblProcessValueText->text() + '|' + f().lblModeText->text() + '|' +
                            f().lblCommModeText->text() + '|' + f().lblAlm1StatText->text() + '|' +
                            f().lblAlm2StatText->text();
        EXPECT_EQ(got, QString::fromUtf8(shown)) << status;
        EXPECT_EQ(TextColor(f().lblModeText), modeColour) << status;
        EXPECT_EQ(TextColor(f().lblAlm1StatText), alm1Colour) << status;
        EXPECT_EQ(TextColor(f().lblAlm2StatText), alm2Colour) << status;
        EXPECT_EQ(unitErrors(), lines) << status;
    }
    // The same error word and NAT flag again: the list is left as it is.
    QListWidgetItem* first = f().lisUnitErrors->item(0);
    tick();
    EXPECT_EQ(f().lisUnitErrors->item(0), first);
    EXPECT_TRUE(f().lblErrorMessageText->text().isEmpty());
}

TEST_F(StatusTest, UnitErrorCodesOfGroups1And2)
{
    // group, error word; the one line shown
    const std::tuple<int, int, const char*> rows[] = {
        {1, 0x8003, "Sensor is not connected"},
        {1, 3, ""},
        {1, 0x8002, "Initial Process"},
        {1, 0x8005, "Sensor value exceeds range"},
        {1, 0x8007, "Memory read/write error"},
        {1, 0x8008, ""},
        {2, 3, "Sensor is not connected"},
        {2, 0x8003, ""},
        {2, 1, "Initial Process"},
        {2, 2, "Sensor is not stable"},
        {2, 5, "Sensor value exceeds range"},
    };
    for (const auto& [group, errorWord, line] : rows) {
        if (!Forms::isLoaded<FrmStatus>() || gControllerGroup != group) {
            Forms::discardAll();
            open(group, group == 1 ? "R" : "A", group == 1 ? "001" : "002");
        }
        serve((group == 1 ? QStringLiteral("reg 1 0x102B %1") : QStringLiteral("reg 2 0x472C %1"))
                  .arg(errorWord));
        tick();
        EXPECT_EQ(unitErrors().join(','), QString::fromLatin1(line)) << group << " " << errorWord;
    }
    // A NAT bit in the status word lists nothing outside group 0.
    serve("reg 2 0x472B 0x0088");
    tick();
    EXPECT_EQ(unitErrors().join(','), "Sensor value exceeds range");
}

TEST_F(StatusTest, ModelIdDecidesTheModeLine)
{
    open(0, "R", "33");
    // model register, model ID, type text, A/M mode shown
    const std::tuple<int, const char*, const char*, bool> rows[] = {
        {0x5237, "R7", "QX-8R, 1/8 DIN Process Controller (Modbus RTU)", false},
        {0x3331, "31", "Unavailable, Unknown Model Type", false},
        {19712, "7M", "Unavailable, Unknown Model Type", false},
        {0, "XX", "Unavailable, Unknown Model Type", true},
        {0x7477, "tw", "QX-16T, 1/16 DIN Temperature Controller (Modbus RTU)", true},
        {0x5A5A, "ZZ", "Unavailable, Unknown Model Type", true},
    };
    for (const auto& [code, id, type, modeShown] : rows) {
        serve(QStringLiteral("reg 51 1793 %1").arg(code));
        tick();
        EXPECT_EQ(f().lblModelIDText->text(), id);
        EXPECT_EQ(f().lblModelType->text(), type);
        EXPECT_EQ(ctl::Visible(f().lblMode), modeShown) << id;
        EXPECT_EQ(ctl::Visible(f().lblModeText), modeShown) << id;
    }
}

TEST_F(StatusTest, MissingAlarmModeKeepsItsLabelAndMissingSetPointHidesIt)
{
    // 34H answers everything but its alarm 1 mode and its set point.
    serve(R"(instrument 52 group 0 protocol R
             reg 52 1793 0x5457
             reg 52 1 500
             reg 52 2 0x0400
             reg 52 3 0
             reg 52 800 0
             reg 52 1792 0
             reg 52 1794 0x0101)");
    FrmStatus& s = open(0, "R", "33");
    serve("reg 51 798 2\nreg 51 2 0");
    tick();
    EXPECT_EQ(s.lblAlm1StatText->text(), "ON");
    s.cbxAddress->setText("34"); // typed: nothing is cleared
    tick();
    EXPECT_EQ(s.lblAlm1StatText->text(), "ON");
    EXPECT_EQ(TextColor(s.lblAlm1StatText), kRed);
    EXPECT_EQ(s.lblAlm2StatText->text(), "ON"); // read after alarm 1's mode was missing
    EXPECT_EQ(TextColor(s.lblAlm2StatText), kRed);
    EXPECT_FALSE(ctl::Visible(s.lblSetpoint) || ctl::Visible(s.lblSetpointText));
    EXPECT_EQ(s.lblSoftVerText->text(), "01 01"); // the versions are still read
    EXPECT_TRUE(s.lblErrorMessageText->text().isEmpty());

    serve("reg 52 256 1234\nreg 52 794 2");
    tick();
    EXPECT_TRUE(ctl::Visible(s.lblSetpoint) && ctl::Visible(s.lblSetpointText));
    EXPECT_EQ(s.lblSetpointText->text(), "12.34");
}

TEST_F(StatusTest, FailedReadShowsItsTextAndLeavesTheLaterFields)
{
    FrmStatus& s = open(0, "R", "33");
    tick();

    // A refusal of the model read ends the tick at its first read.
    sim_.clearLog();
    serve("fault 51 exception:4 count=0");
    tick();
    EXPECT_EQ(s.lblErrorMessageText->text(),
              "Address 33:Slave Device Failure response from instrument for register 1794");
    EXPECT_EQ(sim_.requests().size(), 1u);
    serve("clear 51");

    // 34H has no error word: "not available" ends the tick like any failure,
    // and the mode, value and list fields stay those of the previous tick.
    serve("instrument 52 group 0 protocol R\nreg 52 1793 0x5457\nreg 52 1 999\nreg 52 2 0x8000");
    s.cbxAddress->setText("34");
    tick();
    EXPECT_EQ(s.lblErrorMessageText->text(),
              "Address 34:Illegal Data Address response from instrument for register 4");
    EXPECT_EQ(s.lblModeText->text() + "|" + s.lblProcessValueText->text(), "Auto|72.5 °C");

    // Nobody at the address: the time-out text, every field as it was.
    const QString before = fields();
    s.cbxAddress->setText("3F");
    tick();
    EXPECT_TRUE(s.lblErrorMessageText->text().startsWith("Address 3F:")) << s.lblErrorMessageText->text().toStdString();
    EXPECT_EQ(fields().section('|', 0, 9), before.section('|', 0, 9));

    // The next good read empties the error text again.
    s.cbxAddress->setText("33");
    tick();
    EXPECT_TRUE(s.lblErrorMessageText->text().isEmpty());
}

TEST_F(StatusTest, ChoosingAnotherAddressEmptiesEveryField)
{
    FrmStatus& s = open(0, "R", "33");
    serve("reg 51 3 0x8000");
    // The user picks 34H from the list (arrow key).
    s.cbxAddress->setListIndex(s.cbxAddress->findText("33"));
    tick();
    ASSERT_FALSE(s.lblProcessValueText->text().isEmpty());
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(s.cbxAddress, &down);
    EXPECT_EQ(s.cbxAddress->Text(), "34");
    EXPECT_EQ(fields(), "||||||||||");
    EXPECT_TRUE(unitErrors().isEmpty() && s.lblDateTime->text().isEmpty());
    EXPECT_EQ(s.LastErrorWord, 0);
    // The next tick reads the new address.
    tick();
    EXPECT_EQ(s.lblErrorMessageText->text().left(11), "Address 34:");
}

TEST_F(StatusTest, PollRunsOnlyWhileTheScreenIsTheActiveWindow)
{
    FrmStatus& s = open(0, "Z", "32");
    EXPECT_EQ(s.tmrPoll.interval(), 1000);
    EXPECT_TRUE(s.tmrPoll.enabled());

    // A modal dialog opened from the screen stops it until the dialog closes.
    bool enabledUnderDialog = true;
    QTimer::singleShot(0, [&] {
        enabledUnderDialog = s.tmrPoll.enabled();
        frmSetpoints().cmdClose->click();
    });
    s.cmdSetpoints->click();
    EXPECT_FALSE(enabledUnderDialog);
    EXPECT_TRUE(s.tmrPoll.enabled());

    // Switching away stops it; coming back from the main menu starts it again.
    s.cmdMainMenu->click();
    EXPECT_FALSE(s.tmrPoll.enabled());
    EXPECT_TRUE(s.isHidden() && frmMain().isVisible());
    sim_.clearLog();
    frmMain().cmdStatus->click();
    EXPECT_TRUE(s.tmrPoll.enabled() && s.isVisible());
    // Outside demo mode the first tick comes one interval later.
    EXPECT_TRUE(sim_.requests().empty());
    // The screen's own Status button does nothing.
    s.cmdStatus->click();
    EXPECT_TRUE(s.tmrPoll.enabled() && s.isVisible());
}

TEST_F(StatusTest, DemoModeShowsSimulatedValuesWithoutTraffic)
{
    gDemoMode = true;
    // group; process value's unit, alarms, comm. version caption shown
    const std::tuple<int, const char*, const char*, const char*, bool> rows[] = {
        {0, " °F", "ON", "OFF", true},
        {1, "", "OFF", "ON", false},
        {2, "", "OFF", "OFF", false},
    };
    for (const auto& [group, unit, alm1, alm2, commVer] : rows) {
        Forms::discardAll();
        sim_.clearLog();
        FrmStatus& s = open(group, group == 0 ? "Z" : "A", group == 0 ? "32" : "001"); // ticks at once
        EXPECT_TRUE(ctl::Visible(s.lblDemoMode));
        EXPECT_EQ(s.lblModelIDText->text(), "TW");
        EXPECT_EQ(s.lblModeText->text() + s.lblCommModeText->text(), "AutoLocal");
        EXPECT_EQ(s.lblAlm1StatText->text() + s.lblAlm2StatText->text(), QString(alm1) + alm2);
        EXPECT_EQ(s.lblSetpointText->text(), QStringLiteral("84") + QString::fromUtf8(unit));
        EXPECT_EQ(s.lblSoftVerText->text() + "|" + s.lblCommVerText->text(), "05 01|07 01");
        EXPECT_EQ(ctl::Visible(s.lblCommVer), commVer);
        EXPECT_EQ(unitErrors(), QStringList({"Unit Ambient Temp. beyond spec.", "Sensor rate of change exceeds limit"}));
        EXPECT_EQ(s.lblDateTime->text(), "12/07/2026 17:27:41");
        // 84 to 87, scaled by the group's divisor
        for (int t = 0; t < 20; ++t) {
            tick();
            const QString pv = s.lblProcessValueText->text();
            ASSERT_TRUE(pv.endsWith(QString::fromUtf8(unit))) << pv.toStdString();
            const double v = rt::Val(pv) * (group == 0 ? 1 : 10);
            EXPECT_TRUE(v >= 84 && v <= 87 && std::fabs(v - std::round(v)) < 1e-9) << pv.toStdString();
        }
        EXPECT_TRUE(sim_.requests().empty());
    }
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(StatusTest, GroupChangedElsewhereRefillsTheAddressesAtTheNextActivation)
{
    FrmStatus& s = open(0, "R", "33");
    tick();
    EXPECT_EQ(s.cbxAddress->ListCount(), 255);
    EXPECT_EQ(s.cbxAddress->List(0) + s.cbxAddress->List(254), "01FF");
    s.cmdMainMenu->click();
    gControllerGroup = 1;
    gProtocolCode = "R";
    frmMain().cmdStatus->click();
    EXPECT_EQ(s.cbxAddress->Text(), "001");
    EXPECT_EQ(s.cbxAddress->List(0) + s.cbxAddress->List(254), "001255");
    EXPECT_EQ(s.LoadedGroup, 1);
    // Nothing was cleared: the last values stay until the next tick.
    EXPECT_EQ(s.lblCommVerText->text(), "01 02");
    EXPECT_EQ(s.lblProcessValueText->text(), "72.5 °C");
    tick();
    EXPECT_FALSE(ctl::Visible(s.lblCommVer));
    EXPECT_EQ(s.lblCommVerText->text(), "01 02");
    EXPECT_EQ(s.lblProcessValueText->text(), "123.4 °C");
}

TEST_F(StatusTest, PersistentFailureShowsOneBoxAtATimeAndThePollGoesOn)
{
    FrmStatus& s = open(1, "R", "99999"); // no 16-bit address
    int nestedTicks = 0;
    mb::setHandler([&](const mb::Call&) {
        // The timer keeps ticking while the box is open.
        for (; nestedTicks < 3; ++nestedTicks)
            s.tmrPoll.tick();
        return int(mb::OK);
    });
    s.tmrPoll.tick();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Application Error");
    EXPECT_EQ(boxes_.last().text, "An application error has occurred:\rError Code 6 - Overflow\r"
                                  "Routine - frmStatus.tmrPoll_Timer");
    EXPECT_TRUE(boxes_.last().hadOwner);
    EXPECT_EQ(nestedTicks, 3);
    EXPECT_TRUE(s.tmrPoll.enabled());
    // Once the box is closed a new failure is shown again; a good address polls.
    s.tmrPoll.tick();
    EXPECT_EQ(boxes_.count(), 2);
    s.cbxAddress->setText("001");
    s.tmrPoll.tick();
    EXPECT_EQ(boxes_.count(), 2);
    EXPECT_EQ(s.lblModelIDText->text(), "XG");
}

} // namespace
