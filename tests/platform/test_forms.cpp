// Window life cycle: loading, activation through real focus changes (also
// of the multiple-document window), modal dialogs and their placement.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QFontMetricsF>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>
#include <memory>
#include <utility>

#include "platform/boxtext.h"
#include "platform/builders.h"
#include "platform/controls.h"
#include "platform/filedialog.h"
#include "platform/form.h"
#include "platform/mdi.h"
#include "platform/msgbox.h"
#include "support/testenv.h"

namespace {
struct Recorder : Form {
    QStringList* log;
    QString name;
    int cancelUnload = 0;
    Recorder() = default;
    void Form_Load() override { if (log) log->append(name + ":load"); }
    void Form_Activate() override { log->append(name + ":activate"); }
    void Form_Deactivate() override { log->append(name + ":deactivate"); }
    void Form_Unload(int& cancel) override
    {
        log->append(name + ":unload");
        cancel = cancelUnload;
    }
};
QStringList* gLog = nullptr;
struct FormA : Recorder { FormA() { log = gLog; name = "A"; } };
struct FormB : Recorder { FormB() { log = gLog; name = "B"; } };

struct Child : MdiChildForm {
    int cancelUnload = 1;
    QLineEdit* field = new QLineEdit(this);
    void Form_Activate() override { gLog->append("child:activate"); }
    void Form_Deactivate() override { gLog->append("child:deactivate"); }
    void Form_Unload(int& cancel) override
    {
        gLog->append("child:unload");
        cancel = cancelUnload;
        // As the monitor does: closing the child hides the whole window.
        if (cancel)
            mdiParent()->Hide();
    }
};
struct Parent : MdiForm {
    void Form_Load() override { Forms::get<Child>().setMdiParent(*this); }
    void Form_Activate() override { gLog->append("parent:activate"); }
    void Form_Deactivate() override { gLog->append("parent:deactivate"); }
};

// Lets the platform deliver the focus change to `w`; true once it has.
bool focusReaches(QWidget& w)
{
    w.activateWindow();
    for (int i = 0; i < 50 && QGuiApplication::focusWindow() != w.windowHandle(); ++i)
        QApplication::processEvents();
    QApplication::processEvents();
    return QGuiApplication::focusWindow() == w.windowHandle();
}

class FormTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        gLog = &log;
    }
    QStringList log;
};
} // namespace

TEST_F(FormTest, ActivationMovesBetweenOwnWindowsOnly)
{
    FormA& a = Forms::get<FormA>();
    FormB& b = Forms::get<FormB>();
    a.Show();
    b.Show();
    EXPECT_EQ(log, (QStringList{"A:load", "B:load", "A:activate", "A:deactivate", "B:activate"}));
    log.clear();
    // A real message box of the active window takes the focus but does not
    // deactivate the window.
    mb::setHandler(nullptr);
    bool boxHadFocus = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (QGuiApplication::focusWindow() == box->windowHandle()) {
                boxHadFocus = true;
                box->defaultButton()->click();
            }
        }
    });
    poll.start(1);
    EXPECT_EQ(mb::MsgBox("hello", mb::OKOnly, "T", &b), mb::OK);
    poll.stop();
    EXPECT_TRUE(boxHadFocus);
    EXPECT_TRUE(focusReaches(b));
    EXPECT_TRUE(log.isEmpty()) << log.join(' ').toStdString();
    EXPECT_EQ(Forms::active(), &b);
    // Showing the active window again fires nothing.
    b.Show();
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(FormTest, BoxesAnswerEnterWithTheirDefaultButtonAndEscapeWithTheLast)
{
    FormA& a = Forms::get<FormA>();
    a.Show();
    // Every style the program shows, with the answer to Enter and to Escape.
    struct Row {
        int style, enter, escape;
    };
    const Row rows[] = {
        {mb::OKOnly, mb::OK, mb::OK},
        {mb::Critical, mb::OK, mb::OK},
        {mb::YesNo, mb::Yes, mb::No},
        {mb::YesNo | mb::Question | mb::DefaultButton2, mb::No, mb::No},
        {mb::YesNoCancel | mb::Question | mb::DefaultButton2, mb::No, mb::Cancel},
        {mb::YesNoCancel | mb::DefaultButton3, mb::Cancel, mb::Cancel},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.style);
        EXPECT_EQ(mb::defaultAnswer(r.style), r.enter); // what an unanswered box gives in tests
        for (const auto& [key, answer] : {std::pair{Qt::Key_Return, r.enter}, std::pair{Qt::Key_Escape, r.escape}}) {
            RealBoxKeys keys(key);
            EXPECT_EQ(mb::MsgBox("q", r.style, "T", &a), answer) << key;
            EXPECT_EQ(keys.titles.size(), 1);
        }
    }
}

// A box shows its whole text: a run without a blank longer than a line (an
// endless line cut to its start and end, a quoted path) breaks where the
// line is full instead of running past the box's edge, never inside one
// character, while words of ordinary length wrap whole.
TEST_F(FormTest, BoxesShowALongRunWithoutBlanksWholeAndKeepWordsWhole)
{
    FormA& a = Forms::get<FormA>();
    a.Show();
    const QString bold = QStringLiteral("\U0001D400"); // one letter in two halves
    struct Row {
        const char* name;
        QString text;
        bool breaksWords;
    };
    const Row rows[] = {
        {"endless line", QStringLiteral("Line refused: ") + QString(700, QLatin1Char('x')) + QStringLiteral("\rRoutine - Load"), true},
        {"pairs and marks", bold.repeated(60) + QLatin1Char(' ') + QStringLiteral("e\u0301").repeated(60), true},
        {"sentence", QStringLiteral("Warning: Another instance of this program is already running on this computer.  "
                                    "Do you want to continue ?  (If yes then you must run the programs out of different "
                                    "directories and select different serial comm ports.)"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QStringList lines;
        QRect column;
        QFont font;
        bool whole = false;
        const RealBoxes boxes([&](QMessageBox* box) {
            if (auto* text = box->findChild<mb::BoxText*>(); text && text->isVisible()) {
                lines = text->shownLines();
                column = text->contentsRect();
                font = text->font();
                whole = box->rect().contains(text->geometry());
            }
            box->defaultButton()->click();
        });
        mb::MsgBox(row.text, mb::Critical, "T", &a);
        ASSERT_FALSE(column.isEmpty());
        EXPECT_TRUE(whole) << "the text stands beyond the box's edge";
        const QString shown = QString(mb::calls().back().text).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        // Line by line, every character in its order; a line that ends
        // neither its paragraph nor at a blank broke a word.
        qsizetype at = 0;
        bool brokenInWord = false;
        for (const QString& line : lines) {
            EXPECT_EQ(shown.mid(at, line.size()), line);
            at += line.size();
            QString ink = line;
            while (ink.endsWith(QLatin1Char(' ')))
                ink.chop(1);
            EXPECT_LE(QFontMetricsF(font).horizontalAdvance(ink), column.width()) << line.toStdString();
            if (!line.isEmpty())
                EXPECT_FALSE(line[0].isLowSurrogate() || line[0].isMark()) << "a break inside a character at " << at;
            if (at < shown.size() && shown[at] == QLatin1Char('\n'))
                ++at;
            else if (at < shown.size() && ink.size() == line.size())
                brokenInWord = true;
        }
        EXPECT_EQ(at, shown.size());
        EXPECT_EQ(brokenInWord, row.breaksWords);
    }
}

// What is copied out of a box is its text as given: all of it selected, a
// path taken with a double click, Ctrl+C with nothing selected (the whole box,
// as Qt's boxes copy it), and what a screen reader reads.
TEST_F(FormTest, WhatIsCopiedOutOfABoxIsItsText)
{
    FormA& a = Forms::get<FormA>();
    a.Show();
    const QString path = "/data/" + QString(150, QLatin1Char('f')) + "/Run & Soak.csv";
    const QString given = "The log file cannot be written:\r" + path;
    QString all, run, box, read;
    const RealBoxes boxes([&](QMessageBox* b) {
        auto* text = b->findChild<mb::BoxText*>();
        ASSERT_TRUE(text);
        const auto copied = [&](QWidget* to, auto... keys) {
            QGuiApplication::clipboard()->clear();
            (QTest::keyClick(to, keys, Qt::ControlModifier), ...);
            return QGuiApplication::clipboard()->text();
        };
        box = copied(QApplication::focusWidget(), Qt::Key_C);
        QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(1, 1));
        all = copied(text, Qt::Key_A, Qt::Key_C);
        // On the path's first line, the second of the text.
        const int secondLine = text->contentsRect().top() + QFontMetrics(text->font()).lineSpacing() * 3 / 2;
        QTest::mouseDClick(text, Qt::LeftButton, {}, QPoint(4, secondLine));
        run = copied(text, Qt::Key_C);
        if (QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(text))
            read = reader->text(QAccessible::Name);
        b->defaultButton()->click();
    });
    mb::MsgBox(given, mb::Critical, "Application Error", &a);
    const QString shown = QString(given).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    EXPECT_EQ(all, shown);
    EXPECT_EQ(run, "/data/" + QString(150, QLatin1Char('f')) + "/Run");
    EXPECT_EQ(read, shown);
    const QString rule = "---------------------------\n";
    EXPECT_EQ(box, rule + "Application Error\n" + rule + shown + "\n" + rule + "OK\n" + rule);
}

// A change of style (the desktop's theme) lays a box out anew: its text
// stays in its place, whole within the box.
TEST_F(FormTest, ABoxKeepsItsTextWholeThroughAChangeOfStyle)
{
    FormA& a = Forms::get<FormA>();
    a.Show();
    bool whole = false;
    const std::unique_ptr<QStyle> style(QStyleFactory::create(QStringLiteral("Windows")));
    const RealBoxes boxes([&](QMessageBox* box) {
        box->setStyle(style.get());
        QCoreApplication::processEvents();
        const auto* text = box->findChild<mb::BoxText*>();
        whole = text && text->isVisible() && box->layout()->indexOf(text) >= 0
                && box->rect().contains(text->geometry());
        box->defaultButton()->click();
    });
    mb::MsgBox(QStringLiteral("Line refused: ") + QString(700, QLatin1Char('x')), mb::Critical, "T", &a);
    EXPECT_TRUE(whole);
}

TEST_F(FormTest, ModalDialogReturnsWhenHiddenAndReactivatesTheOpener)
{
    FormA& a = Forms::get<FormA>();
    FormB& b = Forms::get<FormB>();
    a.Show();
    log.clear();
    QTimer::singleShot(0, &b, [&] {
        EXPECT_TRUE(b.isModalShown());
        b.Hide();
    });
    b.ShowModal();
    EXPECT_FALSE(b.isModalShown());
    EXPECT_EQ(log, (QStringList{"A:deactivate", "B:activate", "B:deactivate", "A:activate"}));
}

// A modal window hidden and shown again within one batch of events stays
// the open modal window; once hidden for good every other window takes the
// mouse again.
TEST_F(FormTest, AModalWindowShownAgainStaysOpenAndReleasesTheOthersOnceHidden)
{
    FormA& a = Forms::get<FormA>();
    FormB& b = Forms::get<FormB>();
    auto* go = new QPushButton("Go", &a);
    int clicks = 0;
    QObject::connect(go, &QPushButton::clicked, [&] { ++clicks; });
    a.Show();
    QTimer::singleShot(0, &b, [&] {
        b.Hide();
        b.Show();
        QTimer::singleShot(0, &b, [&] { b.Hide(); });
    });
    b.ShowModal();
    ASSERT_TRUE(runEventsUntil([&] { return b.isHidden(); }));
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
    QTest::mouseClick(a.windowHandle(), Qt::LeftButton, {}, go->mapTo(&a, go->rect().center()));
    EXPECT_EQ(clicks, 1);
}

TEST_F(FormTest, RealFocusChangesActivateTheRightFormOnce)
{
    // Shown with Qt's own calls: the events can only come from the focus path.
    FormA& a = Forms::get<FormA>();
    Parent& p = Forms::get<Parent>();
    Child& c = Forms::get<Child>();
    a.show();
    ASSERT_TRUE(focusReaches(a));
    p.show();
    c.show();
    ASSERT_TRUE(focusReaches(p));
    EXPECT_EQ(Forms::active(), &p);
    c.field->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(focusReaches(a));
    ASSERT_TRUE(focusReaches(p));
    EXPECT_EQ(log.join(' '), "A:load A:activate A:deactivate parent:activate parent:deactivate A:activate "
                             "A:deactivate parent:activate");
}

TEST_F(FormTest, CodeShowingAFormOutranksAFocusChangeToTheWindowBefore)
{
    // A handler that runs right after the focus came to A shows B while the
    // check for A is still queued; or the window manager hands the focus back
    // to a closed box's owner after the handler has shown another window.
    FormA& a = Forms::get<FormA>();
    FormB& b = Forms::get<FormB>();
    a.Show();
    for (const bool leftover : {false, true}) {
        SCOPED_TRACE(leftover ? "focus handed back" : "check pending");
        ASSERT_TRUE(focusReaches(a));
        b.Hide();
        log.clear();
        if (!leftover)
            emit qApp->focusWindowChanged(a.windowHandle());
        b.Show();
        if (leftover) {
            a.activateWindow();
            for (int i = 0; i < 20; ++i)
                QApplication::processEvents();
            EXPECT_EQ(QGuiApplication::focusWindow(), b.windowHandle()) << "the shown window asks again";
        } else {
            ASSERT_TRUE(focusReaches(b));
        }
        EXPECT_EQ(Forms::active(), &b);
        EXPECT_EQ(log.join(' '), "A:deactivate B:activate");
        // Later focus changes are followed again.
        ASSERT_TRUE(focusReaches(a));
        EXPECT_EQ(Forms::active(), &a);
    }
}

TEST_F(FormTest, ChildShowsInItsParentAndItsCloseBoxRunsItsOwnUnload)
{
    FormA& a = Forms::get<FormA>();
    a.Show();
    Parent& p = Forms::get<Parent>();
    Child& c = Forms::get<Child>();
    log.clear();
    c.Show();
    EXPECT_TRUE(p.isVisible() && c.isVisible());
    EXPECT_EQ(c.window(), &p);
    EXPECT_EQ(p.area()->subWindowList().size(), 1);
    EXPECT_EQ(log, (QStringList{"A:deactivate", "parent:activate"}));

    // The child refuses and hides its parent instead.
    log.clear();
    c.subWindow()->close();
    EXPECT_EQ(log, (QStringList{"child:unload", "parent:deactivate"}));
    EXPECT_TRUE(Forms::isLoaded<Child>());
    EXPECT_FALSE(p.isVisible());
    c.Show();
    EXPECT_TRUE(p.isVisible() && c.subWindow()->isVisible());

    // An accepted unload takes the child's frame along.
    c.cancelUnload = 0;
    c.subWindow()->close();
    for (int i = 0; i < 2; ++i) // the child, then its frame
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(Forms::isLoaded<Child>());
    EXPECT_TRUE(p.area()->subWindowList().isEmpty());
}

TEST_F(FormTest, AFailingFormEventShowsOneBoxAndTheFormGoesOn)
{
    // A load that fails outright, one that still guards itself, and failing
    // activation and unload.
    struct FailingLoad : Form {
        FailingLoad() { setObjectName("frmFailing"); }
        void Form_Load() override { throw std::bad_alloc(); }
    };
    struct SelfGuarded : Form {
        SelfGuarded() { setObjectName("frmGuarded"); }
        void Form_Load() override { ctl::guard(this, "frmGuarded.Form_Load", [] { rt::raise(rt::ErrFileNotFound); }); }
    };
    struct Failing : Form {
        Failing() { setObjectName("frmFailing"); }
        void Form_Activate() override { rt::raise(rt::ErrFileNotFound); }
        void Form_Unload(int&) override { throw std::runtime_error("disk gone"); }
    };
    Forms::get<FailingLoad>().Show();
    Forms::get<SelfGuarded>().Show();
    EXPECT_TRUE(Forms::isLoaded<FailingLoad>() && Forms::isLoaded<SelfGuarded>());
    FormA& a = Forms::get<FormA>();
    a.Show();
    Failing& f = Forms::get<Failing>();
    f.Show();
    EXPECT_EQ(Forms::active(), &f);
    EXPECT_TRUE(log.contains("A:deactivate"));
    f.close();
    const QStringList says = {"Error Code 7 - Out of memory\rRoutine - frmFailing.Form_Load",
                              "Error Code 53 - File not found\rRoutine - frmGuarded.Form_Load",
                              "Error Code 53 - File not found\rRoutine - frmFailing.Form_Activate",
                              "Error Code 51 - disk gone\rRoutine - frmFailing.Form_Unload"};
    ASSERT_EQ(boxes_.count(), says.size());
    for (int i = 0; i < says.size(); ++i)
        EXPECT_TRUE(boxes_.calls()[i].text.endsWith(says[i])) << boxes_.calls()[i].text.toStdString();
}

namespace {
// A window whose Go button asks with a box or a file dialog and then goes on
// with its own members, as the program's handlers do.
struct Asking : Form {
    bool useFileDialog = false;
    int clicks = 0;
    int answer = 0;
    QString chosen = "unset";
    QPushButton* cmdGo = new QPushButton("Go", this);
    Asking()
    {
        ctl::on(cmdGo, &QPushButton::clicked, "Click", [this] {
            ++clicks;
            if (useFileDialog)
                chosen = fd::ask(fd::Request{fd::Open, "Open", "All Files (*)", QDir::tempPath(), {}}, this);
            else
                answer = mb::MsgBox("Go on?", mb::YesNo | mb::DefaultButton2 | mb::Question, "Q", this);
        });
    }
};
} // namespace

// Unloaded from a timer while its box or file dialog is open, a window closes
// it first with its cancel answer; it is deleted only once the handler under
// the box is through. A press into it from the box's loop does nothing.
TEST_F(FormTest, AWindowUnloadedUnderItsOwnBoxOrDialogClosesItAndOutlivesItsHandler)
{
    mb::setHandler(nullptr);
    fd::clearHandler();
    for (const bool fileDialog : {false, true}) {
        SCOPED_TRACE(fileDialog ? "file dialog" : "box");
        Asking& f = Forms::get<Asking>();
        f.useFileDialog = fileDialog;
        f.Show();
        QPointer<Asking> alive = &f;
        int step = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!QApplication::activeModalWidget())
                return;
            if (step == 0) // a screen reader's press while the box is up
                QAccessible::queryAccessibleInterface(f.cmdGo)->actionInterface()->doAction(
                    QAccessibleActionInterface::pressAction());
            else if (step == 1)
                f.Unload();
            ++step;
        });
        poll.start(1);
        QTest::mouseClick(f.cmdGo, Qt::LeftButton);
        poll.stop();
        EXPECT_GE(step, 2);
        ASSERT_TRUE(alive) << "deleted under its own handler";
        EXPECT_EQ(f.clicks, 1);
        if (fileDialog)
            EXPECT_EQ(f.chosen, "");
        else
            EXPECT_EQ(f.answer, mb::No);
        EXPECT_FALSE(Forms::isLoaded<Asking>());
        EXPECT_TRUE(f.isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(alive);
    }
}

// The click that answers a box and the user's next click come in one batch,
// both taken by the box's loop: the next click is kept, and runs after the
// handler under the box has gone on.
TEST_F(FormTest, AClickRightAfterABoxClosesIsKeptAndRunsAfterTheBoxesCaller)
{
    mb::setHandler(nullptr);
    Asking& f = Forms::get<Asking>();
    auto* restore = new QPushButton("Restore Data", &f);
    restore->move(0, 40);
    QStringList order;
    ctl::on(restore, &QPushButton::clicked, "Click", [&] { order << "restore"; });
    ctl::on(f.cmdGo, &QPushButton::clicked, "Click", [&] { order << "after the box: " + QString::number(f.answer); });
    f.Show();
    const RealBoxes boxes([&](QMessageBox* box) {
        QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
        ASSERT_FALSE(box->isVisible());
        QTest::mouseClick(restore, Qt::LeftButton);
    });
    QTest::mouseClick(f.cmdGo, Qt::LeftButton);
    EXPECT_TRUE(runEventsUntil([&] { return order.size() >= 2; })) << order.join(", ").toStdString();
    EXPECT_EQ(order, QStringList({"after the box: 6", "restore"}));
    QTest::mouseClick(restore, Qt::LeftButton);
    EXPECT_EQ(order.size(), 3);
}
