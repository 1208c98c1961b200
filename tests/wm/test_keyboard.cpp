// The keyboard on a real desktop: an access key pressed after typing into a
// field completes the field first, as a click does; Tab enters a group of
// options at its chosen one; windows open where their tab order starts.
// Keys go to the widget that holds the focus of the active window, as the
// user's keys do. Run through scripts/with-wm; skipped without an X display.
#include <QApplication>
#include <QGuiApplication>
#include <algorithm>

#include "config/frmConfig.h"
#include "config/config_user.h"
#include "core/sysconfig.h"
#include "monitor/demo_line.h"
#include "monitor/frmGraphCfg.h"
#include "monitor/frmLogging.h"
#include "monitor/frmSetpoints.h"
#include "platform/builders.h"
#include "platform/filedialog.h"
#include "shell/frmCommSetup.h"
#include "shell/frmMain.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

enum class By { Key, Mouse };
const char* nameOf(By by) { return by == By::Key ? "access key" : "mouse"; }

bool onDesktop() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

// Brings the window to the front and waits until the window manager has given it the focus.
void activate(QWidget& w)
{
    w.raise();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

// Clicks into the field and types over its text.
void typeInto(QLineEdit* t, const QString& text)
{
    activate(*t->window());
    QTest::mouseClick(t, Qt::LeftButton, {}, QPoint(4, t->height() / 2));
    ASSERT_TRUE(t->hasFocus());
    QTest::keyClick(t, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(t, Qt::Key_Backspace);
    QTest::keyClicks(t, text);
}

// Presses Alt+<letter> where the focus is.
void accessKey(char letter)
{
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, Qt::Key(Qt::Key_A + (letter - 'a')), Qt::AltModifier);
}

// Presses the button as the user chooses to: its access key, or the mouse.
void press(By by, QAbstractButton* b, char letter)
{
    if (by == By::Key)
        accessKey(letter);
    else
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
}

// Opens the dialog, types into one of its fields and presses OK: the dialog closes.
template <class F>
void typeAndCommit(By by, TextBox* F::*field, const char* typed)
{
    F& f = Forms::get<F>();
    f.Show();
    typeInto(f.*field, QString::fromLatin1(typed));
    ASSERT_EQ((f.*field)->text(), typed);
    press(by, f.cmdOK, 'o');
    EXPECT_FALSE(Forms::isLoaded<F>());
}

class Keyboard : public QxTest {
protected:
    void SetUp() override
    {
        if (!onDesktop())
            GTEST_SKIP() << "needs an X display with a window manager (scripts/with-wm)";
        QxTest::SetUp();
    }
};

class KeyboardOnLine : public DemoLineTest {
protected:
    void SetUp() override
    {
        if (!onDesktop())
            GTEST_SKIP() << "needs an X display with a window manager (scripts/with-wm)";
        DemoLineTest::SetUp();
    }
};

TEST_F(Keyboard, CommSetupOkStoresTheClampedField)
{
    useSampleProgram();
    qputenv("QUINREX3_COM16", "/nonexistent/quinrex-tty");
    qputenv("QUINREX3_COM1", "/nonexistent/quinrex-tty");
    // field, typed, stored as
    const std::tuple<TextBox* FrmCommSetup::*, const char*, int* , int> rows[] = {
        {&FrmCommSetup::txtPollTimeout, "0", &gPollTimeoutMs, 1},
        {&FrmCommSetup::txtPollTimeout, "40000", &gPollTimeoutMs, 32767},
        {&FrmCommSetup::txtCommPort, "99", &gCommPort, 16},
        {&FrmCommSetup::txtCommPort, "-3", &gCommPort, 1},
    };
    for (By by : {By::Key, By::Mouse})
        for (const auto& [field, typed, global, stored] : rows) {
            SCOPED_TRACE(std::string(nameOf(by)) + " after " + typed);
            typeAndCommit(by, field, typed);
            EXPECT_EQ(*global, stored);
            ReadSystemConfig(); // what the file keeps
            EXPECT_EQ(*global, stored);
        }
}

TEST_F(Keyboard, LoggingStartAndCloseTakeTheClampedEntry)
{
    gCommOK = true;
    gDefaultFolder = programDir();
    gLogStatusText = {QStringLiteral("STARTED"), QStringLiteral("STOPPED"), QStringLiteral("FINISHED"), QString()};
    fd::setHandler([&](const fd::Request&) { return file("oven.csv"); });
    struct Row {
        bool rate;
        const char* typed;
        char key; // s: Start, l: Close
        float stored;
        const char* saved; // line of the record in Quinrex3.cfg: 5 duration, 7 rate
    };
    const Row rows[] = {
        {true, "5", 's', 5, " 5 "},
        {true, "0.01", 's', 0.1f, " .1 "},
        {false, "30000", 'l', 28800, " 28800 "},
        {false, "0", 's', 1, " 1 "},
    };
    for (By by : {By::Key, By::Mouse})
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(nameOf(by)) + " after " + r.typed);
            gInstruments.Clear();
            InstrumentRecord& rec = addInstrument("01", "", 0, QStringLiteral("Oven"));
            rec.LogDuration = 60;
            rec.LogRate = 1;
            rec.DurationUnits = rec.RateUnits = 1;
            FrmLogging& f = frmLogging();
            f.Show();
            activate(f);
            QListWidget* l = f.lstControls;
            QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(0)).center());
            QLineEdit* box = r.rate ? f.txtRate : f.txtDuration;
            typeInto(box, QString::fromLatin1(r.typed));
            QAbstractButton* b = r.key == 's' ? f.cmdStart : f.cmdClose;
            press(by, b, r.key);
            InstrumentRecord& now = gInstruments[0];
            EXPECT_EQ(r.rate ? now.LogRate : float(now.LogDuration), r.stored);
            EXPECT_EQ(now.LogState, r.key == 's' ? 1 : 0);
            const QStringList cfg = QString::fromUtf8(readFile("Quinrex3.cfg")).split(QStringLiteral("\r\n"));
            EXPECT_EQ(cfg.value(12 + (r.rate ? 7 : 5)), QString::fromLatin1(r.saved));
            if (Forms::isLoaded<FrmLogging>())
                frmLogging().Unload();
        }
    fd::clearHandler();
}

TEST_F(KeyboardOnLine, SetpointsUpdateRefusesAValueItCannotSend)
{
    addInstrument("001", "R", 1, QStringLiteral("Kiln"));
    for (By by : {By::Key, By::Mouse}) {
        SCOPED_TRACE(nameOf(by));
        FrmSetpoints& f = frmSetpoints();
        f.Show();
        activate(f);
        f.lstControls->setListIndex(0);
        typeInto(f.txtSV(0), QStringLiteral("12345"));
        sim_.clearLog();
        boxes_.clear();
        press(by, f.cmdUpdate, 'u');
        // Left as typed, refused in the dialog, nothing on the line.
        EXPECT_EQ(f.txtSV(0)->text(), "12345");
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_TRUE(boxes_.last().text.contains(QStringLiteral("outside the range -199.9 to 999.9")))
            << boxes_.last().text.toStdString();
        EXPECT_TRUE(sim_.requests().empty());
        f.Changed = false;
        f.Unload();
    }
}

TEST_F(Keyboard, GraphSetupOkKeepsTheTicksInRange)
{
    const std::tuple<TextBox* FrmGraphCfg::*, const char*, int*, int> rows[] = {
        {&FrmGraphCfg::txtXAxisTicks, "1", &gGraphXTicks, 5},
        {&FrmGraphCfg::txtYAxisTicks, "21", &gGraphYTicks, 5},
        {&FrmGraphCfg::txtYAxisTicks, "12", &gGraphYTicks, 12},
    };
    for (By by : {By::Key, By::Mouse})
        for (const auto& [field, typed, global, stored] : rows) {
            SCOPED_TRACE(std::string(nameOf(by)) + " after " + typed);
            gGraphXTicks = gGraphYTicks = 7;
            typeAndCommit(by, field, typed);
            EXPECT_EQ(*global, stored);
        }
}

TEST_F(Keyboard, ConfigurationFieldsCompleteBeforeTheNavigationRowActs)
{
    copySampleData();
    FrmConfig& f = cfguser::loadScreen(0, "R");
    f.Show();
    activate(f);
    cfguser::pick(f, f.cbxDecimalPoint(0), "0.0");
    gCfgField[262] = {0, 1, -1999, 9999};
    for (By by : {By::Key, By::Mouse}) {
        SCOPED_TRACE(nameOf(by));
        // The field is clamped when the question about leaving comes up.
        QString seen;
        mb::setHandler([&](const mb::Call& c) {
            if (c.title == QLatin1String("Changes Not Saved"))
                seen = f.txtParameter(262)->text();
            return int(mb::Cancel);
        });
        cfguser::showPageOf(f, f.txtParameter(262));
        typeInto(f.txtParameter(262), QStringLiteral("1234"));
        press(by, f.cmdMainMenu, 'm');
        EXPECT_EQ(seen, "999.9");
        EXPECT_TRUE(f.isVisible());

        // An immediate-write field answered No keeps the user on the field's screen:
        // the click is not made, and no question about leaving comes.
        boxes_.clear();
        mb::setHandler([](const mb::Call&) { return int(mb::No); });
        cfguser::showPageOf(f, f.txtParameter(258));
        typeInto(f.txtParameter(258), QStringLiteral("99"));
        press(by, f.cmdMainMenu, 'm');
        ASSERT_EQ(boxes_.count(), 1);
        EXPECT_EQ(boxes_.last().title, "Immediate Write of Parameter");
        EXPECT_TRUE(f.isVisible());
        boxes_.install();
    }
    f.Changed = false;
}

// A field whose LostFocus refuses stops the click, by key and by mouse alike;
// one that lets the focus go is completed before the click.
class Probe : public Form {
public:
    Probe()
    {
        resize(300, 120);
        field = ctl::textBox(this, QStringLiteral("txtField"), 120, 120, 1500, 330);
        button = ctl::button(this, QStringLiteral("cmdGo"), QStringLiteral("&Go"), 120, 900, 1200, 450);
        check = ctl::checkBox(this, QStringLiteral("chkOn"), QStringLiteral("&Keep"), 2400, 900, 1500, 330);
        field->LostFocus = [this] {
            events += "lost ";
            if (refuse == 1)
                field->setFocus();
            if (refuse == 2)
                mb::MsgBox(QStringLiteral("Not sent"), mb::Information, QStringLiteral("Warning"), this);
        };
        ctl::on(button, &QPushButton::clicked, "Click", [this] { events += "go "; });
        check->Click = [this] { events += "keep "; };
    }
    TextBox* field;
    CommandButton* button;
    CheckBox* check;
    int refuse = 0; // 0 lets go, 1 sets the focus back, 2 puts a box up
    std::string events;
};

TEST_F(Keyboard, ARefusingFieldStopsTheClick)
{
    Probe p;
    p.Show();
    // refusal, button (g: the button, k: the check box), events
    const std::tuple<int, char, const char*> rows[] = {
        {0, 'g', "lost go "},   {1, 'g', "lost "}, {2, 'g', "lost "},
        {0, 'k', "lost keep "}, {1, 'k', "lost "}, {2, 'k', "lost "},
    };
    for (By by : {By::Key, By::Mouse})
        for (const auto& [refuse, letter, events] : rows) {
            SCOPED_TRACE(std::string(nameOf(by)) + " refusal " + std::to_string(refuse) + " " + letter);
            p.refuse = 0;
            typeInto(p.field, QStringLiteral("1"));
            p.events.clear();
            p.refuse = refuse;
            QAbstractButton* b = letter == 'g' ? static_cast<QAbstractButton*>(p.button) : p.check;
            press(by, b, letter);
            EXPECT_EQ(p.events, events);
            // The press that was stopped leaves nothing half done: the next one clicks.
            if (refuse == 2) {
                p.events.clear();
                press(by, b, letter);
                EXPECT_EQ(p.events, letter == 'g' ? "go " : "keep ");
            }
        }
}

TEST_F(Keyboard, WindowsOpenAtTheirFirstStopAndTabEntersAnOptionGroupAtItsChoice)
{
    useSampleProgram();
    gControllerGroup = 2;
    gProtocolCode = "A";
    FrmCommSetup& s = frmCommSetup();
    s.Show();
    activate(s);
    QWidget* first = QApplication::focusWidget();
    EXPECT_EQ(first, s.txtCommPort);
    // Once round the window with Tab, then back with Shift+Tab.
    auto round = [&](Qt::Key key) {
        std::vector<QWidget*> stops;
        do {
            QTest::keyClick(QApplication::focusWidget(), key);
            stops.push_back(QApplication::focusWidget());
        } while (stops.back() != first && stops.size() < 200);
        return stops;
    };
    const std::vector<QWidget*> forth = round(Qt::Key_Tab);
    ASSERT_EQ(forth.back(), first);
    // Each group is one stop, at its chosen option: the group and protocol the settings name.
    for (const auto* options : {&s.optGlobalControllerGroup, &s.optGlobalProtocol, &s.optInstControllerGroup,
                                &s.OptInstProtocol}) {
        int stops = 0;
        for (const auto& [index, o] : options->items())
            stops += int(std::count(forth.begin(), forth.end(), o));
        EXPECT_EQ(stops, 1) << options->name().toStdString();
    }
    for (QWidget* w : forth)
        if (auto* o = qobject_cast<QRadioButton*>(w))
            EXPECT_TRUE(o->isChecked()) << o->text().toStdString();
    EXPECT_NE(std::find(forth.begin(), forth.end(), s.optGlobalControllerGroup(2)), forth.end());
    EXPECT_NE(std::find(forth.begin(), forth.end(), s.optGlobalProtocol(2)), forth.end());
    std::vector<QWidget*> back = round(Qt::Key_Backtab);
    std::reverse(back.begin(), back.end() - 1);
    EXPECT_EQ(back, forth);
    s.Changed = false;
    s.Unload();

    FrmConfig& c = cfguser::loadScreen(2, "A");
    c.Show();
    activate(c);
    EXPECT_EQ(QApplication::focusWidget(), c.cmdReadFile);
}

} // namespace
