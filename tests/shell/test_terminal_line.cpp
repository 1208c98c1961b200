// The terminal on the simulated line: a request typed by hand reaches an
// instrument, and its reply is what the box shows.
#include <QApplication>
#include <QKeyEvent>

#include "shell/frmTerminal.h"
#include "support/simline.h"

namespace {

class TerminalLineTest : public SimLineTest {
protected:
    // Types a Modbus ASCII request key by key, `gapMs` apart: its characters,
    // Enter (CR) and Ctrl+J (LF).
    static void typeRequest(QWidget* w, const QString& request, int gapMs)
    {
        for (const QChar c : request + "\r\n") {
            const Qt::Key key = c == u'\r' ? Qt::Key_Return : c == u'\n' ? Qt::Key_J : Qt::Key(c.toUpper().unicode());
            QKeyEvent e(QEvent::KeyPress, key, c == u'\n' ? Qt::ControlModifier : Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &e);
            QTest::qWait(gapMs);
        }
    }
};

// Modbus ASCII allows up to a second between the characters of a frame:
// typed at 120 and at 300 ms a character, a read of the group 2
// instrument's set point is answered, and only the reply is shown.
TEST_F(TerminalLineTest, AModbusAsciiRequestTypedByHandIsAnswered)
{
    startLine("");
    FrmTerminal& f = frmTerminal();
    f.Show();
    QString shown;
    for (int gapMs : {120, 300}) {
        SCOPED_TRACE(gapMs);
        typeRequest(f.txtReply, QStringLiteral(":020347010001B2"), gapMs);
        shown += QStringLiteral(":020302017286\n");
        EXPECT_TRUE(runEventsUntil([&] { return f.txtReply->text() == shown; }, 3000)) << f.txtReply->text().toStdString();
    }
    EXPECT_EQ(sim_.replies().size(), 2u);
}

} // namespace
