// The system monitor's poll: one pass over 40 rows (process value, set point,
// alarm modes and ramp/soak state) against the simulator answering at the
// pace of a 9600-baud line, next to the wire floor of the very exchanges the
// pass made; the same pass with five "Zarn Link" instruments switched off,
// next to its floor; and the CPU the 50 ms poll timer costs between passes.
//
//   bench_monitor_pass [--short] [passes]     (default 5, short 1)
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <string>

#include "core/commport.h"
#include "core/deffiles.h"
#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "monitor/frmMonitor.h"
#include "monitor/mdiMonitor.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "sim_line.h"
#include "sim-driver/simulator.h"

#include "bench_program.h"
#include "bench_run.h"
#include "cpu_time.h"

using namespace modZarn;

namespace {

constexpr int kBaud = 9600;
constexpr double kBitsPerChar = 10; // 9600,N,8,1

// Ten instruments of each kind: "Zarn Link" and Modbus RTU in group 0,
// Modbus RTU in group 1, Modbus ASCII in group 2.
std::string LineDescription()
{
    std::string d;
    for (int k = 0; k < 10; ++k) {
        const std::string z = std::to_string(0x40 + k), r = std::to_string(0x60 + k);
        const std::string g1 = std::to_string(100 + k), g2 = std::to_string(200 + k);
        d += "instrument " + z + " group 0 protocol Z\n";
        for (const char* c : {" 0x00 72.5 unit=F", " 0x101 75.0 unit=F", " 0x31F 2", " 0x321 0", " 0x312 1",
                              " 0x315 0"})
            d += "zcmd " + z + c + "\n";
        d += "instrument " + r + " group 0 protocol R\n";
        for (const char* c : {" 1 725", " 2 0x0812", " 256 1000", " 794 1", " 798 0", " 800 2", " 785 1", " 788 1"})
            d += "reg " + r + c + "\n";
        d += "instrument " + g1 + " group 1 protocol R\nreg " + g1 + " 0x1000 250\nreg " + g1 + " 0x102A 4\nreg " +
             g1 + " 0x1001 300\n";
        d += "instrument " + g2 + " group 2 protocol A\nreg " + g2 + " 0x4700 500\nreg " + g2 + " 0x472B 4\nreg " +
             g2 + " 0x4701 450\n";
    }
    return d;
}

InstrumentRecord Rec(int group, const char* protocol, int address)
{
    InstrumentRecord r;
    r.Group = group;
    r.Protocol = QString::fromLatin1(protocol);
    r.Address = AddressToText(group, address);
    r.Name = QStringLiteral("Unit ") + r.Address;
    return r;
}

bool IsRtu(const QByteArray& frame) { return !frame.startsWith(':') && !frame.startsWith('\x02'); }

// The characters of `frames` at the line's speed, with the 3.5-character
// silence that ends each Modbus RTU request among them.
double WireSeconds(const std::vector<QByteArray>& frames, bool requests)
{
    double chars = 0;
    for (const QByteArray& f : frames)
        chars += f.size() + (requests && IsRtu(f) ? 3.5 : 0);
    return chars * kBitsPerChar / kBaud;
}

// Average wall time of `passes` monitor passes with both kinds due; the last
// pass's requests and replies.
double Passes(FrmMonitor& m, SimProcess& sim, int passes, double* cpu, std::vector<QByteArray>& requests,
              std::vector<QByteArray>& replies)
{
    double wall = 0;
    *cpu = 0;
    for (int p = 0; p < passes; ++p) {
        sim.clearLog();
        gLastPVPollTime = gLastSPPollTime = kPollNow;
        QElapsedTimer t;
        const double c0 = CpuSeconds();
        t.start();
        m.tmrPoll_Timer();
        wall += t.nsecsElapsed() / 1e9;
        *cpu += CpuSeconds() - c0;
        requests = sim.requests();
        replies = sim.replies();
    }
    *cpu /= passes;
    return wall / passes;
}

} // namespace

int main(int argc, char** argv)
{
    BenchProgram program(argc, argv);
    const BenchRun run(argc, argv);
    const int passes = run.count(5, 1);
    const int idleMs = run.pick(3000, 1000);
    for (const char* name : {"ZarnXref.TXT", "xxGXref.TXT", "xxHXref.TXT"})
        QFile::copy(QStringLiteral(QX_DATA_DIR "/") + QString::fromLatin1(name),
                    program.filePath(QString::fromLatin1(name)));
    ReadZarnXrefFile();
    ReadxxGXrefFile();
    ReadxxHXrefFile();

    SimProcess sim;
    if (!OpenSimLine(sim, LineDescription(), {"--wire"}))
        return 1;

    for (int k = 0; k < 10; ++k)
        for (const InstrumentRecord& r : {Rec(0, "Z", 0x40 + k), Rec(0, "R", 0x60 + k), Rec(1, "R", 100 + k),
                                          Rec(2, "A", 200 + k)})
            gInstruments.Append(r);
    gPVPollSeconds = 300;
    gSPPollSeconds = 300;
    mdiMonitor().Show();
    FrmMonitor& m = frmMonitor();
    for (int r = 0; r < monitor::kRows; ++r)
        m.cbxControl(r)->setListIndex(r);

    // Passes: both kinds due, as after activation or a row change.
    m.tmrPoll.setEnabled(false);
    double cpu = 0;
    std::vector<QByteArray> requests, replies;
    const double wall = Passes(m, sim, passes, &cpu, requests, replies);

    // The floor of the last pass's exchanges: every character at 10 bits,
    // and the 3.5-character silence that ends each Modbus RTU request.
    double chars = 0;
    int rtu = 0;
    for (const QByteArray& q : requests) {
        chars += q.size();
        if (IsRtu(q))
            ++rtu;
    }
    for (const QByteArray& a : replies)
        chars += a.size();
    const double floorSeconds = WireSeconds(requests, true) + WireSeconds(replies, false);
    const QString errors = m.shpPoll(0)->fillColor() == color::Red ? QStringLiteral(" (row 0 failed)") : QString();

    // Between passes: the real 50 ms timer running with nothing due.
    m.tmrPoll.setEnabled(true);
    QElapsedTimer idle;
    const double c0 = CpuSeconds();
    idle.start();
    QEventLoop loop;
    QTimer::singleShot(idleMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double idleShare = (CpuSeconds() - c0) / (idle.nsecsElapsed() / 1e9);
    m.tmrPoll.setEnabled(false);

    std::printf("monitor pass, 40 rows, 9600 baud: %zu requests, %zu replies, %.0f characters, %d RTU end gaps%s\n",
                requests.size(), replies.size(), chars, rtu, qPrintable(errors));
    std::printf("  pass wall time     : %8.1f ms   (reference: wire floor %8.1f ms; ratio %.3f, goal <= 1.05)\n",
                wall * 1e3, floorSeconds * 1e3, wall / floorSeconds);
    std::printf("  pass CPU time      : %8.1f ms   (%.1f %% of the pass)\n", cpu * 1e3, 100 * cpu / wall);
    std::printf("  CPU between passes : %8.3f %%   (reference: 0 %%, timer idle %.0f s)\n", idleShare * 100,
                idleMs / 1e3);
    // Five "Zarn Link" instruments switched off: each of their rows fails
    // its first read after two attempts of the 500 ms time-out, and the rows
    // after them, of other addresses, go out at once. Floor: the wire time of
    // the exchanges answered and the attempts the silent reads wait out.
    for (int k = 0; k < 5; ++k)
        sim.must("fault " + std::to_string(0x40 + k) + " silence count=0");
    double offCpu = 0;
    std::vector<QByteArray> offRequests, offReplies;
    const double offWall = Passes(m, sim, passes, &offCpu, offRequests, offReplies);
    std::vector<QByteArray> answered;
    int silent = 0;
    for (const QByteArray& q : offRequests) {
        const int address = q.mid(2, 2).toInt(nullptr, 16);
        if (q.startsWith("\x02Z") && address >= 0x40 && address < 0x45)
            ++silent;
        else
            answered.push_back(q);
    }
    const double offFloor =
        WireSeconds(answered, true) + WireSeconds(offReplies, false) + silent * gPollTimeoutMs / 1e3;
    std::printf("five \"Zarn Link\" instruments off, %d ms time-out: %zu requests, %d of them silent\n",
                gPollTimeoutMs, offRequests.size(), silent);
    std::printf("  pass wall time     : %8.1f ms   (reference: floor %8.1f ms, the wire and %d silent attempts; "
                "ratio %.3f, goal <= 1.15)\n",
                offWall * 1e3, offFloor * 1e3, silent, offWall / offFloor);

    CommPort().setPortOpen(false);
    return 0;
}
