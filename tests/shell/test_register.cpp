// Register access on a scripted instrument line: numbering, function codes on
// the wire, the password, the refusals before sending and the recall.
#include "core/transport_line.h"
#include "shell/frmRegister.h"

using namespace modZarn;

namespace {

QByteArray AsciiFrame(const char* hex)
{
    const QByteArray b = QByteArray::fromHex(hex);
    return ":" + b.toHex().toUpper() + ModbusLRC(b) + "\r\n";
}

class RegisterTest : public LineTest {
protected:
    void SetUp() override
    {
        LineTest::SetUp();
        gRegLastAddress.clear();
        gRegLastRegister.clear();
        gRegLastNumbering = 0;
        gRegLastGroup = 0;
        gPassword = "QX3admin";
    }
    void TearDown() override
    {
        Forms::discardAll();
        LineTest::TearDown();
    }
    FrmRegister& open(int group, const char* protocol)
    {
        gControllerGroup = group;
        gProtocolCode = protocol;
        FrmRegister& f = frmRegister();
        f.Show();
        return f;
    }
    // A read that reaches the line: every request before it was sent too.
    void readMarker(FrmRegister& f, const QByteArray& expectedRequest)
    {
        line_.reply(WithCrc("0103020001"));
        f.cbxAddress->setEditText("001");
        f.optUseNative(0)->click();
        f.txtRegisterNumber->setText("1000");
        f.cmdRead->click();
        EXPECT_EQ(f.txtValue->text(), "1");
        EXPECT_EQ(line_.requests().value(line_.requests().size() - 1), expectedRequest);
    }
};

} // namespace

TEST_F(RegisterTest, Group0ReadsAndWritesInProgramNumbering)
{
    gDemoMode = false;
    FrmRegister& f = open(0, "R");
    EXPECT_EQ(f.cbxAddress->currentText(), "32");
    EXPECT_FALSE(f.optUseNative(0)->isEnabled());
    EXPECT_FALSE(f.optUseNative(1)->isEnabled());
    EXPECT_TRUE(f.lblDemoMode->isHidden());

    // Register 2 goes through the group-0 dispatch whatever option is selected.
    f.txtRegisterNumber->setText("2");
    line_.reply(WithCrc("32030204D2"));
    f.cmdRead->click();
    EXPECT_EQ(line_.requests().value(0), WithCrc("320300010001"));
    EXPECT_EQ(f.txtValue->text(), "1234");
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
    EXPECT_EQ(Screen::mousePointer(), Screen::Default);

    // Password compared without case and surrounding blanks.
    f.txtPassword->setText("  qx3ADMIN ");
    f.txtValue->setText("-40");
    line_.reply(WithCrc("321000010001"));
    f.cmdWrite->click();
    EXPECT_EQ(boxes_.count(), 0);
    EXPECT_EQ(line_.requests().value(1), WithCrc("3210000100010" "2FFD8"));
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
    EXPECT_EQ(f.txtValue->text(), "-40");

    // No reply: the error text, no value.
    line_.silence();
    line_.silence();
    f.cmdRead->click();
    EXPECT_TRUE(f.txtValue->text().isEmpty());
    EXPECT_TRUE(f.lblErrorMessageText->text().startsWith("Address 32:No response from instrument"));
}

TEST_F(RegisterTest, NativeNumberingChoosesTheFunctionByRegister)
{
    FrmRegister& f = open(1, "R");
    EXPECT_EQ(f.cbxAddress->currentText(), "001");
    EXPECT_TRUE(f.optUseNative(0)->isChecked());

    struct Case {
        const char* text;
        QByteArray request;
        QByteArray reply;
        const char* shown;
    } reads[] = {
        {"12", WithCrc("016700120001"), WithCrc("0167020007"), "7"},     // status: function 103
        {"810", WithCrc("010208100001"), WithCrc("01020101"), "1"},      // bit input: function 2
        {"1000", WithCrc("010310000001"), WithCrc("010302FFFF"), "-1"},  // holding register: function 3
    };
    for (const Case& c : reads) {
        line_.reply(c.reply);
        f.txtRegisterNumber->setText(c.text);
        f.cmdRead->click();
        EXPECT_EQ(line_.requests().last(), c.request) << c.text;
        EXPECT_EQ(f.txtValue->text(), c.shown) << c.text;
    }

    // A bit register is written as a coil: function 5.
    f.txtPassword->setText("qx3admin");
    f.txtRegisterNumber->setText("810");
    f.txtValue->setText("1");
    line_.reply(WithCrc("01050810FF00"));
    f.cmdWrite->click();
    EXPECT_EQ(line_.requests().last(), WithCrc("01050810FF00"));
    EXPECT_EQ(f.lblErrorMessageText->text(), "");

    // The program's numbering goes through the group's register table.
    gXrefG[2] = 0x1000;
    f.optUseNative(1)->click();
    f.txtRegisterNumber->setText("2");
    line_.reply(WithCrc("0103020064"));
    f.cmdRead->click();
    EXPECT_EQ(line_.requests().last(), WithCrc("010310000001"));
    EXPECT_EQ(f.txtValue->text(), "100");
}

TEST_F(RegisterTest, NativeWriteInModbusAsciiUsesFunction6)
{
    FrmRegister& f = open(2, "A");
    f.txtPassword->setText("QX3admin");
    f.cbxAddress->setEditText("005");
    f.txtRegisterNumber->setText("1001");
    f.txtValue->setText("250");
    line_.reply(AsciiFrame("0506100100FA"));
    f.cmdWrite->click();
    EXPECT_EQ(line_.requests().value(0), AsciiFrame("0506100100FA"));
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
}

TEST_F(RegisterTest, NothingIsSentForAWrongPasswordABadAddressOrProtocol)
{
    FrmRegister& f = open(1, "R");
    f.txtRegisterNumber->setText("1000");
    f.txtValue->setText("5");
    f.txtPassword->setText("guess");
    f.cmdWrite->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Password Incorrect");
    EXPECT_EQ(boxes_.last().text, "The password entered is not correct to allow writes.");
    EXPECT_EQ(boxes_.last().style, mb::OKOnly | mb::Exclamation);
    EXPECT_TRUE(boxes_.last().hadOwner);

    for (const char* address : {"0", "256", ""}) {
        f.cbxAddress->setEditText(address);
        f.txtValue->setText("old");
        f.cmdRead->click();
        EXPECT_EQ(f.lblErrorMessageText->text(),
                  QString("Address %1:Invalid instrument address, it must be 001 to 255").arg(address));
        EXPECT_TRUE(f.txtValue->text().isEmpty());
    }
    f.txtPassword->setText("QX3admin");
    f.cbxAddress->setEditText("0");
    f.lblErrorMessageText->clear();
    f.cmdWrite->click();
    EXPECT_FALSE(f.lblErrorMessageText->text().isEmpty());

    // A protocol the native path cannot speak is an error, not a value 0.
    gProtocolCode = "Z";
    f.cbxAddress->setEditText("001");
    f.cmdRead->click();
    EXPECT_EQ(f.lblErrorMessageText->text(), "Address 001:Invalid protocol code >Z");
    EXPECT_TRUE(f.txtValue->text().isEmpty());
    f.lblErrorMessageText->clear();
    f.cmdWrite->click();
    EXPECT_EQ(f.lblErrorMessageText->text(), "Address 001:Invalid protocol code >Z");

    gProtocolCode = "R";
    readMarker(f, WithCrc("010310000001"));
    EXPECT_EQ(line_.requests().size(), 1);

    // Group 0 takes two hexadecimal digits: 00 and 100 are refused too.
    Forms::discardAll();
    FrmRegister& g = open(0, "R");
    g.cbxAddress->setEditText("100");
    g.cmdRead->click();
    EXPECT_EQ(g.lblErrorMessageText->text(), "Address 100:Invalid instrument address, it must be 01 to FF");
    EXPECT_EQ(line_.requests().size(), 1);
}

TEST_F(RegisterTest, ReopeningRestoresWithinTheSameGroup)
{
    FrmRegister& f = open(1, "R");
    f.cbxAddress->setEditText("007");
    f.txtRegisterNumber->setText("4700");
    f.optUseNative(1)->click();
    f.cmdClose->click();
    EXPECT_FALSE(Forms::isLoaded<FrmRegister>());

    FrmRegister& g = open(1, "R");
    EXPECT_EQ(g.cbxAddress->currentText(), "007");
    EXPECT_EQ(g.txtRegisterNumber->text(), "4700");
    EXPECT_TRUE(g.optUseNative(1)->isChecked());

    // An empty register field restores neither register nor numbering.
    g.txtRegisterNumber->clear();
    g.close();
    FrmRegister& h = open(1, "R");
    EXPECT_EQ(h.cbxAddress->currentText(), "007");
    EXPECT_TRUE(h.optUseNative(0)->isChecked());
    h.txtRegisterNumber->setText("12");
    h.close();

    // Another group: default address, empty register.
    FrmRegister& k = open(0, "R");
    EXPECT_EQ(k.cbxAddress->currentText(), "32");
    EXPECT_TRUE(k.txtRegisterNumber->text().isEmpty());
}
