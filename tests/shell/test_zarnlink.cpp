// "Zarn Link" access on a scripted instrument line: reads, writes in both
// data forms, the reply trace and its limit, the refusals before sending.
#include "core/transport_line.h"
#include "shell/frmZarnLink.h"

using namespace modZarn;

namespace {

// An instrument reply from address 32 up to its ACK.
QByteArray Reply(const QByteArray& data)
{
    const QByteArray text = "Z32" + data;
    return "\x02" + text + ZarnLinkChecksum(text) + "\x06";
}
// What the trace shows of that reply.
QString Shown(const QByteArray& data)
{
    const QByteArray text = "Z32" + data;
    return QString::fromLatin1(text + ZarnLinkChecksum(text));
}

class ZarnLinkToolTest : public LineTest {
protected:
    void SetUp() override
    {
        LineTest::SetUp();
        gZarnLinkLastAddress.clear();
        gZarnLinkLastCommand.clear();
        gPassword = "QX3admin";
    }
    void TearDown() override
    {
        Forms::discardAll();
        LineTest::TearDown();
    }
    FrmZarnLink& open()
    {
        FrmZarnLink& f = frmZarnLink();
        f.Show();
        return f;
    }
};

} // namespace

TEST_F(ZarnLinkToolTest, ReadsShowTheValueAndTraceEachReplyOnItsOwnLine)
{
    FrmZarnLink& f = open();
    EXPECT_EQ(f.cbxAddress->currentText(), "32");
    EXPECT_TRUE(f.txtCommand->text().isEmpty());

    line_.reply(Reply("0C110123"));
    f.cmdRead->click();
    EXPECT_EQ(line_.requests().value(0), "\x02Z3200C5\x03");
    EXPECT_EQ(f.txtValue->text(), "-12.3");
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
    EXPECT_EQ(f.txtReply->toPlainText(), Shown("0C110123"));

    // A refusal is traced as it came and its text shown.
    f.txtCommand->setText("101");
    line_.reply("\x02Z32N06\x06");
    f.cmdRead->click();
    EXPECT_EQ(f.lblErrorMessageText->text(), "Address 32:Undefined command from instrument for command 0101");
    EXPECT_TRUE(f.txtValue->text().isEmpty());
    EXPECT_EQ(f.txtReply->toPlainText(), Shown("0C110123") + "\nZ32N06");
    EXPECT_EQ(f.txtReply->length(), Shown("0C110123").size() + 2 + 6);

    // Address and command are remembered for the next opening.
    f.cbxAddress->setEditText("0A");
    f.cmdClose->click();
    FrmZarnLink& g = open();
    EXPECT_EQ(g.cbxAddress->currentText(), "0A");
    EXPECT_EQ(g.txtCommand->text(), "101");
    EXPECT_TRUE(g.txtReply->toPlainText().isEmpty());
}

TEST_F(ZarnLinkToolTest, WritesInBothDataFormsBehindThePassword)
{
    FrmZarnLink& f = open();
    f.txtCommand->setText("201");
    f.txtValue->setText("FFFF");
    f.chkHexadecimal->setChecked(true);
    f.txtPassword->setText("wrong");
    f.cmdWrite->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Password Incorrect");
    EXPECT_TRUE(f.txtReply->toPlainText().isEmpty());

    f.txtPassword->setText(" qx3admin");
    line_.reply(Reply(""));
    f.cmdWrite->click();
    line_.reply(Reply(""));
    f.chkHexadecimal->setChecked(false);
    f.txtValue->setText("-25");
    f.cmdWrite->click();
    // The wrong password sent nothing: these are the first two requests.
    ASSERT_EQ(line_.requests().size(), 2);
    EXPECT_TRUE(line_.requests()[0].startsWith("\x02Z320201FFFF00"));
    EXPECT_TRUE(line_.requests()[1].startsWith("\x02Z3202010025FF"));
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
    EXPECT_EQ(f.txtValue->text(), "-25");
    EXPECT_EQ(f.txtReply->toPlainText(), Shown("") + "\n" + Shown(""));
}

TEST_F(ZarnLinkToolTest, AddressesOutsideTheLineAreRefusedBeforeSending)
{
    FrmZarnLink& f = open();
    f.txtPassword->setText("QX3admin");
    for (const char* address : {"00", "100", ""}) {
        f.cbxAddress->setEditText(address);
        f.cmdRead->click();
        EXPECT_EQ(f.lblErrorMessageText->text(),
                  QString("Address %1:Invalid instrument address, it must be 01 to FF").arg(address));
        f.lblErrorMessageText->clear();
        f.cmdWrite->click();
        EXPECT_FALSE(f.lblErrorMessageText->text().isEmpty());
    }
    f.cbxAddress->setEditText("32");
    line_.reply(Reply("0C110123"));
    f.cmdRead->click();
    EXPECT_EQ(line_.requests().size(), 1);
}

TEST_F(ZarnLinkToolTest, TraceStartsAnewAt16000Characters)
{
    FrmZarnLink& f = open();
    f.txtReply->setPlainText(QString(15995, 'x'));
    line_.reply(Reply("0C110123"));
    f.cmdRead->click();
    // Line end (2) and "Z32" fill the box to 16000; the rest of the reply
    // continues in the emptied box.
    EXPECT_EQ(f.txtReply->toPlainText(), Shown("0C110123").mid(3));

    // Below the limit the reply is added whole.
    f.txtReply->setPlainText(QString(15980, 'x'));
    line_.reply(Reply("0C110123"));
    f.cmdRead->click();
    EXPECT_EQ(f.txtReply->length(), 15980 + 2 + Shown("0C110123").size());
}

TEST_F(ZarnLinkToolTest, DemoModeSendsNothingAndShowsZero)
{
    gDemoMode = true;
    FrmZarnLink& f = open();
    EXPECT_FALSE(f.lblDemoMode->isHidden());
    f.cmdRead->click();
    EXPECT_EQ(f.txtValue->text(), "0");
    EXPECT_TRUE(f.txtReply->toPlainText().isEmpty());
    gDemoMode = false;
    line_.reply(Reply("0C110123"));
    f.cmdRead->click();
    EXPECT_EQ(line_.requests().size(), 1);
}
