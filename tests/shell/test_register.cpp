// Register access on a scripted instrument line: numbering, function codes on
// the wire, the password, the refusals before sending and the recall.
#include "core/transport_line.h"
#include "shell/frmRegister.h"

using namespace modZarn;

namespace {

class RegisterTest : public LineTest {
protected:
    void SetUp() override
    {
        LineTest::SetUp();
        gRegLastAddress.clear();
        gRegLastRegister.clear();
        gRegLastNumbering = gRegLastGroup = 0;
        gPassword = "QX3admin";
    }
    void TearDown() override
    {
        Forms::discardAll();
        LineTest::TearDown();
    }
    static FrmRegister& open(int group, const char* protocol)
    {
        gControllerGroup = group;
        gProtocolCode = protocol;
        frmRegister().Show();
        return frmRegister();
    }
};

} // namespace

TEST_F(RegisterTest, Group0ReadsAndWritesInProgramNumbering)
{
    FrmRegister& f = open(0, "R");
    EXPECT_EQ(f.cbxAddress->currentText(), "32");
    EXPECT_FALSE(f.optUseNative(1)->isEnabled());

    // Register 2 goes through the group-0 dispatch whatever option is selected.
    f.txtRegisterNumber->setText("2");
    line_.reply(WithCrc("32030204D2"));
    f.cmdRead->click();
    EXPECT_EQ(line_.requests().value(0), WithCrc("320300010001"));
    EXPECT_EQ(f.txtValue->text(), "1234");
    EXPECT_EQ(Screen::mousePointer(), Screen::Default);

    // The password is compared without case and surrounding blanks.
    f.txtPassword->setText("  qx3ADMIN ");
    f.txtValue->setText("-40");
    line_.reply(WithCrc("321000010001"));
    f.cmdWrite->click();
    EXPECT_EQ(line_.requests().value(1), WithCrc("32100001000102FFD8"));
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
}

TEST_F(RegisterTest, NativeNumberingChoosesTheFunctionByRegister)
{
    FrmRegister& f = open(1, "R");
    EXPECT_EQ(f.cbxAddress->currentText(), "001");
    struct Case {
        const char* text;
        QByteArray request, reply;
        const char* shown;
    } reads[] = {
        {"12", WithCrc("016700120001"), WithCrc("0167020007"), "7"},    // status: function 103
        {"810", WithCrc("010208100001"), WithCrc("01020101"), "1"},     // bit input: function 2
        {"1000", WithCrc("010310000001"), WithCrc("010302FFFF"), "-1"}, // register: function 3
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

    // The program's numbering goes through the group's register table.
    gXrefG[2] = 0x1000;
    f.optUseNative(1)->click();
    f.txtRegisterNumber->setText("2");
    line_.reply(WithCrc("0103020064"));
    f.cmdRead->click();
    EXPECT_EQ(line_.requests().last(), WithCrc("010310000001"));
    EXPECT_EQ(f.txtValue->text(), "100");

    // Modbus ASCII writes a register with function 6.
    const QByteArray fc6 = ":01061001" "00FA" + ModbusLRC(QByteArray::fromHex("0106100100FA")) + "\r\n";
    gProtocolCode = "A";
    f.optUseNative(0)->click();
    f.txtRegisterNumber->setText("1001");
    f.txtValue->setText("250");
    line_.reply(fc6);
    f.cmdWrite->click();
    EXPECT_EQ(line_.requests().last(), fc6);
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
}

TEST_F(RegisterTest, NothingIsSentForAWrongPasswordABadAddressOrProtocol)
{
    FrmRegister& f = open(1, "R");
    f.txtRegisterNumber->setText("1000");
    f.txtPassword->setText("guess");
    f.cmdWrite->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().title, "Password Incorrect");
    EXPECT_EQ(boxes_.last().text, "The password entered is not correct to allow writes.");
    EXPECT_EQ(boxes_.last().style, mb::OKOnly | mb::Exclamation);

    f.txtPassword->setText("QX3admin");
    for (const char* address : {"0", "256", ""}) {
        f.cbxAddress->setEditText(address);
        f.txtValue->setText("5");
        f.cmdRead->click();
        EXPECT_EQ(f.lblErrorMessageText->text(),
                  QString("Address %1:Invalid instrument address, it must be 001 to 255").arg(address));
        EXPECT_TRUE(f.txtValue->text().isEmpty());
        f.cmdWrite->click();
    }
    // A protocol the native path cannot speak is an error, not a value 0.
    gProtocolCode = "Z";
    f.cbxAddress->setEditText("001");
    f.cmdRead->click();
    EXPECT_EQ(f.lblErrorMessageText->text(), "Address 001:Invalid protocol code >Z");
    EXPECT_TRUE(f.txtValue->text().isEmpty());
    f.lblErrorMessageText->clear();
    f.cmdWrite->click();
    EXPECT_EQ(f.lblErrorMessageText->text(), "Address 001:Invalid protocol code >Z");

    // The first request that reaches the line is this good read.
    gProtocolCode = "R";
    line_.reply(WithCrc("0103020001"));
    f.cmdRead->click();
    EXPECT_EQ(f.txtValue->text(), "1");
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
    g.close();

    // Another group: its default address, an empty register, and two-digit
    // hexadecimal addresses.
    FrmRegister& k = open(0, "R");
    EXPECT_EQ(k.cbxAddress->currentText(), "32");
    EXPECT_TRUE(k.txtRegisterNumber->text().isEmpty());
    k.cbxAddress->setEditText("100");
    k.cmdRead->click();
    EXPECT_EQ(k.lblErrorMessageText->text(), "Address 100:Invalid instrument address, it must be 01 to FF");
}
