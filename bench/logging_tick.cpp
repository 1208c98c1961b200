// CPU cost of the logging engine's 50 ms tick: with 40 sessions none of
// which is due, and with 40 sessions all due against the simulated line; then
// the CPU the program spends while the line's device is gone.
#include <QTimeZone>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <string>

#include "core/commport.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "shell/frmMain.h"
#include "sim_line.h"
#include "support/simulator.h"
#include "bench_program.h"

using namespace modZarn;

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double wallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

constexpr int kInstruments = 40;

} // namespace

int main(int argc, char** argv)
{
    BenchProgram program(argc, argv);

    std::string line;
    for (int a = 1; a <= kInstruments; ++a)
        line += "instrument " + std::to_string(a) + " group 0 protocol R\nreg " + std::to_string(a) +
                " 1 " + std::to_string(200 + a) + "\nreg " + std::to_string(a) + " 2 0x10\n";
    SimProcess sim;
    if (!OpenSimLine(sim, line))
        return 1;
    FrmMain& m = frmMain();
    m.tmrLogging.setEnabled(false); // ticks are run by hand

    Clock::setFake(QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()));
    gInstruments.Resize(kInstruments);
    for (int i = 0; i < kInstruments; ++i) {
        gInstruments[i].Address = AddressToText(0, i + 1);
        gInstruments[i].Protocol = QStringLiteral("R");
        gInstruments[i].Group = 0;
        gInstruments[i].LogRate = 1;
        gInstruments[i].LogDuration = 28800;
        gInstruments[i].LogFile = program.filePath(QStringLiteral("log%1.csv").arg(i));
        gInstruments[i].LogStartSec = UtcNow() * 86400;
        gInstruments[i].LogNextSec = 0;
        gInstruments[i].LogState = 1;
    }

    // Due ticks: every session samples once per tick.
    constexpr int kDueTicks = 10;
    m.tmrLogging_Timer(); // warm-up: files created, port settled
    double cpu0 = cpuSeconds(), wall0 = wallSeconds();
    for (int k = 0; k < kDueTicks; ++k) {
        Clock::advanceMs(1000);
        m.tmrLogging_Timer();
    }
    const double dueCpu = (cpuSeconds() - cpu0) / kDueTicks;
    const double dueWall = (wallSeconds() - wall0) / kDueTicks;
    if (!m.lblErrorMessageText->text().isEmpty())
        std::fprintf(stderr, "error line: %s\n", qPrintable(m.lblErrorMessageText->text()));

    // Idle ticks: the same 40 sessions, none due.
    constexpr int kIdleTicks = 200000;
    Clock::advanceMs(100);
    cpu0 = cpuSeconds();
    for (int k = 0; k < kIdleTicks; ++k)
        m.tmrLogging_Timer();
    const double idleCpu = (cpuSeconds() - cpu0) / kIdleTicks;

    std::printf("logging tick, 40 sessions, none due : %8.2f us CPU\n", idleCpu * 1e6);
    std::printf("logging tick, 40 sessions, all due  : %8.2f ms CPU, %8.2f ms wall (80 exchanges, 40 appends)\n",
                dueCpu * 1e3, dueWall * 1e3);

    // The adapter pulled out mid-logging: while it is gone only the
    // once-a-second reopening runs. The reference is the event loop with no
    // timer at all, for as long.
    constexpr int kLoopMs = 2000;
    const auto loopCpu = [] {
        const double c0 = cpuSeconds();
        QTimer::singleShot(kLoopMs, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        return cpuSeconds() - c0;
    };
    Clock::useReal();
    const double quietCpu = loopCpu();
    sim.stop();
    Clock::setFake(QDateTime::currentDateTimeUtc()); // one more tick meets the lost device
    Clock::advanceMs(1000);
    m.tmrLogging_Timer();
    Clock::useReal();
    const bool lost = !gCommOK && ReopenTimer().enabled() && !m.tmrLogging.enabled();
    const double lostCpu = loopCpu();
    std::printf("device gone, %d s of reopening tries : %8.2f ms CPU (%.3f%% of one core)%s\n", kLoopMs / 1000,
                lostCpu * 1e3, 100 * lostCpu / (kLoopMs / 1e3), lost ? "" : "  [the loss was not noticed]");
    std::printf("event loop alone, as long (reference): %8.2f ms CPU\n", quietCpu * 1e3);
    CommPort().setPortOpen(false);
    return lost ? 0 : 1;
}
