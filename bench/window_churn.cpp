// Every window the program loads and unloads, opened and closed again and
// again through its own command, as a supervisor left running for days
// would: the resident memory each opening adds once the first ones have
// warmed the caches up. Buttons are pressed by their access keys once their
// window is the active one (shown and drawn), menu entries chosen, and each
// window is closed from inside its own loop by its own button (boxes and
// file dialogs as Escape would). Each opening runs from the event loop, as
// a key press does, so that what it leaves for the loop (deferred deletes)
// is done before the next. The line is the instrument simulator, so the
// dialogs find the port open.
//
//   bench_window_churn [--short] [openings]   (default 200, short 20; 10 first to warm up)
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <malloc.h>
#include <string>
#include <vector>

#include "config/frmConfig.h"
#include "core/helpers.h"
#include "core/state.h"
#include "monitor/frmGraph.h"
#include "monitor/frmGraphCfg.h"
#include "monitor/frmLogging.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmViewLog.h"
#include "shell/frmCommSetup.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"
#include "shell/frmRegister.h"
#include "shell/frmTerminal.h"
#include "shell/frmZarnLink.h"
#include "sim_line.h"
#include "sim-driver/simulator.h"
#include "bench_program.h"
#include "bench_run.h"

using namespace modZarn;

namespace {

constexpr int kWarmUp = 10;

// Runs the loop until `ready` holds (at most 5 s); false when it never did.
bool waitFor(const std::function<bool()>& ready)
{
    if (ready())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (ready())
            loop.quit();
    });
    poll.start(1);
    QTimer limit; // not a single shot: that would outlive the loop by seconds
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(5000);
    loop.exec();
    return ready();
}

// Waits until `w` is the active window, as the user sees a window before
// pressing anything in it; asks for it, as the window manager gives the
// focus back to the window under one that closed.
bool waitActive(QWidget* w)
{
    if (QApplication::activeWindow() != w)
        w->activateWindow();
    if (waitFor([w] { return QApplication::activeWindow() == w; }))
        return true;
    std::fprintf(stderr, "%s never became the active window\n", qPrintable(w->objectName()));
    return false;
}

// Presses the button as the user does: Alt and the letter its caption marks
// (a click where none is marked), in its window, which is active.
void pressNow(QAbstractButton* b)
{
    const QString caption = b->text();
    const qsizetype amp = caption.indexOf(QLatin1Char('&'));
    if (amp < 0 || amp + 1 >= caption.size()) {
        b->click();
        return;
    }
    QTest::keyClick(b->window(), Qt::Key(caption.at(amp + 1).toUpper().unicode()), Qt::AltModifier);
}

// The same once the button's window is active.
void press(QAbstractButton* b)
{
    waitActive(b->window());
    pressNow(b);
}

// Once `window` is active: runs `command`, and `close` from inside the loop
// of what the command brings up.
void openThenClose(QWidget* window, const std::function<void()>& command, const std::function<void()>& close)
{
    waitActive(window);
    QTimer::singleShot(0, qApp, close);
    command();
}

// The button's press, and `close` from inside the loop of what it brings up.
void pressThenClose(QAbstractButton* b, const std::function<void()>& close)
{
    openThenClose(b->window(), [b] { pressNow(b); }, close);
}

// Closes the box or file dialog that comes up, once it is active, as Escape
// would.
void dismissBox()
{
    QDialog* box = nullptr;
    waitFor([&] {
        box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        return box && QApplication::activeWindow() == box;
    });
    if (box)
        box->reject();
}

// `n` openings, each one its own event of the loop, as key presses are; the
// loop also runs what each opening left for it (deferred deletes).
void churn(const std::function<void()>& opening, int n)
{
    QEventLoop loop;
    int left = n;
    std::function<void()> step = [&] {
        if (left-- <= 0) {
            // One more turn, so that the last opening's leftovers are gone too.
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
            return;
        }
        opening();
        QTimer::singleShot(0, qApp, step);
    };
    QTimer::singleShot(0, qApp, step);
    loop.exec();
}

// Resident memory in KB, with what the allocator holds free given back
// first, so that the figure counts what is in use.
double residentKB()
{
    malloc_trim(0);
    return residentMB() * 1024;
}

// KB of resident memory added per opening, after the warm-up.
double addedPerOpening(const std::function<void()>& opening, int n)
{
    churn(opening, kWarmUp);
    const double before = residentKB();
    churn(opening, n);
    return (residentKB() - before) / n;
}

// The offscreen platform's word on every raise and size hint says nothing here.
void quietPlatform(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (!text.startsWith(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(text));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(&quietPlatform);
    BenchProgram program(argc, argv);
    const BenchRun run(argc, argv);
    const int n = run.count(200, 20);

    std::string line;
    for (int a = 1; a <= 4; ++a)
        line += "instrument " + std::to_string(a) + " group 0 protocol R\n";
    SimProcess sim;
    if (!OpenSimLine(sim, line))
        return 1;
    gDefaultFolder = program.path();
    gInstruments.Resize(4);
    for (int i = 0; i < 4; ++i) {
        InstrumentRecord& r = gInstruments[i];
        r.Address = AddressToText(0, i + 1);
        r.Name = QStringLiteral("Oven %1").arg(i + 1);
        r.Protocol = QStringLiteral("R");
        r.Group = 0;
        r.LogRate = 1;
        r.LogDuration = 60;
        r.LogState = 2; // a stopped session, whose log View Current shows
        r.LogFile = program.filePath(QStringLiteral("oven%1.csv").arg(i + 1));
    }
    QFile log(gInstruments[0].LogFile);
    if (log.open(QIODevice::WriteOnly))
        for (int k = 0; k < 200; ++k)
            log.write("12/07/2026 05:27:41 PM," + QByteArray::number(k) + "\r\n");
    log.close();

    FrmMain& m = frmMain();
    m.tmrLogging.setEnabled(false);
    m.Show();

    struct Figure {
        const char* name;
        double kb;
    };
    std::vector<Figure> figures;
    auto measure = [&](const char* name, const std::function<void()>& opening) {
        figures.push_back({name, addedPerOpening(opening, n)});
    };

    measure("Process Variable Logging", [&] { pressThenClose(m.cmdLogging, [] { press(frmLogging().cmdClose); }); });
    measure("Edit Setpoint Values", [&] { pressThenClose(m.cmdSetpoints, [] { press(frmSetpoints().cmdClose); }); });
    measure("Communications Setup", [&] {
        openThenClose(&m, [&] { m.mnuCommSetup->trigger(); }, [] { press(frmCommSetup().cmdCancel); });
    });
    measure("Register Access", [&] {
        openThenClose(&m, [&] { m.mnuCommRegister->trigger(); }, [] { press(frmRegister().cmdClose); });
    });
    measure("Zarn Link Access", [&] {
        openThenClose(&m, [&] { m.mnuZarnLink->trigger(); }, [] { press(frmZarnLink().cmdClose); });
    });
    measure("Terminal", [&] {
        openThenClose(&m, [&] { m.mnuCommTerm->trigger(); }, [] { press(frmTerminal().cmdClose); });
    });
    measure("Find Instruments", [&] {
        press(m.cmdFind);
        press(frmFind().cmdMainMenu);
    });

    // View Current, again and again within one opening of the logging
    // dialog, as one watches a log grow.
    double viewKb = 0;
    pressThenClose(m.cmdLogging, [&] {
        FrmLogging& l = frmLogging();
        l.lstControls->setCurrentRow(0);
        viewKb = addedPerOpening([&] { pressThenClose(l.cmdView, [] { press(frmViewLog().cmdClose); }); }, n);
        press(l.cmdClose);
    });
    figures.push_back({"View Current", viewKb});

    press(m.cmdGraph);
    measure("Graph Setup",
            [&] { pressThenClose(frmGraph().cmdGraphConfig, [] { press(frmGraphCfg().cmdCancel); }); });
    press(frmGraph().cmdMainMenu);

    measure("Configuration screen", [&] {
        press(m.cmdConfigureController);
        press(frmConfig().cmdMainMenu);
    });
    press(m.cmdConfigureController);
    FrmConfig& c = frmConfig();
    gDemoMode = true; // the read asks whether to leave demo mode first
    measure("Configuration question (message box)", [&] { pressThenClose(c.cmdReadControl, &dismissBox); });
    gDemoMode = false;
    measure("File dialog", [&] { pressThenClose(c.cmdReadFile, &dismissBox); });
    press(c.cmdMainMenu);

    std::printf("windows opened and closed %d times each (after %d to warm up): resident memory added per opening\n",
                n, kWarmUp);
    for (const Figure& f : figures)
        std::printf("  %-38s %7.2f KB   target 0 KB (at most 2 KB)\n", f.name, f.kb);
    return 0;
}
