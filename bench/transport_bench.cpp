// Time per exchange of a one-register Modbus RTU read over a pseudo-terminal,
// our driver next to libmodbus's master against the same libmodbus slave, and
// the CPU time our driver spends while it waits for an instrument that never
// answers.
//
//   bench_transport [exchanges]     (default 500)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <modbus.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include "core/state.h"
#include "core/transports.h"
#include "platform/serialport.h"

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

// Microseconds per exchange of `n` reads of holding register 5, or -1.
double OurReads(int n)
{
    QVector<float> v(2, 0);
    QString text;
    int code = 0;
    QElapsedTimer t;
    for (int i = -10; i < n; ++i) {
        if (i == 0)
            t.start();
        ModbusRead_R(1, 0, text, code, 1, 5, 3, 1, v);
        if (code != 0) {
            std::fprintf(stderr, "our read failed: %s\n", qPrintable(text));
            return -1;
        }
    }
    return t.nsecsElapsed() / 1e3 / n;
}

double LibmodbusReads(const QString& device, int n)
{
    modbus_t* ctx = modbus_new_rtu(device.toLocal8Bit().constData(), 9600, 'N', 8, 1);
    if (!ctx || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0)
        return -1;
    uint16_t reg = 0;
    QElapsedTimer t;
    double result = -1;
    for (int i = -10; i < n; ++i) {
        if (i == 0)
            t.start();
        if (modbus_read_registers(ctx, 5, 1, &reg) != 1) {
            std::fprintf(stderr, "libmodbus read failed: %s\n", modbus_strerror(errno));
            goto done;
        }
    }
    result = t.nsecsElapsed() / 1e3 / n;
done:
    modbus_close(ctx);
    modbus_free(ctx);
    return result;
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
    if (!OpenOurPort(ours))
        return 1;
    const double mine = OurReads(n);
    CommPort().setPortOpen(false);
    const double theirsUs = LibmodbusReads(ours, n);
    std::printf("one-register RTU read over a pty, %d exchanges, same libmodbus slave:\n", n);
    std::printf("  Quinrex3 ModbusRead_R   %8.1f us/exchange\n", mine);
    std::printf("  libmodbus master        %8.1f us/exchange\n", theirsUs);
    slave.kill();
    socat.kill();
    slave.waitForFinished();
    socat.waitForFinished();
    return mine < 0 || theirsUs < 0;
}

int SilentInstrument()
{
    int master = -1, slaveFd = -1;
    char name[256];
    if (openpty(&master, &slaveFd, name, nullptr, nullptr) != 0)
        return 1;
    gPollTimeoutMs = 1000;
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
    std::printf("silent instrument, time-out 1000 ms, two attempts:\n");
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
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 500;
    int rc = ExchangeTimes(n);
    rc |= SilentInstrument();
    return rc;
}
