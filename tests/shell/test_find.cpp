// Find Instruments against the instrument simulator, and in demo mode.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QTimeZone>
#include <QDateTime>
#include <QFile>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "core/commport.h"
#include "core/deffiles.h"
#include "core/startup.h"
#include "core/sysconfig.h"
#include "monitor/frmLogging.h"
#include "platform/clock.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"
#include "shell/frmRegister.h"
#include "shell/frmTerminal.h"
#include "sim-driver/pty.h"
#include "sim-driver/simulator.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

// Records the probe texts the search shows: the search lets posted events run
// after every probe, and the recorder reposts itself so that it runs on each
// of those turns. `onProbe` runs with the number of probes seen so far.
class ProbeRecorder {
public:
    explicit ProbeRecorder(std::function<void(int)> onProbe = {}) : onProbe_(std::move(onProbe)) { post(); }
    QStringList probes;

private:
    void post() { QMetaObject::invokeMethod(&context_, [this] { turn(); }, Qt::QueuedConnection); }
    void turn()
    {
        post();
        const QString t = frmFind().lblProgress->text();
        if (!t.startsWith(QLatin1String("Polling")) || (!probes.isEmpty() && probes.last() == t))
            return;
        probes << t;
        if (onProbe_)
            onProbe_(int(probes.size()));
    }
    QObject context_;
    std::function<void(int)> onProbe_;
};

class FindTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        useSampleProgram(); // COM1 at 9600,N,8,1
        ReadZarnXrefFile();
        ReadxxGXrefFile();
        ReadxxHXrefFile();
        gPollTimeoutMs = 30; // silent probes stay short
    }

    // Opens the configured line on `device` and shows the search screen for `group`.
    FrmFind& open(const std::string& device, int group)
    {
        qputenv("QUINREX3_COM1", QByteArray::fromStdString(device));
        gControllerGroup = group;
        bool failed = true;
        InitComm(CommSettingsString(), failed);
        EXPECT_FALSE(failed);
        frmFind().Show();
        return frmFind();
    }
    // A search line on a bare pseudo-terminal in demo mode.
    FrmFind& openDemo(int group)
    {
        gDemoMode = true;
        return open(pty_.slavePath(), group);
    }

    static void choose(FrmFind& f, const QString& from, const QString& to, const QString& baud,
                       const QString& parity, const QString& data, const QString& stop, int protocol)
    {
        f.cbxStartAddress->setCurrentText(from);
        f.cbxEndAddress->setCurrentText(to);
        f.cbxBaudRate->setCurrentText(baud);
        f.cbxParity->setCurrentText(parity);
        f.cbxDataLength->setCurrentText(data);
        f.cbxStopBits->setCurrentText(stop);
        f.OptInstProtocol(protocol)->setChecked(true);
    }
    static QStringList results(const FrmFind& f)
    {
        QStringList out;
        for (int i = 0; i < f.lisSearchResults->count(); ++i)
            out << f.lisSearchResults->item(i)->text();
        return out;
    }

    PtyPair pty_;
};

TEST_F(FindTest, ModbusInstrumentsAtTheirOwnSpeedsAndStopBits)
{
    // Group 1 reads the model as a product type (function 103): 1 XG, 2 TQ.
    SimProcess sim;
    ASSERT_TRUE(sim.start("instrument 1 group 1 protocol A settings 9600,E,7,1\npreg 1 0x12 1\n"
                          "instrument 2 group 1 protocol R settings 19200,E,7,2\npreg 2 0x12 2\n"
                          "instrument 3 group 1 protocol R settings 38400,E,7,1\n"
                          "fault 3 exception:2 count=0\n"))
        << sim.errorText();
    FrmFind& f = open(sim.ptyPath(), 1);
    choose(f, "001", "003", "UNKNOWN", "Even", "7", "UNKNOWN", 3);
    f.cmdStartSearch->click();

    EXPECT_EQ(results(f), QStringList({
        "Addr:001  ID#:XG  Type:QX-G48, 1/16 DIN PID Controller with 3 Alarms  9600,E,7,1  Modbus ASCII",
        "Addr:003  ID#:??  Type:Possible 53G, 53H, TQN Controller       38400,E,7,1  Modbus RTU",
        "Addr:002  ID#:TQ  Type:QX-TQ32, 1/32 DIN Thermocouple Controller  19200,E,7,2  Modbus RTU",
    }));
    EXPECT_EQ(f.lblProgress->text(), "Search completed. Found 3 instruments.");
    // 2 stop bits x 5 speeds x 3 addresses x 2 protocols; a silent probe asks twice.
    EXPECT_EQ(sim.requests().size(), 57u * 2 + 3);
    EXPECT_EQ(CommPort().settings(), "9600,N,8,1");
    EXPECT_FALSE(f.Searching);
}

TEST_F(FindTest, GroupZeroZarnLinkAndRtuIncludingOddSpeedsAndUnknownModels)
{
    // Group 0 reads the model through "Zarn Link" command 701H or Modbus RTU
    // register 1794 (1793 on the wire). Address 2 would answer Modbus ASCII
    // too, which group 0 does not speak.
    SimProcess sim;
    ASSERT_TRUE(sim.start("instrument 1 group 0 protocol Z settings 28800,N,8,1\nzcmd 1 0x701 5457\n"
                          "instrument 2 group 0 protocol RA settings 9600,N,8,1\nreg 2 1793 0x5151\n"
                          "preg 2 0x12 1\n"
                          "instrument 3 group 0 protocol Z settings 57600,N,8,1\nfault 3 nak:10 count=0\n"))
        << sim.errorText();
    FrmFind& f = open(sim.ptyPath(), 0);
    // Group 0 takes the framing back to None, 8, 1 whatever is chosen.
    choose(f, "01", "03", "UNKNOWN", "Even", "7", "2", 3);
    EXPECT_EQ(f.cbxParity->currentText() + f.cbxDataLength->currentText() + f.cbxStopBits->currentText(), "None81");
    f.cmdStartSearch->click();

    EXPECT_EQ(results(f), QStringList({
        "Addr:02  ID#:QQ  Type:Unavailable, Unknown Model Type  9600,N,8,1  Modbus RTU",
        "Addr:01  ID#:TW  Type:QX-16T, 1/16 DIN Temperature Controller (Modbus RTU)  28800,N,8,1  Zarn Link",
        "Addr:03  ID#:??  Type:Possible 53G, 53H, TQN Controller       57600,N,8,1  Zarn Link",
    }));
    EXPECT_EQ(CommPort().settings(), "9600,N,8,1");
}

// The adapter pulled out during a search: the search ends as after a failed
// opening, and the configured line comes back once the adapter is plugged
// in again, as after any loss.
TEST_F(FindTest, DeviceLostDuringASearchIsReopenedWhenItReturns)
{
    Clock::setFake(QDateTime(QDate(2026, 12, 7), QTime(17, 27, 40), QTimeZone::utc()));
    const QString link = file(QStringLiteral("adapter"));
    const auto plugIn = [&](SimProcess& sim) {
        ASSERT_TRUE(sim.start("instrument 1 group 1 protocol A settings 9600,E,7,1\npreg 1 0x12 1\n"))
            << sim.errorText();
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(QString::fromStdString(sim.ptyPath()), link));
    };
    SimProcess first, second;
    plugIn(first);
    FrmFind& f = open(link.toStdString(), 1);
    choose(f, "001", "255", "9600", "Even", "7", "1", 2);
    ProbeRecorder rec([&](int n) {
        if (n == 2) {
            first.stop();
            QFile::remove(link);
        }
    });
    boxes_.clear();
    f.cmdStartSearch_Click();
    EXPECT_EQ(f.lblProgress->text(), "Found 1 instrument.");
    // The probe's opening and the closing one each told of the device.
    ASSERT_EQ(boxes_.count(), 2);
    for (const mb::Call& c : boxes_.calls())
        EXPECT_EQ(c.title, "InitComm");
    EXPECT_TRUE(!gCommOK && ReopenTimer().enabled());

    plugIn(second);
    Clock::advanceMs(1000);
    ReopenLostPort();
    EXPECT_TRUE(gCommOK && frmMain().tmrLogging.enabled() && !ReopenTimer().enabled());
    EXPECT_EQ(CommPort().settings(), "9600,N,8,1");
    EXPECT_EQ(boxes_.count(), 2);
    qunsetenv("QUINREX3_COM1");
}

TEST_F(FindTest, DownwardRangeAndOutOfRangeAddressesAreHeldToTheLine)
{
    FrmFind& f = openDemo(1);
    const QString probe = QStringLiteral("Polling Address %1   9600,E,7,1 Modbus ASCII");
    for (const auto& [from, to, first, second] :
         {std::tuple{"0", "002", "001", "002"}, {"300", "254", "255", "254"}}) {
        choose(f, from, to, "9600", "Even", "7", "1", 2);
        ProbeRecorder rec;
        f.cmdStartSearch_Click();
        EXPECT_EQ(rec.probes, QStringList({probe.arg(first), probe.arg(second)}));
        EXPECT_EQ(f.cbxStartAddress->currentText(), first);
    }
}

// The cancel button's own case is the queued click below.
TEST_F(FindTest, CancelByLeavingKeepsTheCountAndRestoresTheLine)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start("instrument 1 group 1 protocol A settings 9600,E,7,1\npreg 1 0x12 1\n")) << sim.errorText();
    FrmFind& f = open(sim.ptyPath(), 1);
    choose(f, "001", "255", "9600", "Even", "7", "1", 2);
    ProbeRecorder rec([&](int n) {
        if (n == 2)
            Forms::setActive(&frmMain());
    });
    f.cmdStartSearch_Click();
    EXPECT_EQ(rec.probes.size(), 2);
    EXPECT_EQ(results(f).size(), 1);
    EXPECT_EQ(f.lblProgress->text(), "Found 1 instrument.");
    EXPECT_EQ(CommPort().settings(), "9600,N,8,1");
    EXPECT_FALSE(f.Searching);
}

// A click as the window system delivers it: press and release queued for the
// window at the button's place, handled only when the search lets events run.
void queueClick(QAbstractButton* b)
{
    QWindow* window = b->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    const QPointF at = b->mapTo(b->window(), b->rect().center());
    const QPointF global = b->mapToGlobal(b->rect().center());
    QCoreApplication::postEvent(window, new QMouseEvent(QEvent::MouseButtonPress, at, at, global, Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(window, new QMouseEvent(QEvent::MouseButtonRelease, at, at, global, Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
}

TEST_F(FindTest, QueuedClickOnCancelIsTakenAfterTheNextProbeEvenWhenProbesAreFast)
{
    // Every probe is answered at once: four group-0 instruments that answer
    // "Zarn Link" and Modbus RTU at any speed.
    std::string line;
    for (int a = 1; a <= 4; ++a)
        line += "instrument " + std::to_string(a) + " group 0 protocol ZR\nzcmd " + std::to_string(a) +
                " 0x701 5457\nreg " + std::to_string(a) + " 1793 0x5457\n";
    SimProcess sim;
    ASSERT_TRUE(sim.start(line)) << sim.errorText();
    FrmFind& f = open(sim.ptyPath(), 0);
    choose(f, "01", "04", "UNKNOWN", "None", "8", "1", 3);
    ProbeRecorder rec([&](int n) {
        if (n == 2)
            queueClick(f.cmdCancelSearch);
    });
    f.cmdStartSearch_Click();

    // The click is queued during the turn after probe 2 and taken after probe 3.
    EXPECT_EQ(rec.probes.size(), 3);
    EXPECT_EQ(results(f).size(), 3);
    EXPECT_EQ(f.lblProgress->text(), "Found 3 instruments.");
    EXPECT_FALSE(f.Searching);
}

TEST_F(FindTest, SecondClickDuringASearchDoesNothing)
{
    FrmFind& f = openDemo(2);
    choose(f, "001", "003", "9600", "Even", "7", "1", 2);
    ProbeRecorder rec([&](int n) {
        if (n == 2)
            f.cmdStartSearch->click();
    });
    f.cmdStartSearch_Click();
    EXPECT_EQ(rec.probes.size(), 3);
    EXPECT_EQ(f.lblProgress->text(), "Search completed. Found 3 instruments.");
}

TEST_F(FindTest, RunTimeErrorStillReopensTheConfiguredSettings)
{
    FrmFind& f = open(pty_.slavePath(), 0);
    // The configured settings change after the line was opened: only a
    // reopening at the end of the search puts them on the line.
    gBaudRate = 19200;
    f.cbxStartAddress->setCurrentText("FFFFF"); // overflows the address number
    f.cmdStartSearch_Click();
    EXPECT_TRUE(boxes_.last().text.endsWith("Routine - frmFind.cmdSearch_Click"));
    EXPECT_EQ(CommPort().settings(), "19200,N,8,1");
    EXPECT_FALSE(f.Searching);
    EXPECT_EQ(f.lblProgress->text(), "Zero instruments found.");
}

TEST_F(FindTest, OptionRulesFollowTheGroup)
{
    FrmFind& f = open(pty_.slavePath(), 1);
    EXPECT_TRUE(f.OptInstProtocol(3)->isChecked());
    EXPECT_EQ(f.cbxStartAddress->currentText(), "001");
    // Eight data bits with parity cannot take two stop bits.
    f.cbxParity->setCurrentText("Odd");
    f.cbxDataLength->setCurrentText("8");
    f.cbxStopBits->setCurrentText("2");
    EXPECT_EQ(f.cbxStopBits->currentText(), "1");

    f.OptInstProtocol(0)->setChecked(true);
    f.optInstControllerGroup(2)->setChecked(true);
    EXPECT_TRUE(f.OptInstProtocol(2)->isChecked());
    EXPECT_FALSE(f.OptInstProtocol(0)->isEnabled() || f.OptInstProtocol(1)->isEnabled());

    f.optInstControllerGroup(0)->setChecked(true);
    EXPECT_TRUE(f.OptInstProtocol(1)->isChecked());
    EXPECT_EQ(f.cbxStartAddress->currentText() + f.cbxEndAddress->currentText(), "01FF");
}

TEST_F(FindTest, ToolsOpenModalWithoutTheLoggingQuestionAndExitEnds)
{
    gInstruments.Resize(1);
    gInstruments[0].LogState = 1; // the terminal entry here does not ask about logging
    frmFind().Show();
    QStringList opened;
    const std::pair<Form*, std::function<void()>> tools[] = {
        {&frmTerminal(), [] { frmFind().mnuCommTerm->trigger(); }},
        {&frmRegister(), [] { frmFind().mnuCommRegister->trigger(); }},
        {&frmLogging(), [] { frmFind().cmdLogging->click(); }},
    };
    for (const auto& [form, openIt] : tools) {
        QTimer::singleShot(0, [form, &opened] {
            opened << (form->isModalShown() ? "modal" : "modeless");
            form->Hide();
        });
        openIt();
    }
    EXPECT_EQ(opened, QStringList(3, "modal"));
    EXPECT_EQ(gInstruments[0].LogState, 1);
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_THROW(frmFind().mnuFileExit_Click(), ProgramEnded);
}

} // namespace
