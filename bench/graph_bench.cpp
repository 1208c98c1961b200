// The graph screen in demo mode with ten pens, sampled up to the point limit
// (10 pens x 12,799 points) on a fake clock: one sampling tick with few and
// with nearly all points held, the timed redraw of a full graph, and the
// process's resident memory with the full graph.
//
//   bench_graph [--short]     (short: the same graph, fewer repetitions)
#include <QElapsedTimer>
#include <QFile>
#include <QTimeZone>
#include <cstdio>

#include "core/helpers.h"
#include "core/state.h"
#include "monitor/frmGraph.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "bench_program.h"
#include "bench_run.h"

using namespace modZarn;

namespace {

const QDateTime kStart(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());
int gTick = 0;

// One due sampling tick: the clock moves on by the sample interval (0.1 s).
void dueTick(FrmGraph& g)
{
    ++gTick;
    Clock::setFake(kStart.addMSecs(qint64(gTick) * 100));
    g.tmrGraphSampling.tick();
}

// Mean time of n due ticks in milliseconds.
double tickMs(FrmGraph& g, int n)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        dueTick(g);
    return t.nsecsElapsed() / 1e6 / n;
}

} // namespace

int main(int argc, char** argv)
{
    BenchProgram program(argc, argv);
    const BenchRun run(argc, argv);
    gDefaultFolder = program.path();
    gDemoMode = true;
    mb::setHandler([](const mb::Call&) { return int(mb::OK); });
    Clock::setFake(kStart);
    for (int a = 1; a <= 10; ++a) {
        InstrumentRecord r;
        r.Address = AddressToText(1, a);
        r.Name = QStringLiteral("Oven %1").arg(a);
        r.Protocol = QStringLiteral("R");
        r.Group = 1;
        gInstruments.Append(r);
    }

    FrmGraph& g = frmGraph();
    g.Show();
    for (int i = 1; i <= FrmGraph::kPens; ++i)
        g.cbxControl(i)->setListIndex(i - 1);
    g.cbxSampleRate->setListIndex(0); // 0.1 s
    g.cbxDuration->setListIndex(g.cbxDuration->ListCount() - 1); // never stop
    g.cmdStartSampling->click();
    g.tmrGraphSampling.setEnabled(false); // ticks are run by hand
    g.tmrGraphRefresh.setEnabled(false);

    while (g.gphGraph->PointCount() < 1000)
        dueTick(g);
    const double tickFew = tickMs(g, run.pick(500, 50));
    while (g.gphGraph->PointCount() < 12200)
        dueTick(g);
    const double tickMany = tickMs(g, run.pick(500, 50));
    while (g.Sampling)
        dueTick(g);
    const int points = g.gphGraph->PointCount();

    // The timed redraw of the full graph (labels and chart).
    g.SetGraphLegends();
    QElapsedTimer t;
    t.start();
    const int redraws = run.pick(50, 5);
    for (int i = 0; i < redraws; ++i)
        g.SetGraphLegends();
    const double redraw = t.nsecsElapsed() / 1e6 / redraws;

    std::printf("graph screen, demo mode, %d pens x %d points\n", g.gphGraph->SetCount(), points);
    std::printf("  timed redraw of the full graph   %7.2f ms   target <= 10 ms\n", redraw);
    std::printf("  sampling tick, 1,000 points      %7.4f ms   target <= 1 ms\n", tickFew);
    std::printf("  sampling tick, 12,200 points     %7.4f ms   target <= 1 ms, no more than the line above\n", tickMany);
    std::printf("  resident memory, full graph      %7.1f MB   target < 150 MB\n", residentMB());
    return 0;
}
