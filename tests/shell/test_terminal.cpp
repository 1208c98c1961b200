// The serial terminal on a pseudo-terminal line: typed characters go out,
// received ones are shown, the receive loop's passes, limit and ending.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>
#include <atomic>
#include <mutex>
#include <thread>

#include "core/startup.h"
#include "core/state.h"
#include "shell/frmMain.h"
#include "shell/frmTerminal.h"
#include "support/pty.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

// The far end of the line: with pins 2 and 3 joined, everything sent comes
// straight back.
class Loopback {
public:
    explicit Loopback(PtyPair& pty) : pty_(pty) {}
    ~Loopback() { stop(); }
    void start()
    {
        thread_ = std::thread([this] {
            while (!stop_) {
                const QByteArray got = pty_.read(1, 20);
                if (got.isEmpty())
                    continue;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    seen_ += got;
                }
                pty_.write(got);
            }
        });
    }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    QByteArray seen() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    PtyPair& pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    QByteArray seen_;
};

class TerminalTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        ASSERT_TRUE(pty_.ok());
        qputenv("QUINREX3_COM5", QByteArray::fromStdString(pty_.slavePath()));
        gCommPort = 5;
        bool failed = true;
        InitComm(QStringLiteral("9600,N,8,1"), failed);
        ASSERT_FALSE(failed);
    }
    void TearDown() override
    {
        loop_.stop();
        Forms::discardAll();
        if (frmMain().comPort.portOpen())
            frmMain().comPort.setPortOpen(false);
        Forms::discardAll();
        QxTest::TearDown();
    }
    // Runs the program's events until `cond` holds (false after two seconds).
    template <class F>
    static bool waitUntil(F cond)
    {
        QElapsedTimer t;
        t.start();
        while (!cond()) {
            if (t.elapsed() > 2000)
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    }
    static void type(QWidget* w, Qt::Key key, const QString& text)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(w, &press);
    }
    SerialPortControl& port() { return frmMain().comPort; }

    PtyPair pty_;
    Loopback loop_{pty_};
};

} // namespace

TEST_F(TerminalTest, TypedCharactersGoOutAndOnlyTheEchoIsShown)
{
    loop_.start();
    FrmTerminal& f = frmTerminal();
    f.Show();
    EXPECT_TRUE(f.tmrReceive.enabled());
    type(f.txtReply, Qt::Key_A, "A");
    type(f.txtReply, Qt::Key_T, "T");
    type(f.txtReply, Qt::Key_Return, "\r");
    ASSERT_TRUE(waitUntil([&] { return f.txtReply->toPlainText() == "AT\n"; }))
        << f.txtReply->toPlainText().toStdString();
    EXPECT_EQ(loop_.seen(), "AT\r");

    // A modem's answer: CR LF pairs are one line end each.
    pty_.write("\r\nOK\r\n");
    ASSERT_TRUE(waitUntil([&] { return f.txtReply->toPlainText() == "AT\n\nOK\n"; }))
        << f.txtReply->toPlainText().toStdString();
    EXPECT_EQ(boxes_.count(), 0);
}

TEST_F(TerminalTest, EachPassMovesAtMostFiftyAndTheBoxStartsAnewAt16000)
{
    FrmTerminal& f = frmTerminal();
    f.Show();
    // The passes are run by hand here.
    f.tmrReceive.setEnabled(false);
    const QByteArray burst(120, 'x');
    pty_.write(burst);
    ASSERT_TRUE(waitUntil([&] { return port().inBufferCount() == 120; }));
    f.commtest();
    EXPECT_EQ(f.txtReply->length(), 50);
    EXPECT_EQ(f.tmrReceive.interval(), 0);
    f.commtest();
    f.commtest();
    EXPECT_EQ(f.txtReply->length(), 120);
    EXPECT_EQ(f.tmrReceive.interval(), FrmTerminal::kIdlePollMs);

    f.txtReply->setPlainText(QString(15990, 'y'));
    pty_.write("abcdefghijklmnopqrst");
    ASSERT_TRUE(waitUntil([&] { return port().inBufferCount() == 20; }));
    f.commtest();
    EXPECT_EQ(f.txtReply->toPlainText(), "klmnopqrst");
}

TEST_F(TerminalTest, CloseKeepsTheTextAndTheCloseBoxEndsThePolling)
{
    FrmTerminal& f = frmTerminal();
    f.Show();
    pty_.write("hello");
    ASSERT_TRUE(waitUntil([&] { return f.txtReply->toPlainText() == "hello"; }));

    f.cmdClose->click();
    EXPECT_FALSE(f.Visible());
    EXPECT_TRUE(f.StopReceive);
    EXPECT_FALSE(f.tmrReceive.enabled());
    EXPECT_TRUE(Forms::isLoaded<FrmTerminal>());

    f.Show();
    EXPECT_EQ(f.txtReply->toPlainText(), "hello");
    EXPECT_TRUE(f.tmrReceive.enabled());
    pty_.write("!");
    ASSERT_TRUE(waitUntil([&] { return f.txtReply->toPlainText() == "hello!"; }));

    QPointer<FrmTerminal> closing = &f;
    f.close();
    EXPECT_FALSE(Forms::isLoaded<FrmTerminal>());
    ASSERT_TRUE(closing);
    EXPECT_FALSE(closing->tmrReceive.enabled());
    // Nothing takes the line's input any more.
    pty_.write("zz");
    ASSERT_TRUE(waitUntil([&] { return port().inBufferCount() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return closing.isNull(); }));
    EXPECT_EQ(port().inBufferCount(), 2);
    EXPECT_EQ(frmTerminal().txtReply->toPlainText(), "");
}

TEST_F(TerminalTest, TypingWhileThePortIsClosedSendsNothing)
{
    FrmTerminal& f = frmTerminal();
    f.Show();
    port().setPortOpen(false);
    type(f.txtReply, Qt::Key_B, "b");
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_TRUE(f.txtReply->toPlainText().isEmpty());
    EXPECT_TRUE(pty_.read(1, 50).isEmpty());
}
