// CPU cost of the logging engine's 50 ms tick: with 40 sessions none of
// which is due, and with 40 sessions all due against the simulated line; the
// idle program (main menu shown, port open, nothing logging) with its timer
// running for real; then the CPU the program spends while the line's device
// is gone.
//
//   bench_logging_tick [--short]
#include <QEvent>
#include <QEventLoop>
#include <QTimeZone>
#include <QTimer>
#include <cstdio>
#include <string>

#include "core/commport.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "shell/frmMain.h"
#include "sim_line.h"
#include "sim-driver/simulator.h"
#include "bench_program.h"
#include "bench_run.h"
#include "cpu_time.h"

using namespace modZarn;

namespace {

constexpr int kInstruments = 40;

// Counts the paint events of one window and its controls.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && o->isWidgetType() && static_cast<QWidget*>(o)->window() == window_)
            ++count;
        return false;
    }

private:
    QWidget* window_;
};

// CPU seconds the event loop takes over ms of wall time (a loop of its own:
// quitting the application would close the main menu, which ends the program).
double LoopCpu(int ms)
{
    const double c0 = CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return CpuSeconds() - c0;
}

} // namespace

int main(int argc, char** argv)
{
    BenchProgram program(argc, argv);
    const BenchRun run(argc, argv);

    std::string line;
    for (int a = 1; a <= kInstruments; ++a)
        line += "instrument " + std::to_string(a) + " group 0 protocol R\nreg " + std::to_string(a) +
                " 1 " + std::to_string(200 + a) + "\nreg " + std::to_string(a) + " 2 0x10\n";
    SimProcess sim;
    if (!OpenSimLine(sim, line))
        return 1;
    FrmMain& m = frmMain();
    m.tmrLogging.setEnabled(false); // ticks are run by hand until the idle program runs

    gInstruments.Resize(kInstruments);
    for (int i = 0; i < kInstruments; ++i) {
        gInstruments[i].Address = AddressToText(0, i + 1);
        gInstruments[i].Protocol = QStringLiteral("R");
        gInstruments[i].Group = 0;
        gInstruments[i].LogRate = 1;
        gInstruments[i].LogDuration = 28800;
        gInstruments[i].LogFile = program.filePath(QStringLiteral("log%1.csv").arg(i));
    }

    // The idle program: the main menu shown with the port open and 40
    // instruments, none logging, the 50 ms timer running for real. The
    // reference is the event loop with no timer at all, for as long.
    const int idleMs = run.pick(10000, 1000);
    Clock::useReal();
    m.Show();
    LoopCpu(200); // the first paint of the window
    const double quietCpu = LoopCpu(idleMs);
    PaintCounter paints(&m);
    m.tmrLogging.setEnabled(true);
    const double idleProgramCpu = LoopCpu(idleMs);
    m.tmrLogging.setEnabled(false);
    const int idlePaints = paints.count;

    Clock::setFake(QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()));
    for (InstrumentRecord& r : gInstruments) {
        r.LogStartSec = UtcNow() * 86400;
        r.LogNextSec = 0;
        r.LogState = 1;
    }

    // Due ticks: every session samples once per tick.
    const int dueTicks = run.pick(10, 2);
    m.tmrLogging_Timer(); // warm-up: files created, port settled
    double cpu0 = CpuSeconds(), wall0 = WallSeconds();
    for (int k = 0; k < dueTicks; ++k) {
        Clock::advanceMs(1000);
        m.tmrLogging_Timer();
    }
    const double dueCpu = (CpuSeconds() - cpu0) / dueTicks;
    const double dueWall = (WallSeconds() - wall0) / dueTicks;
    if (!m.lblErrorMessageText->text().isEmpty())
        std::fprintf(stderr, "error line: %s\n", qPrintable(m.lblErrorMessageText->text()));

    // Idle ticks: the same 40 sessions, none due.
    const int idleTicks = run.pick(200000, 2000);
    Clock::advanceMs(100);
    cpu0 = CpuSeconds();
    for (int k = 0; k < idleTicks; ++k)
        m.tmrLogging_Timer();
    const double idleCpu = (CpuSeconds() - cpu0) / idleTicks;

    std::printf("logging tick, 40 sessions, none due : %8.2f us CPU\n", idleCpu * 1e6);
    std::printf("logging tick, 40 sessions, all due  : %8.2f ms CPU, %8.2f ms wall (80 exchanges, 40 appends)\n",
                dueCpu * 1e3, dueWall * 1e3);
    std::printf("idle program, port open, nothing logging, %.0f s : %6.3f%% of one core, %d repaints"
                "  (goal < 0.3%%, no repaint)\n",
                idleMs / 1e3, 100 * idleProgramCpu / (idleMs / 1e3), idlePaints);
    std::printf("event loop alone, as long (reference)       : %6.3f%% of one core\n",
                100 * quietCpu / (idleMs / 1e3));

    // The adapter pulled out mid-logging: while it is gone only the
    // once-a-second reopening runs, set against the event loop alone.
    const int lostMs = run.pick(2000, 1000);
    sim.stop();
    Clock::setFake(QDateTime::currentDateTimeUtc()); // one more tick meets the lost device
    Clock::advanceMs(1000);
    m.tmrLogging_Timer();
    Clock::useReal();
    const bool lost = !gCommOK && ReopenTimer().enabled() && !m.tmrLogging.enabled();
    const double lostCpu = LoopCpu(lostMs);
    std::printf("device gone, %.0f s of reopening tries : %8.2f ms CPU (%.3f%% of one core)%s\n", lostMs / 1e3,
                lostCpu * 1e3, 100 * lostCpu / (lostMs / 1e3), lost ? "" : "  [the loss was not noticed]");
    std::printf("event loop alone, as long (reference)  : %8.2f ms CPU\n", quietCpu * lostMs / idleMs * 1e3);
    CommPort().setPortOpen(false);
    return lost ? 0 : 1;
}
