// The logging and set-point dialogs opened and closed again and again, as a
// supervisor left running for days uses them, against the simulator's
// demonstration line: every opening gives back what it took. Each opening
// runs from the event loop, as a key press does, and picks an instrument
// (the set-point dialog reads its values on the line) before its Close.
//
// The sanitizer build runs this program with leak checking on (ctest sets
// ASAN_OPTIONS and LSAN_OPTIONS, with tests/churn/lsan.supp for Qt's own
// one-time caches), so anything an opening loses fails it there; in every
// build the windows each opening made must be gone once it has closed.
#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <functional>
#include <malloc.h>
#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator keeps the figure (gcc installs no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "core/state.h"
#include "monitor/demo_line.h"
#include "monitor/frmLogging.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmViewLog.h"
#include "shell/frmMain.h"

using namespace modZarn;

namespace {

// The program's windows and controls alive now, by class name.
std::map<QString, int> liveWidgets()
{
    std::map<QString, int> live;
    for (QWidget* w : QApplication::allWidgets())
        ++live[QString::fromLatin1(w->metaObject()->className())];
    return live;
}

int live(const char* className) { return liveWidgets()[QString::fromLatin1(className)]; }

// Bytes the program holds on the heap now.
double heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return double(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks) + double(m.hblkhd);
#endif
}

class DialogChurn : public DemoLineTest {
protected:
    void SetUp() override
    {
        DemoLineTest::SetUp();
        addInstrument("32", "Z", 0, "Oven Zone 1");
        addInstrument("33", "R", 0, "Press");
        addInstrument("001", "R", 1, "Kiln");
        addInstrument("002", "A", 2, "Bath");
        frmMain().Show();
    }

    // `n` openings, each its own event of the loop; the loop also runs what
    // each left for it (deferred deletes) before the next.
    static void churn(int n, const std::function<void(int k)>& opening)
    {
        QEventLoop loop;
        int k = 0;
        std::function<void()> step = [&] {
            if (k == n) {
                QTimer::singleShot(0, &loop, &QEventLoop::quit);
                return;
            }
            opening(k++);
            QTimer::singleShot(0, &loop, step);
        };
        QTimer::singleShot(0, &loop, step);
        loop.exec();
    }

    // Presses `command`; `inside` runs from the loop of the window it opens.
    static void openAndRun(QAbstractButton* command, const std::function<void()>& inside)
    {
        QTimer::singleShot(0, qApp, inside);
        command->click();
    }

    void loggingOpening(int k)
    {
        openAndRun(frmMain().cmdLogging, [k] {
            FrmLogging& l = frmLogging();
            ASSERT_TRUE(l.isModalShown());
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&l)); // drawn, as the user sees it
            l.lstControls->setCurrentRow(k % 4);
            l.cmdClose->click();
        });
    }

    void setpointsOpening(int k)
    {
        openAndRun(frmMain().cmdSetpoints, [k] {
            FrmSetpoints& s = frmSetpoints();
            ASSERT_TRUE(s.isModalShown());
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
            s.lstControls->setListIndex(k % 4);
            s.cmdClose->click();
        });
    }
};

TEST_F(DialogChurn, LoggingAndSetpointDialogsLeaveNothingBehind)
{
    // The first openings make what the program keeps for good (fonts,
    // the style's own objects); from then on nothing may stay.
    churn(2, [this](int k) {
        loggingOpening(k);
        setpointsOpening(k);
    });
    const std::map<QString, int> before = liveWidgets();
    const double heapBefore = heapInUse();

    constexpr int kRounds = 30;
    churn(kRounds, [this](int k) {
        loggingOpening(k);
        setpointsOpening(k);
    });

    // Nor anything they kept elsewhere (a cache keyed by the windows' own
    // controls grew by tens of KB an opening); a few bytes may come and go.
    EXPECT_LT((heapInUse() - heapBefore) / (2 * kRounds), 2048.0) << "bytes kept per opening";
    EXPECT_FALSE(Forms::isLoaded<FrmLogging>());
    EXPECT_FALSE(Forms::isLoaded<FrmSetpoints>());
    EXPECT_EQ(live("FrmLogging"), 0);
    EXPECT_EQ(live("FrmSetpoints"), 0);
    EXPECT_EQ(liveWidgets(), before) << "every window and control an opening built is gone";
    EXPECT_EQ(mb::calls().size(), 0u) << "no opening met a failure";
    // The set-point dialog read each instrument it was shown on the line.
    EXPECT_FALSE(sim_.requests().empty());
}

TEST_F(DialogChurn, ViewsOpenedFromOneLoggingDialogGoAsEachCloses)
{
    // View Current again and again while the logging dialog stays open: each
    // snapshot window goes when it closes, not when the dialog does.
    gInstruments[0].LogState = 2;
    gInstruments[0].LogFile = file("oven.csv");
    writeFile("oven.csv", "12/07/2026 05:27:41 PM,72.5\r\n");
    int viewsAliveAtEnd = -1;
    openAndRun(frmMain().cmdLogging, [&] {
        FrmLogging& l = frmLogging();
        l.lstControls->setCurrentRow(0);
        ASSERT_TRUE(l.cmdView->isEnabled());
        churn(20, [&](int) {
            openAndRun(l.cmdView, [] {
                ASSERT_TRUE(frmViewLog().isModalShown());
                frmViewLog().cmdClose->click();
            });
        });
        viewsAliveAtEnd = live("FrmViewLog");
        l.cmdClose->click();
    });
    EXPECT_EQ(viewsAliveAtEnd, 0);
    churn(1, [](int) {});
    EXPECT_EQ(live("FrmLogging"), 0);
}

} // namespace
