// Time per probe of the instrument search against a silent line: every probe
// reopens the port and waits for a reply that never comes (two attempts of the
// poll time-out each). The CPU time over the run shows whether the wait blocks
// on the port or spins.
//
//   bench_find [--short] [addresses]     (default 8, short 2)
#include <QElapsedTimer>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

#include "core/helpers.h"
#include "core/startup.h"
#include "core/state.h"
#include "core/sysconfig.h"
#include "platform/app.h"
#include "platform/msgbox.h"
#include "shell/frmFind.h"

#include "sim-driver/pty.h"

#include "bench_program.h"
#include "bench_run.h"
#include "cpu_time.h"

using namespace modZarn;

int main(int argc, char** argv)
{
    BenchProgram program(argc, argv);
    const int addresses = BenchRun(argc, argv).count(8, 2);

    // A line with nobody on it: a pseudo-terminal whose master only listens.
    PtyPair line;
    line.bindCom(1);
    if (!line.ok())
        return 1;
    gCommPort = 1;
    gBaudRate = 9600;
    gParity = QStringLiteral("None");
    gDataBits = 8;
    gStopBits = 1;
    gPollTimeoutMs = 125;
    gControllerGroup = 0;
    bool failed = true;
    InitComm(CommSettingsString(), failed);
    if (failed) {
        std::fprintf(stderr, "cannot open %s\n", line.slavePath().c_str());
        return 1;
    }

    FrmFind& f = frmFind();
    f.Show();
    f.cbxStartAddress->setCurrentText(QStringLiteral("01"));
    f.cbxEndAddress->setCurrentText(AddressToText(0, addresses));
    f.cbxBaudRate->setCurrentText(QStringLiteral("9600"));
    f.OptInstProtocol(1)->setChecked(true); // Modbus RTU

    QElapsedTimer wall;
    const double cpu0 = CpuSeconds();
    wall.start();
    f.cmdStartSearch_Click();
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = CpuSeconds() - cpu0;

    std::printf("silent line, poll time-out %d ms, %d probes (two attempts each)\n", gPollTimeoutMs, addresses);
    std::printf("  time per probe   %8.1f ms   (bound: 2 x %d ms plus port reopening)\n",
                seconds * 1000 / addresses, gPollTimeoutMs);
    std::printf("  ratio            %8.3f      (reference: two attempts, %d ms; at most 1.10 wanted)\n",
                seconds * 1000 / addresses / (2.0 * gPollTimeoutMs), 2 * gPollTimeoutMs);
    std::printf("  CPU per probe    %8.2f ms   (%.1f%% of wall time)\n", cpu * 1000 / addresses,
                100 * cpu / seconds);
    std::printf("  outcome          %s\n", qPrintable(f.lblProgress->text()));
    return 0;
}
