// The trend chart at the program's point limit (10 pens x 12,799 points),
// offscreen at 1200 x 700: a redraw after a sampling tick, a redraw that
// rebuilds the whole plot, and one sampling tick (one point per pen into the
// store) with few and with all points held.
//
//   bench_chart [--short]     (short: the same chart, fewer repetitions)
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>

#include "platform/chart.h"
#include "bench_program.h"
#include "bench_run.h"

namespace {

constexpr int kPens = 10;
constexpr int kPoints = 12799;

void tick(Chart& c, int p)
{
    if (p > c.PointCount())
        c.setPointCount(p);
    for (int s = 1; s <= kPens; ++s) {
        c.setCurrentSet(s);
        c.setCurrentPoint(p);
        c.setXPosition(p - 1);
        c.setValue(float(1000 * s + 300 * std::sin(p / 200.0 + s)));
        c.setExtraValue(p % 997 == 0 ? 1 : 0);
    }
}

// Mean time of one call of f, in milliseconds, over n calls.
template <class F>
double meanMs(int n, F&& f)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        f(i);
    return t.nsecsElapsed() / 1e6 / n;
}

} // namespace

int main(int argc, char** argv)
{
    BenchProgram program(argc, argv);
    const BenchRun run(argc, argv);
    Chart chart;
    chart.resize(1200, 700);
    chart.show();
    chart.setSetCount(kPens);
    for (int s = 1; s <= kPens; ++s)
        chart.setLegendText(s, QStringLiteral("%1 R1 Pen %1").arg(s, 3, 10, QLatin1Char('0')));

    // A tick with few points held, then fill up to the limit.
    int p = 1;
    for (; p <= 1000; ++p)
        tick(chart, p);
    const double tickFew = meanMs(run.pick(2000, 200), [&](int i) { tick(chart, 1000 - i % 500); });
    for (; p <= kPoints - 200; ++p)
        tick(chart, p);
    chart.redraw();

    // Redraw after each tick: the new points join the plot, then it repaints.
    const double tickRedraw = meanMs(run.pick(199, 20), [&](int) {
        tick(chart, p++);
        chart.redraw();
    });
    const double tickFull = meanMs(run.pick(2000, 200), [&](int i) { tick(chart, kPoints - i % 500); });
    // A change to old points (a new time base) makes the plot take every point again.
    const double rebuild = meanMs(run.pick(20, 3), [&](int) {
        for (int s = 1; s <= kPens; ++s) {
            chart.setCurrentSet(s);
            chart.setXPositionOf(1, chart.XPositionOf(1));
        }
        chart.redraw();
    });
    const double redraw = meanMs(run.pick(50, 5), [&](int) { chart.redraw(); });

    std::printf("chart at %d pens x %d points, offscreen 1200x700\n", kPens, chart.PointCount());
    std::printf("  redraw (no new points)         %7.2f ms   target <= 10 ms\n", redraw);
    std::printf("  redraw after one tick          %7.2f ms   target <= 10 ms\n", tickRedraw);
    std::printf("  redraw taking every point anew %7.2f ms   target <= 10 ms\n", rebuild);
    std::printf("  sampling tick, 1,000 points    %7.4f ms   reference for the next line\n", tickFew);
    std::printf("  sampling tick, 12,799 points   %7.4f ms   target: no more than the line above\n", tickFull);
    return 0;
}
