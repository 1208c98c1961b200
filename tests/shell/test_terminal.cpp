// The serial terminal on a pseudo-terminal line.
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTextCursor>

#include "core/commport.h"
#include "shell/frmMain.h"
#include "shell/frmTerminal.h"
#include "shell/toolwidgets.h"
#include "sim-driver/pty.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

class TerminalTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        ASSERT_TRUE(pty_.ok());
        openLine(5, pty_.slavePath());
        frmTerminal().Show();
    }
    static void type(QWidget* w, Qt::Key key, const QString& text)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(w, &press);
    }
    SerialPortControl& port() { return CommPort(); }

    PtyPair pty_;
};

} // namespace

TEST_F(TerminalTest, TypedCharactersGoOutAndOnlyTheEchoIsShown)
{
    FrmTerminal& f = frmTerminal();
    EXPECT_TRUE(f.tmrReceive.enabled());
    type(f.txtReply, Qt::Key_A, "A");
    type(f.txtReply, Qt::Key_T, "T");
    type(f.txtReply, Qt::Key_Tab, "\t"); // moves on; nothing goes out
    type(f.txtReply, Qt::Key_Return, "\r");
    // With pins 2 and 3 joined the line sends it all straight back.
    const QByteArray sent = pty_.read(3, 2000);
    EXPECT_EQ(sent, "AT\r");
    EXPECT_TRUE(f.txtReply->text().isEmpty());
    pty_.write(sent);
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->text() == "AT\n"; }))
        << f.txtReply->text().toStdString();
}

// A line that does not take output (the far end stopped reading): every key
// typed is dropped, none of them goes out when the line moves again, and the
// box says so once for the run of keys, on a line of its own, without a
// message box. Once the line moves again typing goes out; a later stall is
// told again.
TEST_F(TerminalTest, TypingOntoALineThatDoesNotTakeItIsToldOnceInTheBox)
{
    FrmTerminal& f = frmTerminal();
    const QString note = QString::fromLatin1(FrmTerminal::kNotSent);
    pty_.write("hi");
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->text() == "hi"; }));

    ASSERT_TRUE(pty_.stall());
    for (const auto& [key, text] : {std::pair{Qt::Key_A, "a"}, {Qt::Key_B, "b"}, {Qt::Key_Return, "\r"}})
        type(f.txtReply, key, text);
    EXPECT_EQ(f.txtReply->text(), "hi\n" + note + "\n");
    EXPECT_EQ(boxes_.count(), 0);
    const QByteArray held = pty_.readUntilQuiet(100, 10000);
    EXPECT_FALSE(held.isEmpty());
    EXPECT_EQ(held.count('x'), held.size()) << "a character the line did not take went out later";

    // Moving again: the next key goes out at once, and nothing more is said.
    type(f.txtReply, Qt::Key_C, "c");
    EXPECT_EQ(pty_.read(1, 2000), "c");
    pty_.write("c");
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->text() == "hi\n" + note + "\nc"; }));

    ASSERT_TRUE(pty_.stall());
    type(f.txtReply, Qt::Key_D, "d");
    EXPECT_EQ(f.txtReply->text(), "hi\n" + note + "\nc\n" + note + "\n");
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(TerminalTest, CloseKeepsTheTextAndTheCloseBoxEndsThePolling)
{
    FrmTerminal& f = frmTerminal();
    pty_.write("hello");
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->text() == "hello"; }));

    f.cmdClose->click();
    EXPECT_FALSE(f.Visible());
    EXPECT_FALSE(f.tmrReceive.enabled());

    // Opened again, it shows the old text and receives again.
    f.Show();
    pty_.write(" again");
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->text() == "hello again"; }));

    // The close box of the polling window ends the polling at once.
    QPointer<FrmTerminal> closing = &f;
    f.close();
    EXPECT_FALSE(Forms::isLoaded<FrmTerminal>());
    EXPECT_TRUE(closing.isNull() || !closing->tmrReceive.enabled());
    // Nothing takes the line's input any more.
    pty_.write("zz");
    ASSERT_TRUE(runEventsUntil([&] { return port().inBufferCount() == 2; }));
    ASSERT_TRUE(runEventsUntil([&] { return closing.isNull(); }));
    EXPECT_EQ(port().inBufferCount(), 2);
    EXPECT_EQ(frmTerminal().txtReply->text(), "");

    // Typing while the port is closed sends nothing and shows nothing.
    port().setPortOpen(false);
    type(frmTerminal().txtReply, Qt::Key_B, "b");
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_TRUE(frmTerminal().txtReply->text().isEmpty());
}

TEST_F(TerminalTest, AnEndlessLineStartsAnewAt16000AndShowsEveryCharacterSinceThen)
{
    FrmTerminal& f = frmTerminal();
    // 40,000 characters without a line end, written as the line delivers
    // them while the window receives.
    QByteArray line;
    for (int i = 0; i < 40000; ++i)
        line += char('a' + i % 26);
    for (qsizetype at = 0; at < line.size(); at += 1000) {
        ASSERT_TRUE(pty_.write(line.mid(at, 1000)));
        ASSERT_TRUE(runEventsUntil([&] { return port().inBufferCount() == 0 && f.txtReply->length() % 1000 == 0; }));
    }
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->length() == 8000; })) << f.txtReply->length();
    // Emptied before characters 16,000 and 32,000: the rest is shown.
    EXPECT_EQ(f.txtReply->text(), QString::fromLatin1(line.mid(32000)));

    // A CR LF pair split by the emptying: the LF comes into the empty box
    // and is a line end of its own.
    f.txtReply->setPlainText(QString(15999, 'y'));
    pty_.write("\r\nxyz");
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->text() == "\nxyz"; })) << f.txtReply->length();
}

namespace {

struct TraceCase {
    const char* name;
    tool::TraceBox::Stx stx;
    int prefill;            // characters in the box before
    QByteArray received;
    bool emptied;           // the box was emptied on the way
    QString shown;          // what follows the prefill, or all when emptied
    int length;
};

} // namespace

TEST(TraceBoxTest, ShowsWhatArrivesByTheSameRulesInOneEdit)
{
    using Stx = tool::TraceBox::Stx;
    const TraceCase cases[] = {
        {"line ends of every kind count two", Stx::Shown, 0, "a\rb\nc\r\nd", false, "a\nb\nc\nd", 10},
        {"control characters are shown as they are", Stx::Shown, 0, "\x02Z\x03\x06", false, "\x02Z\x03\x06", 4},
        {"a reply starts a line of its own", Stx::StartsLine, 0, "\x02Z32\x03\x02Z32N10", false, "Z32\x03\nZ32N10",
         12},
        {"a full box is emptied before the next character", Stx::Shown, tool::TraceBox::kLimit, "ab", true, "ab", 2},
        {"one short of full takes one more", Stx::Shown, tool::TraceBox::kLimit - 1, "ab", true, "b", 1},
        {"a line end may fill it past the limit", Stx::Shown, tool::TraceBox::kLimit - 1, "\rz", true, "z", 1},
        {"a reply in an emptied box starts on the first line", Stx::StartsLine, tool::TraceBox::kLimit, "\x02Z32",
         true, "Z32", 3},
    };
    for (const TraceCase& c : cases) {
        SCOPED_TRACE(c.name);
        tool::TraceBox box(nullptr, c.stx);
        const QString before(c.prefill, 'p');
        box.setPlainText(before);
        int edits = 0;
        QObject::connect(box.document(), &QTextDocument::contentsChange, [&](int, int, int) { ++edits; });
        for (const char ch : c.received)
            box.add(QByteArray(1, ch));
        EXPECT_EQ(box.toPlainText(), before) << "shown before the box's next turn";
        EXPECT_EQ(box.text(), c.emptied ? c.shown : before + c.shown);
        EXPECT_EQ(box.length(), c.emptied ? c.length : c.prefill + c.length);
        EXPECT_EQ(edits, 1);
    }
}

TEST(TraceBoxTest, CharactersGoInAtTheCaretTheUserMoved)
{
    tool::TraceBox box;
    box.add("hello world");
    box.flush();
    QTextCursor c = box.textCursor();
    c.setPosition(5);
    box.setTextCursor(c);
    box.add(",\r\n");
    EXPECT_EQ(box.text(), "hello,\n world");
    EXPECT_EQ(box.length(), 14);
}

TEST(TraceBoxTest, ALineOfItsOwnStartsOneOnlyWhereTheTextIsInMidLine)
{
    const struct {
        const char* name;
        QByteArray received;
        bool shownFirst; // the received characters were shown before the line came
        QString text;
    } cases[] = {
        {"an empty box", "", false, "note\n"},
        {"after a line end, shown", "ab\r\n", true, "ab\nnote\n"},
        {"after a line end, still to be shown", "ab\r", false, "ab\nnote\n"},
        {"in mid-line, still to be shown", "ab", false, "ab\nnote\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tool::TraceBox box;
        box.add(c.received);
        if (c.shownFirst)
            box.flush();
        box.addLine("note");
        EXPECT_EQ(box.text(), c.text);
    }
    // In a box emptied on the way, the line comes first.
    tool::TraceBox full;
    full.setPlainText(QString(tool::TraceBox::kLimit, 'p'));
    full.add("q");
    full.addLine("note");
    EXPECT_EQ(full.text(), "q\nnote\n");
}
