// The system monitor: rows and row file, activation, the poll on its periods,
// set-point and ramp/soak commands, against the simulated line.
#include <QApplication>
#include <QKeyEvent>
#include <QTimeZone>
#include <QTimer>

#include "core/deffiles.h"
#include "core/state.h"
#include "monitor/frmMonitor.h"
#include "monitor/mdiMonitor.h"
#include "platform/clock.h"
#include "platform/textfile.h"
#include "shell/frmMain.h"
#include "support/simline.h"

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
        {"1,234.5  °F", color::Green, 12345, 0},
        {"abc", color::Red, 12345, 1},      // refused, nothing sent
        {"1,234,5", color::Red, 12345, 1},  // separators out of place
        {"4000", color::Red, 12345, 1},     // 40000 does not fit a register
        {"", color::White, 12345, 0},
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

TEST_F(MonitorTest, ChangeAll)
{
    startSim();
    activate();
    for (int r = 0; r < 5; ++r)
        choose(r, r); // row 4: the silent instrument
    choose(7, 1);
    tick();
    FrmMonitor& m = f();
    m.RowScale[4] = 1;
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

} // namespace
