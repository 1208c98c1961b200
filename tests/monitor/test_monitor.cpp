// The system monitor: rows and row file, activation, the poll on its periods,
// set-point and ramp/soak commands, against the simulated line.
#include <QApplication>
#include <QKeyEvent>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "config/frmConfig.h"
#include "core/deffiles.h"
#include "core/state.h"
#include "monitor/frmMonitor.h"
#include "monitor/mdiMonitor.h"
#include "platform/clock.h"
#include "platform/textfile.h"
#include "shell/frmMain.h"
#include "monitor/monitor_rows.h"
#include "support/simline.h"
#include "support/typed_sweep.h"

using namespace modZarn;

namespace {
// Another window of the program, to move the activation to.
class OtherWindow : public Form {};

// Rows 0-3 are four kinds of instrument; 34H is configured but silent.
const char* const kLine = R"(
instrument 50 group 0 protocol Z
zcmd 50 0x00 72.5 unit=F
zcmd 50 0x101 75.0 unit=F
zcmd 50 0x31F 2
zcmd 50 0x321 0
zcmd 50 0x312 1
zcmd 50 0x315 0
instrument 51 group 0 protocol R
reg 51 1 725
reg 51 2 0x0812
reg 51 256 1000
reg 51 798 0
reg 51 800 2
reg 51 785 1
reg 51 788 1
reg 51 794 1
reg 51 257 0
instrument 1 group 1 protocol R
reg 1 0x1000 250
reg 1 0x102A 0x0004
reg 1 0x1001 300
instrument 2 group 2 protocol A
reg 2 0x4700 500
reg 2 0x472B 0x0004
reg 2 0x4701 450
)";

class MonitorTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        copySampleData();
        ReadCfgFieldFile();
        ReadZarnXrefFile();
        ReadxxGXrefFile();
        ReadxxHXrefFile();
        Clock::setFake(QDateTime(QDate(2026, 12, 9), QTime(10, 0), QTimeZone::utc()));
        gPVPollSeconds = 1;
        gSPPollSeconds = 5;
        addInstrument("32", "Z", 0, "Oven");
        addInstrument("33", "R", 0, "Kiln");
        addInstrument("001", "R", 1, "Line");
        addInstrument("002", "A", 2, "Tank");
        addInstrument("34", "R", 0, "Dead");
    }
    void startSim() { startLine(kLine); }
    FrmMonitor& f() { return frmMonitor(); }
    // Shows the monitor; the test runs the ticks by hand.
    void activate()
    {
        mdiMonitor().Show();
        polling_ = f().tmrPoll.enabled();
        f().tmrPoll.setEnabled(false);
    }
    bool polling_ = false;
    void deactivate() { Forms::get<OtherWindow>().Show(); }
    void choose(int row, int instrument) { f().cbxControl(row)->setListIndex(instrument); }
    void tick() { f().tmrPoll_Timer(); }
    int requestsTo(const QByteArray& marker) const
    {
        int n = 0;
        for (const QByteArray& r : sim_.requests())
            n += r.contains(marker) ? 1 : 0;
        return n;
    }
    // Types into a row's box (as code: the box turns yellow) and presses Enter.
    void press(int row, const QString& text)
    {
        TextBox* box = f().txtSVText(row);
        box->setText(text);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(box, &enter);
    }
    quint32 back(QWidget* w) const { return ctl::backColor(w); }
    QString errorLine() const { return frmMain().lblErrorMessageText->text(); }
};

TEST_F(MonitorTest, ActivationRestoresRowsAndDeactivationSavesThem)
{
    startSim();
    addInstrument("003", "R", 1); // an empty name: its label ends in a blank
    addInstrument("004", "R", 1, "Oven, left");
    QByteArray stored =
        "001 R1 Line\r\n\r\n003 R1\r\n33  R0 Gone\r\n32  Z0 Oven\r\n004 R1 Oven, left\r\n 001 R1 Line \r\n";
    for (int r = 7; r < 40; ++r)
        stored += "\r\n";
    writeFile("Monitor.val", stored);
    activate();
    FrmMonitor& m = f();
    EXPECT_EQ(boxes_.count(), 0);
    ASSERT_EQ(m.cbxControl(0)->ListCount(), 8);
    // A comma inside a name leaves the label and the rows after it whole.
    const char* const shown[] = {"001 R1 Line", "00      [none]", "003 R1 ",    "00      [none]",
                                 "32  Z0 Oven", "004 R1 Oven, left", "001 R1 Line", "00      [none]"};
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(m.cbxControl(r)->Text(), shown[r]) << r;
    EXPECT_TRUE(polling_);

    // A box of the monitor's own leaves it active and shown.
    press(4, "abc");
    EXPECT_EQ(boxes_.count(), 1);
    EXPECT_TRUE(Forms::active() == &mdiMonitor() && mdiMonitor().isVisible());

    deactivate();
    EXPECT_TRUE(!mdiMonitor().isVisible() && !m.tmrPoll.enabled() && gMonitorStop);
    const QList<QByteArray> lines = readFile("Monitor.val").split('\n');
    ASSERT_EQ(lines.size(), 41);
    EXPECT_EQ(lines[2], "003 R1 \r");
    EXPECT_EQ(lines[39], "00      [none]\r");

    EXPECT_EQ(lines[5], "004 R1 Oven, left\r");

    // Read back and saved again, the file is the same to the byte.
    const QByteArray saved = readFile("Monitor.val");
    mdiMonitor().Show();
    EXPECT_EQ(m.cbxControl(2)->Text(), "003 R1 ");
    EXPECT_EQ(m.cbxControl(5)->Text(), "004 R1 Oven, left");
    deactivate();
    EXPECT_EQ(readFile("Monitor.val"), saved);

    // On a full disk, or with the file made read-only, the old file stays,
    // the box says so and the window stays shown.
    for (const bool readOnly : {false, true}) {
        mdiMonitor().Show();
        choose(2, readOnly ? 1 : 0);
        boxes_.clear();
        {
            const FailingSaves failing(readOnly, {file("Monitor.val")}, 100);
            deactivate();
        }
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_TRUE(boxes_.last().text.endsWith(readOnly ? "\rError Code 70 - Permission denied\rRoutine - "
                                                           "mdiMonitor.Form_Deactivate"
                                                         : "\rError Code 61 - Disk full\rRoutine - "
                                                           "mdiMonitor.Form_Deactivate"))
            << boxes_.last().text.toStdString();
        EXPECT_TRUE(mdiMonitor().isVisible() && gMonitorStop);
        EXPECT_EQ(readFile("Monitor.val"), saved);
        EXPECT_EQ(FilesIn(programDir()).filter("Monitor.val"), QStringList{"Monitor.val"});
    }
}

TEST_F(MonitorTest, LeftMinimisedOrMaximisedItComesBackNormal)
{
    FrmMain& main = frmMain();
    main.Show();
    // Left minimised or maximised, it comes back at its normal size.
    for (Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
        mdiMonitor().setWindowState(state);
        main.Show();
        main.cmdMonitor->click();
        EXPECT_TRUE(mdiMonitor().isVisible()) << state;
        EXPECT_EQ(mdiMonitor().windowState(), Qt::WindowNoState) << state;
    }
}

TEST_F(MonitorTest, PollShowsEachKindOfInstrument)
{
    startSim();
    activate();
    for (int r = 0; r < 5; ++r)
        choose(r, r);
    tick(); // both passes due after activation
    FrmMonitor& m = f();
    // row: temperature, set point, ramp buttons shown, ramp lamp
    const std::tuple<const char*, const char*, bool, quint32> rows[] = {
        {"72.5 °F", "75.0 °F", true, color::Green},
        {"72.5  °F", "100.0  °F", true, color::Yellow},
        {"25.0  °C", "30.0  °C", false, color::ButtonFace},
        {"50.0  °F", "45.0  °F", false, color::ButtonFace},
    };
    for (int r = 0; r < 4; ++r) {
        const auto& [pv, sp, ramp, lamp] = rows[r];
        EXPECT_EQ(m.lblTempText(r)->text() + "|" + m.txtSVText(r)->text(), QString::fromUtf8(pv) + "|" + sp) << r;
        EXPECT_EQ(m.lblAlm1StatText(r)->text(), "") << r; // modes read in this pass show from the next one
        EXPECT_EQ(ctl::Visible(m.cmdRampOn(r)), ramp) << r;
        EXPECT_EQ(m.shpPoll(r)->fillColor(), color::ButtonFace) << r;
        EXPECT_EQ(m.shpRampSoak(r)->fillColor(), lamp) << r;
    }
    // The silent instrument in row 4: a red lamp and the error line.
    EXPECT_EQ(m.shpPoll(4)->fillColor(), color::Red);
    EXPECT_TRUE(errorLine().contains(" - Address 34:")) << errorLine().toStdString();
}

TEST_F(MonitorTest, EditedBoxesAreLeftAloneByThePoll)
{
    startSim();
    activate();
    choose(0, 0);
    f().txtSVText(0)->setText(QStringLiteral("90"));
    f().txtChangeAll->setText(QStringLiteral("65"));
    ASSERT_EQ(back(f().txtSVText(0)), color::Yellow);
    tick();
    EXPECT_EQ(f().lblTempText(0)->text(), "72.5 °F");
    EXPECT_EQ(f().txtSVText(0)->text(), "90");
    EXPECT_EQ(f().txtChangeAll->text(), "65");
    EXPECT_EQ(requestsTo("\x02Z320101"), 0);

    // The row's box emptied and entered is the poll's again; the Change All
    // value the user is still typing is not.
    press(0, QString());
    ASSERT_EQ(back(f().txtSVText(0)), color::White);
    gLastSPPollTime = kPollNow;
    tick();
    EXPECT_EQ(requestsTo("\x02Z320101"), 1);
    EXPECT_EQ(f().txtSVText(0)->text(), "75.0 °F");
    EXPECT_EQ(f().txtChangeAll->text(), "65");
    EXPECT_EQ(back(f().txtChangeAll), color::Yellow);
}

TEST_F(MonitorTest, TickDuringARunningPassIsSkipped)
{
    startSim();
    activate();
    for (int r = 0; r < 40; ++r)
        choose(r, r % 4); // 40 rows across the four kinds
    bool nested = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(f().PassRunning());
        Clock::advanceMs(10000);
        tick();
        nested = true;
    });
    tick();
    EXPECT_TRUE(nested);
    EXPECT_FALSE(f().PassRunning());
    // One pass: each Zarn Link row read its process value once.
    EXPECT_EQ(requestsTo("\x02Z3200"), 10);
}

TEST_F(MonitorTest, RowSetpointEnter)
{
    startSim();
    activate();
    for (int r = 0; r < 3; ++r)
        choose(r, r);
    tick();
    FrmMonitor& m = f();
    ASSERT_EQ(m.RowScale[1], 10.0f);
    choose(3, 3);

    // text typed in row 1 (scale 10), colour after Enter, value written to wire register 257 (none: unchanged)
    const std::tuple<const char*, quint32, int, int> cases[] = {
        {"12.5", color::Green, 125, 0},
        {"999.9  °F", color::Green, 9999, 0},
        {"abc", color::Red, 9999, 1},       // refused, nothing sent
        {"1,234,5", color::Red, 9999, 1},   // separators out of place
        {"1,234.5", color::Red, 9999, 1},   // beyond the set point's field
        {"4000", color::Red, 9999, 1},      // 40000 does not fit a register
        {"", color::White, 9999, 0},
    };
    for (const auto& [typed, colour, onWire, boxesShown] : cases) {
        boxes_.clear();
        press(1, QString::fromUtf8(typed));
        EXPECT_EQ(back(m.txtSVText(1)), colour) << typed;
        EXPECT_EQ(sim_.must("get 51 reg 257"), std::to_string(onWire)) << typed;
        EXPECT_EQ(boxes_.count(), boxesShown) << typed;
    }
    // Group 1: fixed tenths.
    press(2, QStringLiteral("31.5"));
    EXPECT_EQ(sim_.must("get 1 reg 0x1001"), "315");
}

// Every kind of typed set point, in a row and for Change All, at every
// decimal point: exactly the value typed goes out, or a box says why (an
// emptied row box only turns neutral) and nothing is sent.
TEST_F(MonitorTest, EveryTypedSetpointGoesOutAsTypedOrIsRefused)
{
    startSim();
    activate();
    choose(0, 1); // Kiln, Modbus RTU in group 0: its set point on the wire at 257
    tick();
    FrmMonitor& m = f();
    mb::setHandler([](const mb::Call&) { return int(mb::Yes); }); // every question: go on
    const auto refusedInABox = [&] {
        const auto& calls = boxes_.calls();
        return std::any_of(calls.begin(), calls.end(),
                           [](const mb::Call& c) { return c.title == "Invalid Setpoint Value"; });
    };
    for (int dp = 0; dp <= 3; ++dp) {
        m.RowScale[0] = float(std::pow(10, dp));
        for (const TypedValue& c : TypedSweep(dp, -1999, 9999))
            for (bool changeAll : {false, true}) {
                SCOPED_TRACE(QString("%1 decimals, %2: \"%3\"").arg(dp).arg(changeAll).arg(c.text).toStdString());
                sim_.must("reg 51 257 4321");
                boxes_.clear();
                m.txtChangeAll->setText(c.text);
                if (changeAll)
                    m.cmdChangeAll->click();
                else
                    press(0, c.text);
                EXPECT_EQ(sim_.must("get 51 reg 257"), c.raw ? std::to_string(*c.raw) : "4321");
                // Change All asks about the other rows.
                EXPECT_TRUE(c.raw ? changeAll || boxes_.count() == 0 : c.text.isEmpty() || refusedInABox());
            }
    }
    // A row refused at Change All is named with the reason.
    m.RowScale[0] = 10;
    boxes_.clear();
    m.txtChangeAll->setText("12.34");
    m.cmdChangeAll->click();
    EXPECT_EQ(boxes_.last().text, "Setpoint Value not sent to address 33 (Kiln) because it has more decimal places "
                                  "than the instrument shows (1).\rDo you want to continue with the next instrument?");
    press(0, "1000");
    EXPECT_EQ(boxes_.last().text, "The Setpoint Value was not sent to the instrument at address 33 because it is "
                                  "outside the range -199.9 to 999.9 that the instrument can hold.");
}

// Where no configuration field limits a register, what the line carries at
// the shown scale does.
TEST_F(MonitorTest, SetpointLimitsFollowTheFieldOrTheLine)
{
    // protocol, group, register, typed at one decimal, fits
    const std::tuple<const char*, int, int, double, bool> cases[] = {
        {"R", 0, 2, 3276.7, true},   {"R", 0, 2, 3276.8, false},  {"R", 0, 2, -3276.8, true},
        {"R", 0, 2, -3276.9, false}, {"Z", 0, 2, 999.9, true},    {"Z", 0, 2, -1000.0, false},
        {"A", 2, 2, 3276.7, true},   {"A", 2, 2, 3276.8, false},  {"Z", 0, 258, -199.9, true},
        {"Z", 0, 258, -200.0, false}, {"R", 1, 263, 999.9, true}, {"R", 1, 263, 1000.0, false},
    };
    for (const auto& [protocol, group, reg, typed, fits] : cases) {
        const monitor::SetpointFit fit = monitor::FitSetpoint(typed, 10, {protocol, group, 1}, reg);
        EXPECT_EQ(fit.kind == monitor::SetpointFit::Fits, fits) << protocol << group << " " << reg << " " << typed;
        if (fits)
            EXPECT_EQ(fit.value, float(std::round(typed * 10)));
    }
}

TEST_F(MonitorTest, ChangeAll)
{
    startSim();
    activate();
    for (int r = 0; r < 5; ++r)
        choose(r, r); // row 4: the silent instrument
    choose(7, 1);
    tick();
    FrmMonitor& m = f();
    m.RowScale[4] = 10;
    choose(6, 0); // read later: scale 0

    // Yes, then No at the failing row 4: rows 0-3 sent, rows 6-7 untouched.
    m.txtChangeAll->setText(QStringLiteral("62.5"));
    boxes_.clear();
    boxes_.push(mb::Yes);
    boxes_.push(mb::No);
    gLastSPPollTime = 0;
    const double before = Clock::timer();
    m.cmdChangeAll->click();
    EXPECT_EQ(sim_.must("get 51 reg 257"), "625");
    EXPECT_EQ(sim_.must("get 2 reg 0x4701"), "625");
    ASSERT_EQ(boxes_.count(), 2);
    EXPECT_TRUE(boxes_.last().text.startsWith(
        "Setpoint Value not sent to address 34 (Dead) due to communications Error >Address 34:"));
    EXPECT_TRUE(boxes_.last().text.endsWith(".\rDo you want to continue with the next instrument?"));
    EXPECT_EQ(back(m.txtChangeAll), color::Red);
    EXPECT_EQ(back(m.txtSVText(7)), color::White);
    EXPECT_TRUE(gLastSPPollTime == 0 && Clock::timer() == before);
}

TEST_F(MonitorTest, RampSoakButtons)
{
    startSim();
    activate();
    choose(0, 1); // Kiln, Modbus RTU: run register on the wire 785, hold 788
    choose(1, 0); // Oven, Zarn Link
    tick();
    ASSERT_TRUE(ctl::Visible(f().cmdRampOn(0)));
    FrmMonitor& m = f();

    // button, first write (wire register, value), second write
    const std::tuple<void (FrmMonitor::*)(int), int, int, int, int> rows[] = {
        {&FrmMonitor::cmdRampOn_Click, 785, 1, 788, 0},
        {&FrmMonitor::cmdRampHold_Click, 788, 1, 785, 1},
        {&FrmMonitor::cmdRampOff_Click, 785, 0, 788, 0},
    };
    for (const auto& [handler, first, firstValue, second, secondValue] : rows) {
        sim_.must("reg 51 785 7");
        sim_.must("reg 51 788 7");
        sim_.clearLog();
        gLastSPPollTime = 0;
        const double before = Clock::timer();
        (m.*handler)(0);
        const auto req = sim_.requests();
        ASSERT_EQ(req.size(), 2u);
        EXPECT_EQ(quint8(req[0][3]), first & 0xFF) << "the first write";
        EXPECT_EQ(sim_.must("get 51 reg " + std::to_string(first)), std::to_string(firstValue));
        EXPECT_EQ(sim_.must("get 51 reg " + std::to_string(second)), std::to_string(secondValue));
        EXPECT_EQ(m.shpRampSoak(0)->fillColor(), color::ButtonFace);
        EXPECT_EQ(gLastSPPollTime, kPollNow);
        EXPECT_NEAR(Clock::timer() - before, 0.8, 0.002);
    }

    // A failed first write leaves the second unsent.
    sim_.must("fault 51 exception:4");
    sim_.clearLog();
    m.cmdRampHold(0)->click();
    EXPECT_EQ(sim_.requests().size(), 1u);
    EXPECT_EQ(boxes_.last().title, "Program Hold Communications Error");
    EXPECT_TRUE(boxes_.last().text.startsWith(
        "The command to turn the program hold on failed due to a write communications Error >Address 33:"));
}

TEST_F(MonitorTest, CfgHandsTheRowToTheConfigurationScreen)
{
    // The settings speak Modbus RTU to group 0, whose model list holds the
    // ramp/soak-only model; the screen refuses any other instrument.
    gControllerGroup = 0;
    gProtocolCode = QStringLiteral("R");
    ReadModelFile();
    startSim();
    // The ramp/soak-only model reads its registers from the instrument.
    // (The run and hold registers, 785 and 788 on the wire, are there already.)
    for (int reg : {7, 349, 350, 786, 787, 789})
        sim_.must("reg 51 " + std::to_string(reg) + " 0");
    for (int reg = 288; reg <= 319; ++reg)
        sim_.must("reg 51 " + std::to_string(reg) + " 0");
    activate();
    auto fill = [this] {
        f().tmrPoll.setEnabled(false);
        choose(0, 1); // Kiln: 33H, Modbus RTU, group 0, answers the ramp/soak registers
        choose(1, 2); // Line: group 1
        choose(2, 0); // Oven: Zarn Link
        tick();
    };
    fill();
    ASSERT_TRUE(ctl::Visible(f().cmdRampCfg(0)));

    f().cmdRampCfg_Click(5);
    EXPECT_EQ(boxes_.last().title, "No Instrument Defined");
    EXPECT_FALSE(gRampCfgMode);
    EXPECT_EQ(Forms::active(), &mdiMonitor());

    // A refusal is the screen's, with its reason, and leads back to the
    // monitor, active and polling again.
    const std::pair<int, const char*> refused[] = {
        {1, "Controller Group Does Not Match"},
        {2, "Protocol Does Not Match"},
    };
    for (const auto& [row, title] : refused) {
        boxes_.clear();
        f().cmdRampCfg_Click(row);
        QApplication::processEvents();
        ASSERT_EQ(boxes_.count(), 1) << title;
        EXPECT_EQ(boxes_.last().title, title);
        EXPECT_FALSE(gRampCfgMode);
        EXPECT_EQ(Forms::active(), &mdiMonitor()) << title;
        EXPECT_TRUE(mdiMonitor().isVisible()) << title;
        EXPECT_TRUE(f().tmrPoll.enabled()) << title;
        fill();
    }

    // The matching instrument opens the screen on its ramp/soak settings
    // alone, and the monitor steps aside.
    boxes_.clear();
    f().cmdRampCfg(0)->click();
    QApplication::processEvents();
    EXPECT_TRUE(gRampCfgMode);
    EXPECT_EQ(gRampCfgAddress, 0x33);
    EXPECT_EQ(gRampCfgProtocol, "R");
    EXPECT_EQ(gRampCfgGroup, 0);
    FrmConfig& cfg = frmConfig();
    EXPECT_EQ(Forms::active(), &cfg);
    EXPECT_TRUE(cfg.isVisible());
    EXPECT_FALSE(mdiMonitor().isVisible());
    EXPECT_FALSE(f().tmrPoll.enabled());
    EXPECT_EQ(cfg.ModelID(), "RS");

    // The screen's own Monitor button goes back; the mode ends with it.
    cfg.cmdMonitor->click();
    QApplication::processEvents();
    EXPECT_FALSE(gRampCfgMode);
    EXPECT_EQ(Forms::active(), &mdiMonitor());
    EXPECT_TRUE(mdiMonitor().isVisible());
}

} // namespace
