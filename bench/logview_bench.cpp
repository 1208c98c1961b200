// The log view of "View Current" on logs of 10^5 and 10^6 lines (10^4 and
// 10^5 with --short or QX_BENCH_SHORT=1): time to the first screenful, time
// until every line is indexed, the longest time other events (the logging
// timer) waited meanwhile, and the memory the view added next to the file's
// size; then Ctrl+A, Ctrl+C: the time until the clipboard has every line,
// the longest wait of other events meanwhile and the memory the copy took at
// its peak and kept (the clipboard's text), next to the size of the text.
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <malloc.h>

#include "monitor/frmViewLog.h"
#include "bench_program.h"
#include "bench_run.h"

namespace {

// A log of a 0.1 s session: n lines of stamp and value.
qint64 writeLog(const QString& path, qint64 n)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return 0;
    QByteArray chunk;
    for (qint64 i = 0; i < n; ++i) {
        chunk += QStringLiteral("12/07/2026 05:%1:%2.%3 PM,%4\r\n")
                     .arg((i / 600) % 60, 2, 10, QLatin1Char('0'))
                     .arg((i / 10) % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 10)
                     .arg(20 + double(i % 1000) / 10)
                     .toLatin1();
        if (chunk.size() > (1 << 20))
            f.write(std::exchange(chunk, {}));
    }
    f.write(chunk);
    return f.size();
}

// The longest time between two turns of a zero timer while `busy` holds.
template <class F>
qint64 longestWaitWhile(F busy)
{
    QElapsedTimer t;
    t.start();
    qint64 longest = 0, last = 0;
    QTimer other;
    other.setInterval(0);
    QObject::connect(&other, &QTimer::timeout, [&] {
        const qint64 now = t.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    other.start();
    while (busy())
        QCoreApplication::processEvents();
    return std::max(longest, t.nsecsElapsed() - last);
}

// The peak of resident memory in MB since the last reset.
double peakMB() { return memoryMB("VmHWM"); }

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void press(QWidget* w, Qt::Key key)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::ControlModifier);
    QCoreApplication::sendEvent(w, &down);
}

void measure(const BenchProgram& program, qint64 lines, bool report = true)
{
    const QString path = program.filePath(QStringLiteral("log%1.csv").arg(lines));
    const qint64 bytes = writeLog(path, lines);
    FrmViewLog& view = frmViewLog();
    const double before = residentMB();

    QElapsedTimer t;
    t.start();
    view.txtLog->open(path);
    view.Show();
    view.repaint(); // the first screenful drawn
    const double first = t.nsecsElapsed() / 1e6;

    // Other events keep their turn while the rest is indexed.
    const qint64 longestWait = longestWaitWhile([&] { return view.txtLog->loading(); });
    const double all = t.nsecsElapsed() / 1e6;
    const double added = residentMB() - before;

    // Everything to the clipboard, as the keys do it.
    QGuiApplication::clipboard()->clear();
    malloc_trim(0);
    const double beforeCopy = residentMB();
    resetPeak();
    t.restart();
    press(view.txtLog, Qt::Key_A);
    press(view.txtLog, Qt::Key_C);
    const qint64 copyWait = longestWaitWhile([] { return LineView::copying(); });
    const double copyMs = t.nsecsElapsed() / 1e6;
    const double copyPeak = peakMB() - beforeCopy, copyKept = residentMB() - beforeCopy;
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    const qint64 textBytes = copied ? copied->data(QStringLiteral("text/plain")).size() : 0;

    if (report)
        std::printf("  %9lld lines, %7.1f MB file: first screenful %7.1f ms, all lines %7.1f ms, longest wait of "
                "other events %5.1f ms, memory added %6.1f MB (%.2f x the file)\n",
                static_cast<long long>(view.txtLog->lineCount()), bytes / 1048576.0, first, all,
                longestWait / 1e6, added, added * 1048576.0 / double(bytes));
    if (report)
        std::printf("  %9s  %7.1f MB text: copy all %7.1f ms, longest wait of other events %5.1f ms, memory at "
                    "the peak %6.1f MB (%.2f x the text), kept %6.1f MB\n",
                    "", textBytes / 1048576.0, copyMs, copyWait / 1e6, copyPeak,
                    copyPeak * 1048576.0 / double(std::max<qint64>(textBytes, 1)), copyKept);
    QGuiApplication::clipboard()->clear();
    view.Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QFile::remove(path);
    malloc_trim(0); // the next measurement starts from what is really in use
}

} // namespace

int main(int argc, char** argv)
{
    const BenchRun run(argc, argv);
    BenchProgram program(argc, argv);
    std::printf("View Current log view (targets: first screenful < 1000 ms, memory < 2 x the file; copy all: "
                "longest wait < 50 ms, memory < 3 x the text)\n");
    measure(program, 10, false); // fonts and the window first, so that they are not counted below
    const qint64 base = run.pick<qint64>(100'000, 10'000);
    for (const qint64 lines : {base, base * 10})
        measure(program, lines);
    return 0;
}
