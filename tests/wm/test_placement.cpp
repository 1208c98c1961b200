// Where screens and dialogs land under a real window manager: frames,
// decorations and placement are the window manager's, as on a user's
// desktop. Run through scripts/with-wm; without an X display the cases skip
// themselves. Where the windows stand is asked of the X server itself: Qt's
// own idea of a frame can lag behind the window manager's.
#include <QApplication>
#include <QGuiApplication>
#include <QTimer>
#include <memory>
#include <xcb/xcb.h>

#include <QMessageBox>
#include <QScreen>

#include "config/frmConfig.h"
#include "core/autosend.h"
#include "core/deffiles.h"
#include "monitor/frmGraph.h"
#include "monitor/frmMonitor.h"
#include "monitor/mdiMonitor.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"
#include "support/testenv.h"

namespace {
xcb_connection_t* x11() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection(); }
xcb_window_t root() { return xcb_setup_roots_iterator(xcb_get_setup(x11())).data->root; }
template <class T>
std::unique_ptr<T, void (*)(void*)> reply(T* r)
{
    return {r, free};
}

// The window manager's frame around the window: its outermost ancestor below the root.
xcb_window_t frameOf(QWidget& w)
{
    xcb_window_t win = xcb_window_t(w.winId());
    for (;;) {
        auto tree = reply(xcb_query_tree_reply(x11(), xcb_query_tree(x11(), win), nullptr));
        if (!tree || tree->parent == root() || tree->parent == XCB_NONE)
            return win;
        win = tree->parent;
    }
}
QPoint rootPos(xcb_window_t win)
{
    auto t = reply(xcb_translate_coordinates_reply(x11(), xcb_translate_coordinates(x11(), win, root(), 0, 0), nullptr));
    return t ? QPoint(t->dst_x, t->dst_y) : QPoint(-1, -1);
}
bool shown(xcb_window_t win)
{
    auto a = reply(xcb_get_window_attributes_reply(x11(), xcb_get_window_attributes(x11(), win), nullptr));
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}
QPoint frameAt(QWidget& w) { return rootPos(frameOf(w)); }
QRect frameRect(QWidget& w)
{
    const xcb_window_t f = frameOf(w);
    auto g = reply(xcb_get_geometry_reply(x11(), xcb_get_geometry(x11(), f), nullptr));
    return g ? QRect(rootPos(f), QSize(g->width, g->height)) : QRect();
}
QPoint clientAt(QWidget& w) { return rootPos(xcb_window_t(w.winId())); }
// Mapped in its frame, and the program has heard where (as it has by the
// time a user clicks anything).
bool onScreen(QWidget& w)
{
    return w.isVisible() && frameOf(w) != xcb_window_t(w.winId()) && shown(frameOf(w)) &&
           w.geometry().topLeft() == clientAt(w);
}

// Lets the window manager's answers in until `done` holds or 5 s pass.
template <class F>
bool settle(F done)
{
    return runEventsUntil(done, 5000);
}

// The frame once the window is mapped, placed, and still there a moment later.
QRect steady(QWidget& w)
{
    QRect last;
    const bool ok = settle([&] {
        const QRect now = onScreen(w) ? frameRect(w) : QRect();
        const bool still = !now.isNull() && now == last;
        last = now;
        return still;
    });
    return ok ? last : QRect();
}
QRect screenArea() { return QGuiApplication::primaryScreen()->geometry(); }
// Where a frame of `size` meant for `at` stands whole on the screen (one
// larger than the screen against its top or left edge).
QPoint wholeAt(QPoint at, QSize size)
{
    const QRect area = screenArea();
    return {qMax(area.left(), qMin(at.x(), area.right() + 1 - size.width())),
            qMax(area.top(), qMin(at.y(), area.bottom() + 1 - size.height()))};
}
std::string text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

// The next box, the real one, answered with Enter once it stands still; where
// it stood and where its owner stood meanwhile.
struct BoxSeen {
    QRect box, owner;
};
const BoxSeen& answerNextBox(std::function<QWidget&()> owner)
{
    static BoxSeen seen;
    seen = {};
    mb::clearHandler();
    QTimer::singleShot(0, [owner] {
        settle([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; });
        auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!b)
            return;
        seen.owner = steady(owner());
        seen.box = steady(*b);
        QTest::keyClick(b, Qt::Key_Return);
    });
    return seen;
}

// Moves a window's frame the way the user's drag does: the window manager
// moves it, and the program only hears of it afterwards.
void dragTo(QWidget& w, QPoint framePos)
{
    const char name[] = "_NET_MOVERESIZE_WINDOW";
    auto atom = reply(xcb_intern_atom_reply(x11(), xcb_intern_atom(x11(), 0, sizeof name - 1, name), nullptr));
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = xcb_window_t(w.winId());
    ev.type = atom->atom;
    // x and y given, north-west gravity (the frame's corner), sent as a pager would.
    ev.data.data32[0] = XCB_GRAVITY_NORTH_WEST | (1u << 8) | (1u << 9) | (2u << 12);
    ev.data.data32[1] = uint32_t(framePos.x());
    ev.data.data32[2] = uint32_t(framePos.y());
    xcb_send_event(x11(), 0, root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&ev));
    xcb_flush(x11());
}

class WmTest : public QxTest {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X display with a window manager (scripts/with-wm)";
        QxTest::SetUp();
    }
    // The main menu shown and standing still: its frame (empty when the
    // window manager put none on it).
    QRect showMain()
    {
        frmMain().Show();
        return steady(frmMain());
    }
    static constexpr const char* kNoFrame = "the window manager put no frame on the window";
};
} // namespace

TEST_F(WmTest, TheNewScreenTakesTheOldOnesPlaceOverRepeatedTrips)
{
    FrmMain& m = frmMain();
    m.Show();
    if (!settle([&] { return onScreen(m); }))
        GTEST_SKIP() << "the window manager put no frame on the window";
    FrmFind& f = frmFind();
    // Each screen is shown again after having been hidden: the case where a
    // frame border used to creep in per trip.
    for (int trip = 0; trip < 3; ++trip) {
        SCOPED_TRACE(trip);
        dragTo(m, QPoint(100 + 10 * trip, 50));
        ASSERT_TRUE(settle([&] { return frameAt(m) == QPoint(100 + 10 * trip, 50) && onScreen(m); }));
        const QPoint mainAt = frameAt(m);
        m.cmdFind->click();
        EXPECT_TRUE(settle([&] { return onScreen(f) && frameAt(f) == mainAt; }))
            << "search screen at " << frameAt(f).x() << "," << frameAt(f).y();

        const QPoint dragged(61 + 10 * trip, 46);
        dragTo(f, dragged);
        ASSERT_TRUE(settle([&] { return frameAt(f) == dragged && onScreen(f); }));
        const QPoint clientBefore = clientAt(f);
        f.cmdMainMenu->click();
        EXPECT_TRUE(settle([&] { return onScreen(m) && frameAt(m) == dragged; }))
            << "main menu at " << frameAt(m).x() << "," << frameAt(m).y();
        // Both screens wear the same frame, so the client areas agree too.
        EXPECT_EQ(clientAt(m), clientBefore);
        EXPECT_FALSE(f.isVisible());
        EXPECT_EQ(m.size(), QSize(640, 470)) << "each screen keeps its own size";
    }
}

TEST_F(WmTest, ADialogOpensCentredOverItsOpenerFrameIncluded)
{
    FrmMain& m = frmMain();
    if (showMain().isNull())
        GTEST_SKIP() << kNoFrame;
    dragTo(m, QPoint(200, 150));
    ASSERT_TRUE(settle([&] { return frameAt(m) == QPoint(200, 150) && onScreen(m); }));
    const std::pair<const char*, std::function<void()>> openers[] = {
        {"register access", [&] { m.mnuCommRegister->trigger(); }},
        {"register access again", [&] { m.mnuCommRegister->trigger(); }}, // shown and hidden before
        {"set-up", [&] { m.mnuCommSetup->trigger(); }},
        {"terminal", [&] { m.mnuCommTerm->trigger(); }},
        {"Zarn Link access", [&] { m.mnuZarnLink->trigger(); }},
        {"logging", [&] { m.cmdLogging->click(); }},
    };
    for (const auto& [name, open] : openers) {
        SCOPED_TRACE(name);
        QRect dialog;
        QTimer::singleShot(0, [&] {
            if (auto* d = qobject_cast<Form*>(QApplication::activeModalWidget())) {
                dialog = steady(*d);
                d->Hide();
            }
        });
        open();
        ASSERT_FALSE(dialog.isNull()) << "the dialog never stood still on the screen";
        // Centred over its opener, unless that would put it past the screen's edge.
        const QRect opener = frameRect(m);
        const QPoint off = dialog.topLeft() - wholeAt(opener.center() - QPoint(dialog.width() / 2, dialog.height() / 2), dialog.size());
        EXPECT_LE(off.manhattanLength(), 2) << "off by " << off.x() << "," << off.y();
        EXPECT_TRUE(screenArea().contains(dialog)) << text(dialog);
    }
}

// A screen larger than the one it replaces at the screen's lower right moves
// only as far as it takes to stand whole; the way back keeps its place.
TEST_F(WmTest, ALargerScreenMovesOnlyAsFarAsItMust)
{
    FrmMain& m = frmMain();
    const QRect main = showMain();
    if (main.isNull())
        GTEST_SKIP() << kNoFrame;
    const QRect area = screenArea();
    const QPoint lowRight = area.bottomRight() - QPoint(main.width() + 9, main.height() + 9);
    dragTo(m, lowRight);
    ASSERT_TRUE(settle([&] { return frameAt(m) == lowRight && onScreen(m); }));
    FrmGraph& g = frmGraph();
    m.cmdGraph->click();
    const QRect graph = steady(g);
    EXPECT_EQ(graph.topLeft(), wholeAt(lowRight, graph.size())) << text(graph);
    EXPECT_TRUE(area.contains(graph)) << text(graph);
    g.cmdMainMenu->click();
    EXPECT_EQ(steady(m).topLeft(), graph.topLeft());
}

// Cfg on a monitor row opens the configuration screen whole on the screen,
// over the monitor; a request it refuses ("Protocol Does Not Match") brings
// the monitor back, active and polling, once the box is answered.
TEST_F(WmTest, CfgOpensTheConfigurationScreenAndARefusalGivesTheMonitorBack)
{
    using namespace modZarn;
    copySampleData();
    ReadModelFile();
    gDemoMode = true;
    gCommOK = true;
    gPVPollSeconds = 0.05f;
    gSPPollSeconds = 0.05f;
    gProtocolCode = QStringLiteral("Z");
    addInstrument("01", "R", 0, QStringLiteral("Oven"));
    if (showMain().isNull())
        GTEST_SKIP() << kNoFrame;
    frmMain().cmdMonitor->click();
    MdiMonitor& monitor = mdiMonitor();
    FrmMonitor& rows = frmMonitor();
    const QRect shown = steady(monitor);
    EXPECT_TRUE(screenArea().contains(shown)) << text(shown);
    rows.cbxControl(0)->setListIndex(0);
    ASSERT_TRUE(settle([&] { return rows.cmdRampCfg(0)->isVisible(); })) << "the poll never reached the row";

    const BoxSeen& seen = answerNextBox([] () -> QWidget& { return frmConfig(); });
    rows.cmdRampCfg(0)->click();
    ASSERT_FALSE(seen.box.isNull()) << "no box";
    const QRect config = seen.owner;
    EXPECT_TRUE(screenArea().contains(config)) << text(config);
    const QPoint overMonitor = wholeAt(shown.center() - QPoint(config.width() / 2, config.height() / 2), config.size());
    EXPECT_LE((config.topLeft() - overMonitor).manhattanLength(), 2) << text(config);
    EXPECT_LE((seen.box.center() - config.center()).manhattanLength(), 2) << "box at " << text(seen.box);

    rows.lblTempText(0)->clear();
    // Once the window manager's own focus changes are through, the monitor
    // is still the active window and it polls.
    EXPECT_TRUE(settle([&] {
        return monitor.isVisible() && Forms::active() == &monitor && QGuiApplication::focusWindow() == monitor.windowHandle() &&
               !rows.lblTempText(0)->text().isEmpty();
    })) << "monitor shown " << monitor.isVisible() << ", active form " << (Forms::active() ? Forms::active()->objectName().toStdString() : "none");
    runEventsUntil([] { return false; }, 500);
    EXPECT_TRUE(monitor.isVisible());
    EXPECT_EQ(Forms::active(), &monitor);
    EXPECT_TRUE(rows.tmrPoll.enabled());
    EXPECT_TRUE(frmConfig().isVisible()) << "the refusing screen stays where it was";
}

// The command line's send belongs to the configuration screen it opens: its
// boxes stand over that screen.
TEST_F(WmTest, TheCommandLineSendsBoxesStandOverTheConfigurationScreen)
{
    copySampleData();
    modZarn::ReadModelFile();
    if (showMain().isNull())
        GTEST_SKIP() << kNoFrame;
    const BoxSeen& seen = answerNextBox([] () -> QWidget& { return frmConfig(); });
    EXPECT_THROW(modZarn::AutoSendParameterFile(QStringLiteral("Missing.csv 01")), ProgramEnded);
    ASSERT_FALSE(seen.box.isNull()) << "no box";
    EXPECT_TRUE(screenArea().contains(seen.owner)) << text(seen.owner);
    EXPECT_LE((seen.box.center() - seen.owner.center()).manhattanLength(), 2) << "box at " << text(seen.box);
}
