// The serial terminal taking a stream from a pseudo-terminal as fast as the
// line delivers it: characters per second until all of them are in the box,
// on one line without line ends (the box starts anew at its limit) and in
// 80-character lines, next to what a 9600-baud and a 115200-baud line carry.
// The window is shown (offscreen unless QT_QPA_PLATFORM says otherwise), so
// its drawing counts too; CPU time over the run shows what is left over.
//
//   bench_terminal [--short] [characters]     (default 200000, short 20000)
#include <QElapsedTimer>
#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>

#include "core/commport.h"
#include "shell/frmTerminal.h"
#include "shell/toolwidgets.h"

#include "sim-driver/pty.h"

#include "bench_program.h"
#include "bench_run.h"
#include "cpu_time.h"

namespace {

// A line's characters per second: 10 bits a character (start, 8 data, stop).
constexpr double kRate9600 = 960, kRate115200 = 11520;

QByteArray oneLine(int n)
{
    QByteArray s;
    for (int i = 0; i < n; ++i)
        s += char('a' + i % 26);
    return s;
}

// 78 characters and CR LF a line.
QByteArray shortLines(int n)
{
    QByteArray s;
    for (int i = 0; s.size() < n; ++i)
        s += (i % 80 == 78) ? '\r' : (i % 80 == 79) ? '\n' : char('A' + (i / 80) % 26);
    return s.left(n);
}

struct Result {
    double seconds = 0;
    double cpu = 0;
    bool complete = false;
};

// Writes `data` on the master side from a thread of its own (the writes
// block while the line's buffer is full) and runs the program's events until
// the terminal shows what a box given the same characters shows.
Result feed(PtyPair& line, const QByteArray& data)
{
    FrmTerminal& f = frmTerminal();
    f.txtReply->clearTrace();
    tool::TraceBox reference;
    reference.add(data);
    const QString expected = reference.text();

    Result r;
    const double cpu0 = CpuSeconds();
    QElapsedTimer t;
    t.start();
    std::atomic<bool> written{false};
    std::thread writer([&] {
        line.write(data);
        written = true;
    });
    while (t.elapsed() < 600000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        // The length first: taking the text shows what waits at once.
        if (written && f.txtReply->length() == reference.length() && modZarn::CommPort().inBufferCount() == 0
            && f.txtReply->text() == expected) {
            r.complete = true;
            break;
        }
    }
    r.seconds = t.nsecsElapsed() / 1e9;
    r.cpu = CpuSeconds() - cpu0;
    writer.join();
    return r;
}

void report(const char* what, int n, const Result& r)
{
    const double rate = n / r.seconds;
    std::printf("  %-28s %8d chars  %6.2f s  %9.0f chars/s  (%5.1f x 9600 baud, %5.2f x 115200 baud)  CPU %3.0f%%%s\n",
                what, n, r.seconds, rate, rate / kRate9600, rate / kRate115200, 100 * r.cpu / r.seconds,
                r.complete ? "" : "  INCOMPLETE");
}

} // namespace

int main(int argc, char** argv)
{
    BenchProgram program(argc, argv);
    PtyPair pty;
    pty.bindCom(1);
    SerialPortControl& port = modZarn::CommPort();
    port.setCommPort(1);
    port.setSettings(QStringLiteral("115200,N,8,1"));
    if (!pty.ok())
        return 1;
    port.setPortOpen(true);
    const int n = BenchRun(argc, argv).count(200000, 20000);

    frmTerminal().Show();
    std::printf("terminal: characters per second until shown (a 9600-baud line carries %.0f, 115200 baud %.0f)\n",
                kRate9600, kRate115200);
    const Result line = feed(pty, oneLine(n));
    report("one line without line ends", n, line);
    const Result lines = feed(pty, shortLines(n));
    report("80-character lines", n, lines);

    port.setPortOpen(false);
    return line.complete && lines.complete ? 0 : 1;
}
