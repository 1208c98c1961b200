// Time per exchange of a one-register Modbus RTU read over a pseudo-terminal,
// our driver next to libmodbus's master against the same libmodbus slave, and
// the CPU time our driver spends while it waits for an instrument that never
// answers.
//
//   bench_transport [--short] [exchanges]     (default 5000 per side, short 200)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>
#include <modbus.h>
#include <pty.h>
#include <unistd.h>

#include "core/state.h"
#include "core/transports.h"
#include "platform/serialport.h"

#include "bench_run.h"
#include "cpu_time.h"

using namespace modZarn;

namespace {

bool OpenOurPort(const QString& device)
{
    qputenv("QUINREX3_COM1", device.toLocal8Bit());
    SerialPortControl& port = CommPort();
    if (port.portOpen())
        port.setPortOpen(false);
    port.setCommPort(1);
    port.setSettings(QStringLiteral("9600,N,8,1"));
    port.setPortOpen(true);
    gCommOK = port.portOpen();
    return gCommOK;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

struct Side {
    std::vector<double> wallUs;
    double cpuSeconds = 0;
};

// One timed exchange; false when it failed.
template <class F>
bool Timed(Side& side, F&& exchange)
{
    QElapsedTimer t;
    const double cpu0 = CpuSeconds();
    t.start();
    const bool ok = exchange();
    side.wallUs.push_back(t.nsecsElapsed() / 1e3);
    side.cpuSeconds += CpuSeconds() - cpu0;
    return ok;
}

int ExchangeTimes(int n)
{
    QTemporaryDir dir;
    const QString ours = dir.filePath("ours"), theirs = dir.filePath("theirs");
    QProcess socat, slave;
    socat.start("socat", {"pty,raw,echo=0,link=" + ours, "pty,raw,echo=0,link=" + theirs});
    for (int i = 0; i < 500 && !(QFileInfo::exists(ours) && QFileInfo::exists(theirs)); ++i)
        QThread::msleep(10);
    slave.start(QX_BENCH_SLAVE, {theirs, "1"});
    if (!slave.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the libmodbus slave did not start (is socat installed?)\n");
        return 1;
    }
    gPollTimeoutMs = 1000;
    // Both masters have the line open and take turns exchange by exchange, so
    // that whatever else the machine does falls on both alike; one waits
    // while the other talks, so neither sees the other's replies.
    if (!OpenOurPort(ours))
        return 1;
    modbus_t* ctx = modbus_new_rtu(ours.toLocal8Bit().constData(), 9600, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "libmodbus could not open the line: %s\n", modbus_strerror(errno));
        return 1;
    }
    QVector<float> v(2, 0);
    QString text;
    int code = 0;
    uint16_t reg = 0;
    Side mine, theirsSide;
    const auto ourRead = [&] {
        ModbusRead_R(1, 0, text, code, 1, 5, 3, 1, v);
        return code == 0;
    };
    const auto theirRead = [&] { return modbus_read_registers(ctx, 5, 1, &reg) == 1; };
    int rc = 0;
    for (int i = -20; i < n && rc == 0; ++i) {
        Side a, b; // warm-up exchanges are not counted
        Side& m = i < 0 ? a : mine;
        Side& t = i < 0 ? b : theirsSide;
        // Each goes first every other time.
        const bool ok = i % 2 == 0 ? Timed(m, ourRead) && Timed(t, theirRead)
                                   : Timed(t, theirRead) && Timed(m, ourRead);
        if (!ok) {
            std::fprintf(stderr, "a read failed: %s / %s\n", qPrintable(text), modbus_strerror(errno));
            rc = 1;
        }
    }
    modbus_close(ctx);
    modbus_free(ctx);
    CommPort().setPortOpen(false);
    if (rc == 0) {
        const double m = Median(mine.wallUs), t = Median(theirsSide.wallUs);
        std::printf("one-register RTU read over a pty, %d exchanges each, same libmodbus slave (median):\n", n);
        std::printf("  Quinrex3 ModbusRead_R   %8.1f us/exchange, CPU %5.1f us\n", m,
                    mine.cpuSeconds * 1e6 / n);
        std::printf("  libmodbus master        %8.1f us/exchange, CPU %5.1f us  (reference)\n", t,
                    theirsSide.cpuSeconds * 1e6 / n);
        std::printf("  ratio                   %8.2f  (at most 1.00 wanted)\n", m / t);
    }
    slave.kill();
    socat.kill();
    slave.waitForFinished();
    socat.waitForFinished();
    return rc;
}

int SilentInstrument(int timeoutMs)
{
    int master = -1, slaveFd = -1;
    char name[256];
    if (openpty(&master, &slaveFd, name, nullptr, nullptr) != 0)
        return 1;
    gPollTimeoutMs = timeoutMs;
    if (!OpenOurPort(QString::fromLocal8Bit(name)))
        return 1;
    QVector<float> v(2, 0);
    QString text;
    int code = 0;
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = CpuSeconds();
    ModbusRead_R(1, 0, text, code, 1, 5, 3, 1, v); // two attempts, both time out
    const double cpu = CpuSeconds() - cpu0;
    const double seconds = wall.elapsed() / 1000.0;
    std::printf("silent instrument, time-out %d ms, two attempts:\n", timeoutMs);
    std::printf("  waited %.2f s, CPU %.1f ms (%.2f%% of one core)  [%s]\n", seconds, cpu * 1e3,
                100 * cpu / seconds, qPrintable(text));
    CommPort().setPortOpen(false);
    close(master);
    close(slaveFd);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const BenchRun run(argc, argv);
    int rc = ExchangeTimes(run.count(5000, 200));
    rc |= SilentInstrument(run.pick(1000, 250));
    return rc;
}
