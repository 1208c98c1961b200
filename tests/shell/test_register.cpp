// Register access against the instrument simulator.
#include "shell/frmRegister.h"
#include "tool_line.h"

#include <tuple>

using namespace modZarn;

namespace {

class RegisterTest : public ToolLineTest {
protected:
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
    f.cbxAddress->setEditText("33");
    f.txtRegisterNumber->setText("2");
    f.cmdRead->click();
    EXPECT_EQ(lastRequest(), Rtu("330300010001"));
    EXPECT_EQ(f.txtValue->text(), "1234");
    EXPECT_EQ(Screen::mousePointer(), Screen::Default);

    // The password is compared without case and surrounding blanks.
    f.txtPassword->setText("  qx3ADMIN ");
    f.txtValue->setText("-40");
    f.cmdWrite->click();
    EXPECT_EQ(lastRequest(), Rtu("33100001000102FFD8"));
    EXPECT_EQ(sim_.must("get 51 reg 1"), "-40");
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
}

TEST_F(RegisterTest, NativeNumberingChoosesTheFunctionByRegister)
{
    FrmRegister& f = open(1, "R");
    EXPECT_EQ(f.cbxAddress->currentText(), "001");
    const std::tuple<const char*, QByteArray, const char*> reads[] = {
        {"12", Rtu("016700120001"), "7"},    // status: function 103
        {"810", Rtu("010208100001"), "1"},   // bit input: function 2
        {"1000", Rtu("010310000001"), "-1"}, // register: function 3
    };
    for (const auto& [reg, request, shown] : reads) {
        f.txtRegisterNumber->setText(reg);
        f.cmdRead->click();
        EXPECT_EQ(lastRequest(), request) << reg;
        EXPECT_EQ(f.txtValue->text(), shown) << reg;
    }
    // A bit register is written as a coil: function 5.
    f.txtPassword->setText("qx3admin");
    f.txtRegisterNumber->setText("810");
    f.txtValue->setText("1");
    f.cmdWrite->click();
    EXPECT_EQ(lastRequest(), Rtu("01050810FF00"));
    EXPECT_EQ(sim_.must("get 1 coil 0x810"), "1");

    // The program's numbering goes through the group's register table.
    f.optUseNative(1)->click();
    f.txtRegisterNumber->setText("2");
    f.cmdRead->click();
    EXPECT_EQ(lastRequest(), Rtu("010310000001"));
    EXPECT_EQ(f.txtValue->text(), "-1");
}

TEST_F(RegisterTest, NothingIsSentForAWrongPasswordABadAddressOrProtocol)
{
    FrmRegister& f = open(1, "R");
    f.txtRegisterNumber->setText("1000");
    f.txtPassword->setText("guess");
    f.cmdWrite->click();
    ASSERT_EQ(boxes_.count(), 1);
    EXPECT_EQ(boxes_.last().text, "The password entered is not correct to allow writes.");

    f.txtPassword->setText("QX3admin");
    // 257 and -1 would be 001 and 255 by their low byte; 99999 fits no address.
    for (const char* address : {"0", "256", "257", "300", "-1", "", "99999"}) {
        f.cbxAddress->setEditText("");
        ASSERT_TRUE(typeByKeys(f.cbxAddress, address));
        f.txtValue->setText("5");
        for (CommandButton* action : {f.cmdWrite, f.cmdRead}) {
            f.lblErrorMessageText->clear();
            action->click();
            EXPECT_EQ(f.lblErrorMessageText->text(),
                      QString("Address %1:Invalid instrument address, it must be 001 to 255").arg(address));
        }
        EXPECT_TRUE(f.txtValue->text().isEmpty());
    }
    // A protocol the native path cannot speak is an error, not a value 0.
    gProtocolCode = "Z";
    f.cbxAddress->setEditText("001");
    f.cmdRead->click();
    EXPECT_EQ(f.lblErrorMessageText->text(), "Address 001:Invalid protocol code >Z");
    EXPECT_TRUE(f.txtValue->text().isEmpty());

    // The first request that reaches the line is this good read.
    gProtocolCode = "R";
    f.cmdRead->click();
    EXPECT_EQ(f.txtValue->text(), "-1");
    EXPECT_EQ(sim_.requests().size(), 1u);
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
    EXPECT_EQ(g.cbxAddress->currentText() + g.txtRegisterNumber->text(), "0074700");
    EXPECT_TRUE(g.optUseNative(1)->isChecked());
    g.close();

    // Another group: its default address, an empty register, and two-digit
    // hexadecimal addresses.
    FrmRegister& k = open(0, "R");
    EXPECT_EQ(k.cbxAddress->currentText(), "32");
    EXPECT_TRUE(k.txtRegisterNumber->text().isEmpty());
    for (const char* address : {"100", "133", "1FF"}) {
        k.cbxAddress->setEditText(address);
        k.cmdRead->click();
        EXPECT_EQ(k.lblErrorMessageText->text(),
                  QString("Address %1:Invalid instrument address, it must be 01 to FF").arg(address));
    }
}

// Every kind of typed value on each path a write takes: exactly the value
// typed goes out, or a box says why and nothing is sent.
TEST_F(RegisterTest, EveryTypedValueGoesOutAsTypedOrIsRefused)
{
    ReadZarnXrefFile();
    // group, protocol, native numbering, register text, limits, where the value went ("" the "Zarn Link" one)
    const std::tuple<int, const char*, bool, const char*, int, int, const char*> paths[] = {
        {0, "R", false, "2", -32768, 32767, "get 51 reg 1"},
        {0, "Z", false, "258", -9999, 9999, ""},
        {1, "R", true, "1000", -32768, 32767, "get 1 reg 0x1000"},
        {1, "R", true, "810", 0, 1, "get 1 coil 0x810"},
    };
    for (const auto& [group, protocol, native, reg, lower, upper, taken] : paths) {
        FrmRegister& f = open(group, protocol);
        f.cbxAddress->setEditText(group == 1 ? "001" : *protocol == 'Z' ? "32" : "33");
        f.optUseNative(native ? 0 : 1)->click();
        f.txtRegisterNumber->setText(reg);
        f.txtPassword->setText("QX3admin");
        for (const auto& [text, value] : TypedSweep(0, lower, upper)) {
            SCOPED_TRACE(std::string(protocol) + reg + ": \"" + text.toStdString() + "\"");
            f.txtValue->setText(text);
            sim_.clearLog();
            boxes_.clear();
            f.cmdWrite->click();
            EXPECT_EQ(boxes_.count(), value ? 0 : 1) << boxes_.last().text.toStdString();
            if (value)
                EXPECT_EQ(*taken ? sim_.must(taken) : ZarnWritten(sim_.must("get 50 zwrite 0x202")),
                          std::to_string(*value));
            else
                EXPECT_TRUE(sim_.requests().empty() && boxes_.last().title == "Invalid Write Value");
            EXPECT_EQ(f.txtValue->text(), text); // kept as typed
        }
        f.close();
    }
    // The coil's last refusal, " -12 ", named its limits.
    EXPECT_EQ(boxes_.last().text, "The value to write must lie within 0 to 1 for this register.  Nothing was sent.");
}

// A register number that is not wholly one of its numbering's form sends
// nothing, rather than the value to another register.
TEST_F(RegisterTest, AMistypedRegisterNumberSendsNothing)
{
    FrmRegister& f = open(1, "R");
    f.txtPassword->setText("QX3admin");
    f.txtValue->setText("5");
    // native numbering, register text
    const std::pair<bool, const char*> typed[] = {{true, "10O0"}, {true, ""},    {true, "12345"},
                                                  {true, "-1"},   {false, "2x"}, {false, "2.5"}};
    for (const auto& [native, reg] : typed) {
        f.optUseNative(native ? 0 : 1)->click();
        f.txtRegisterNumber->setText(reg);
        boxes_.clear();
        f.cmdWrite->click();
        ASSERT_EQ(boxes_.count(), 1) << reg;
        EXPECT_EQ(boxes_.last().title, "Invalid Register Number");
    }
    EXPECT_TRUE(sim_.requests().empty());
    EXPECT_EQ(boxes_.last().text, "The register number must be a whole number: an instrument register holds no "
                                  "fraction.  Nothing was sent.");
    // As the register lists write it.
    f.optUseNative(0)->click();
    f.txtRegisterNumber->setText("1000H");
    f.cmdWrite->click();
    EXPECT_EQ(sim_.must("get 1 reg 0x1000"), "5");
}
