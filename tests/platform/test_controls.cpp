// Controls with the one event rule, control arrays, the handler boundary,
// tab strips and the line view, driven as widgets on a shown window.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTabBar>
#include <stdexcept>

#include "platform/builders.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/lineview.h"
#include "platform/tabstrip.h"
#include "platform/twips.h"
#include "support/testenv.h"

namespace {
void clickAt(QWidget* w, QPoint p) { QTest::mouseClick(w, Qt::LeftButton, {}, p); }
void focus(QWidget* w)
{
    w->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
}

class ControlsTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        form = new QWidget;
        form->setObjectName("frmTest");
        form->resize(640, 480);
    }
    void TearDown() override
    {
        delete form;
        QxTest::TearDown();
    }
    void showForm()
    {
        form->show();
        form->activateWindow();
        QApplication::processEvents();
    }
    QWidget* form = nullptr;
};
} // namespace

TEST_F(ControlsTest, CodeSetValuesRaiseTheUsersEventOnlyWhenTheyChange)
{
    int clicks = 0, changes = 0;
    auto* list = new ListBox(form);
    auto* combo = new ComboBox(form);
    auto* check = new CheckBox("c", form);
    auto* a = new OptionButton("a", form);
    auto* b = new OptionButton("b", form);
    auto* text = new TextBox(form);
    for (const char* s : {"one", "two", "three"}) {
        list->AddItem(s);
        combo->AddItem(s);
    }
    list->Click = combo->Click = check->Click = b->Click = [&] { ++clicks; };
    text->Change = [&] { ++changes; };

    // Filling chooses nothing and raises nothing.
    EXPECT_EQ(list->ListIndex(), -1);
    EXPECT_EQ(combo->ListIndex(), -1);
    EXPECT_EQ(clicks, 0);

    struct Step {
        std::function<void()> set;
        int clicks, changes;
    } steps[] = {
        {[&] { list->setListIndex(1); }, 1, 0},
        {[&] { list->setListIndex(1); }, 0, 0},
        {[&] { list->setListIndex(-1); }, 1, 0},
        {[&] { combo->setListIndex(2); }, 1, 0},
        {[&] { combo->setText("one"); }, 1, 0},
        {[&] { check->setValue(1); }, 1, 0},
        {[&] { b->setValue(true); }, 1, 0},
        {[&] { a->setValue(true); }, 0, 0},   // b left the choice: no Click of b
        {[&] { text->setText("x"); }, 0, 1},
        {[&] { text->setText("x"); }, 0, 0},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        clicks = changes = 0;
        steps[i].set();
        EXPECT_EQ(clicks, steps[i].clicks) << "step " << i;
        EXPECT_EQ(changes, steps[i].changes) << "step " << i;
    }
    EXPECT_FALSE(b->Value());
    a->setValue(false);
    EXPECT_FALSE(a->Value() || b->Value()) << "code may clear the group's choice";
    EXPECT_EQ(rtErrorOf([&] { list->setListIndex(3); }), rt::ErrInvalidPropertyValue);
    EXPECT_EQ(rtErrorOf([&] { combo->setText("four"); }), rt::ErrInvalidPropertyValue);
    // Emptying is no choice either.
    clicks = 0;
    list->setListIndex(0);
    list->Clear();
    combo->Clear();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(list->ListIndex(), -1);
}

TEST_F(ControlsTest, AHandlerThatPutsTheLastChoiceBackRunsOnceMoreAndStops)
{
    auto* combo = new ComboBox(form);
    for (const char* s : {"ok", "ok too", "refused"})
        combo->AddItem(s);
    int runs = 0, accepted = 0;
    combo->Click = [&] {
        if (++runs > 10)
            return;
        if (combo->ListIndex() == 2)
            combo->setListIndex(accepted);
        else
            accepted = combo->ListIndex();
    };
    combo->setListIndex(1);
    runs = 0;
    combo->setListIndex(2);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(combo->ListIndex(), 1);
}

TEST_F(ControlsTest, ListTakingTheFocusChoosesNothingUntilTheUserDoes)
{
    auto* list = new ListBox(form);
    list->setGeometry(10, 10, 200, 120);
    auto* other = new TextBox(form);
    other->setGeometry(10, 200, 100, 22);
    for (const char* s : {"01 first", "02 second", "03 third"})
        list->AddItem(s);
    int clicks = 0;
    list->Click = [&] { ++clicks; };
    showForm();
    focus(list);
    EXPECT_EQ(list->ListIndex(), -1);
    EXPECT_EQ(clicks, 0);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->ListIndex(), 0) << "the first arrow press reaches the first entry";
    EXPECT_EQ(clicks, 1);
    clickAt(list->viewport(), list->visualItemRect(list->item(2)).center());
    EXPECT_EQ(list->ListIndex(), 2);
    EXPECT_EQ(clicks, 2);
}

TEST_F(ControlsTest, TabClickOnUserAndCodeChangesWithThePreviousTab)
{
    auto* strip = new TabStrip(form, {"General", "Control", "Comms"});
    tw::place(strip, 0, 1560, 9735, 4095);
    QList<int> previous;
    strip->Click = [&](int p) { previous << p; };
    // Visible is the control's own flag: not whether its page or window shows.
    auto* onSecond = new QLabel("x", strip->page(1));
    EXPECT_TRUE(ctl::Visible(onSecond)) << "before the window was ever shown";
    showForm();
    EXPECT_TRUE(ctl::Visible(onSecond) && !onSecond->isVisible());

    strip->setTab(2);
    strip->setTab(2);
    EXPECT_EQ(previous, QList<int>{0});
    EXPECT_TRUE(strip->page(2)->isVisible());
    auto* bar = strip->findChild<QTabBar*>();
    clickAt(bar, bar->tabRect(1).center());
    EXPECT_EQ(strip->Tab(), 1);
    EXPECT_EQ(previous, (QList<int>{0, 2}));

    // A disabled page keeps the user off, not the code; disabling the current
    // page leaves it current.
    strip->setTabEnabled(0, false);
    clickAt(bar, bar->tabRect(0).center());
    EXPECT_EQ(strip->Tab(), 1);
    strip->setTabEnabled(1, false);
    EXPECT_EQ(strip->Tab(), 1);
    strip->setTab(0);
    EXPECT_EQ(strip->Tab(), 0);
    EXPECT_EQ(previous, (QList<int>{0, 2, 1}));
}

TEST_F(ControlsTest, FailingHandlersOfArraysAndBuiltControlsShowOneBoxEach)
{
    ControlArray<QWidget> row;
    row.setName("row");
    row.build(form, {{0, ctl::Kind::CommandButton, 0, 0, 375, 255, "Cfg"},
                     {1, ctl::Kind::CheckBox, 400, 0, 900, 255, "On"},
                     {2, ctl::Kind::ComboBox, 1400, 0, 900, 315, ""}});
    QList<int> clicked;
    row.wire({.Click = [&](int i) {
        clicked << i;
        if (i == 0)
            rt::raise(rt::ErrSubscript);
        if (i == 1)
            throw std::runtime_error("bad reply");
    }});
    CommandButton* cmdGo = ctl::button(form, "cmdGo", "&Go", 300, 450, 1500, 450);
    EXPECT_EQ(cmdGo->geometry(), QRect(20, 30, 100, 30));
    ctl::on(cmdGo, &QPushButton::clicked, "Click", [] { throw std::bad_alloc(); });
    QAction mnuGo("Go");
    ctl::onClick(&mnuGo, form, "mnuGo", [] { throw std::runtime_error("no menu"); });

    static_cast<QPushButton*>(row(0))->click();
    static_cast<CheckBox*>(row(1))->click();
    static_cast<ComboBox*>(row(2))->AddItem("a");
    static_cast<ComboBox*>(row(2))->setListIndex(0);
    cmdGo->click();
    mnuGo.trigger();
    EXPECT_EQ(clicked, (QList<int>{0, 1, 2}));
    ASSERT_EQ(boxes_.count(), 4);
    EXPECT_EQ(boxes_.calls()[0].title, "Application Error");
    EXPECT_TRUE(boxes_.calls()[0].hadOwner);
    EXPECT_EQ(boxes_.calls()[0].text, "An application error has occurred:\rError Code 9 - Subscript out of range\r"
                                      "Routine - frmTest.row_Click");
    EXPECT_TRUE(boxes_.calls()[1].text.contains("Error Code 51 - bad reply"));
    EXPECT_TRUE(boxes_.calls()[2].text.endsWith("Error Code 7 - Out of memory\rRoutine - frmTest.cmdGo_Click"));
    EXPECT_TRUE(boxes_.calls()[3].text.endsWith("Error Code 51 - no menu\rRoutine - frmTest.mnuGo_Click"));

    // Table faults are found before a wrong control is kept.
    ControlArray<TextBox> texts;
    EXPECT_EQ(rtErrorOf([&] { texts.build(form, {{5, ctl::Kind::Label, 0, 0, 100, 100, "x"}}); }), rt::ErrTypeMismatch);
    EXPECT_FALSE(texts.exists(5));
    EXPECT_EQ(rtErrorOf([&] { row.build(form, {{1, ctl::Kind::Label, 0, 0, 100, 100, "x"}}); }),
              rt::ErrInvalidPropertyValue);
}

TEST_F(ControlsTest, AFailingTimerShowsOneBoxAtATimeAndKeepsRunning)
{
    int ticks = 0;
    Timer tmrPoll(50, [&] {
        ++ticks;
        rt::raise(rt::ErrDeviceIO);
    }, form);
    tmrPoll.setObjectName("tmrPoll");
    tmrPoll.setEnabled(true);
    // While the box is up the timer ticks twice more, failing each time.
    int nested = 0;
    mb::setHandler([&](const mb::Call&) {
        if (nested++ == 0) {
            tmrPoll.tick();
            tmrPoll.tick();
        }
        return int(mb::OK);
    });
    tmrPoll.tick();
    EXPECT_EQ(ticks, 3);
    ASSERT_EQ(mb::calls().size(), 1u);
    EXPECT_TRUE(mb::calls()[0].text.endsWith("Routine - frmTest.tmrPoll_Timer"));
    EXPECT_TRUE(tmrPoll.enabled());
    // Once that box is closed the next failure is shown again.
    tmrPoll.tick();
    EXPECT_EQ(mb::calls().size(), 2u);
}

TEST_F(ControlsTest, LineViewShowsTheFilesLinesAsTheyStoodWhenOpened)
{
    const std::pair<QByteArray, QStringList> files[] = {
        {"a,1\r\nb,2\r\n", {"a,1", "b,2"}},
        {"a\nb", {"a", "b"}},
        {"a\r\r\nb\rc\n\n", {"a", "", "b", "c", ""}},
        {"", {}},
    };
    LineView view;
    view.resize(300, 200);
    for (const auto& [bytes, lines] : files) {
        writeFile("log.csv", bytes);
        view.open(file("log.csv"));
        QFile more(file("log.csv"));
        ASSERT_TRUE(more.open(QIODevice::Append));
        more.write("appended after opening\r\n");
        more.close();
        view.finishLoading();
        EXPECT_EQ(view.lineCount(), lines.size()) << bytes.toStdString();
        for (int i = 0; i < lines.size(); ++i)
            EXPECT_EQ(view.line(i), lines[i]) << bytes.toStdString();
    }

    // Lines chosen with the mouse, or all of them, are copied as they are.
    writeFile("log.csv", "a,1\r\nb,2\r\nc,3 \xc2\xb0" "C\r\n");
    view.open(file("log.csv"));
    view.show();
    const auto copied = [&] {
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(runEventsUntil([] { return !LineView::copying(); }));
        return QGuiApplication::clipboard()->text();
    };
    const int row = view.fontMetrics().lineSpacing();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(5, row / 2));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(5, row + row / 2));
    EXPECT_EQ(copied(), "a,1\nb,2");
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(copied(), QString::fromUtf8("a,1\nb,2\nc,3 \u00b0C"));

    EXPECT_EQ(rtErrorOf([&] { view.open(file("none.csv")); }), rt::ErrFileNotFound);
    EXPECT_EQ(view.lineCount(), 0);
}
