// The serial terminal on a pseudo-terminal line.
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

#include "shell/frmMain.h"
#include "shell/frmTerminal.h"
#include "support/pty.h"
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
    SerialPortControl& port() { return frmMain().comPort; }

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
    EXPECT_TRUE(f.txtReply->toPlainText().isEmpty());
    pty_.write(sent);
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->toPlainText() == "AT\n"; }))
        << f.txtReply->toPlainText().toStdString();
}

TEST_F(TerminalTest, EachPassMovesAtMostFiftyAndTheBoxStartsAnewAt16000)
{
    FrmTerminal& f = frmTerminal();
    // The passes are run by hand here.
    f.tmrReceive.setEnabled(false);
    pty_.write(QByteArray(120, 'x'));
    ASSERT_TRUE(runEventsUntil([&] { return port().inBufferCount() == 120; }));
    f.commtest();
    EXPECT_EQ(f.txtReply->length(), 50);
    EXPECT_EQ(f.tmrReceive.interval(), 0);
    f.commtest();
    f.commtest();
    EXPECT_EQ(f.txtReply->length(), 120);
    EXPECT_EQ(f.tmrReceive.interval(), FrmTerminal::kIdlePollMs); // idle again

    f.txtReply->setPlainText(QString(15990, 'y'));
    pty_.write("abcdefghijklmnopqrst");
    ASSERT_TRUE(runEventsUntil([&] { return port().inBufferCount() == 20; }));
    f.commtest();
    EXPECT_EQ(f.txtReply->toPlainText(), "klmnopqrst");
}

TEST_F(TerminalTest, CloseKeepsTheTextAndTheCloseBoxEndsThePolling)
{
    FrmTerminal& f = frmTerminal();
    pty_.write("hello");
    ASSERT_TRUE(runEventsUntil([&] { return f.txtReply->toPlainText() == "hello"; }));

    f.cmdClose->click();
    EXPECT_FALSE(f.Visible());
    EXPECT_FALSE(f.tmrReceive.enabled());

    QPointer<FrmTerminal> closing = &f;
    f.close();
    EXPECT_FALSE(Forms::isLoaded<FrmTerminal>());
    // Nothing takes the line's input any more.
    pty_.write("zz");
    ASSERT_TRUE(runEventsUntil([&] { return port().inBufferCount() == 2; }));
    ASSERT_TRUE(runEventsUntil([&] { return closing.isNull(); }));
    EXPECT_EQ(port().inBufferCount(), 2);
    EXPECT_EQ(frmTerminal().txtReply->toPlainText(), "");

    // Typing while the port is closed sends nothing and shows nothing.
    port().setPortOpen(false);
    type(frmTerminal().txtReply, Qt::Key_B, "b");
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_TRUE(frmTerminal().txtReply->toPlainText().isEmpty());
}
