// "Zarn Link" access against the instrument simulator.
#include "shell/frmZarnLink.h"
#include "tool_line.h"

#include <cstdlib>
#include <tuple>

using namespace modZarn;

namespace {

// What the trace shows of a reply from address 32.
QString Shown(const QByteArray& data) { return QString::fromLatin1("Z32" + data + ZarnLinkChecksum("Z32" + data)); }

class ZarnLinkToolTest : public ToolLineTest {
protected:
    static FrmZarnLink& open()
    {
        frmZarnLink().Show();
        return frmZarnLink();
    }
};

} // namespace

TEST_F(ZarnLinkToolTest, ReadsShowTheValueAndTraceEachReplyOnItsOwnLine)
{
    FrmZarnLink& f = open();
    EXPECT_EQ(f.cbxAddress->currentText(), "32");
    EXPECT_TRUE(f.txtCommand->text().isEmpty());

    f.cmdRead->click();
    EXPECT_EQ(lastRequest(), "\x02Z3200C5\x03");
    EXPECT_EQ(f.txtValue->text(), "-12.3");
    EXPECT_EQ(f.txtReply->text(), Shown("0C110123"));

    // A refusal is traced as it came, on a line of its own, and its text shown.
    f.txtCommand->setText("101");
    f.cmdRead->click();
    EXPECT_EQ(f.lblErrorMessageText->text(), "Address 32:Undefined command from instrument for command 0101");
    EXPECT_TRUE(f.txtValue->text().isEmpty());
    EXPECT_EQ(f.txtReply->text(), Shown("0C110123") + "\nZ32N10");

    // Address and command are remembered for the next opening.
    f.cbxAddress->setEditText("0A");
    f.cmdClose->click();
    FrmZarnLink& g = open();
    EXPECT_EQ(g.cbxAddress->currentText(), "0A");
    EXPECT_EQ(g.txtCommand->text(), "101");
    EXPECT_TRUE(g.txtReply->text().isEmpty());
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

    f.txtPassword->setText(" qx3admin");
    f.cmdWrite->click();
    EXPECT_EQ(sim_.must("get 50 zwrite 0x201"), "\"FFFF00\"");
    f.chkHexadecimal->setChecked(false);
    f.txtValue->setText("-25");
    f.cmdWrite->click();
    EXPECT_EQ(sim_.must("get 50 zwrite 0x201"), "\"0025FF\"");
    // The wrong password sent nothing: these are the only two requests.
    EXPECT_EQ(sim_.requests().size(), 2u);
    EXPECT_EQ(f.lblErrorMessageText->text(), "");
    EXPECT_EQ(f.txtReply->text(), Shown("") + "\n" + Shown(""));
}

// Typing into the address box replaces the preset "32" ("100", not
// "32100"); an address that is no instrument's sends nothing, without a box,
// also one too large for any ("32100" when typed after the preset).
TEST_F(ZarnLinkToolTest, TypedAddressesReplaceThePreset)
{
    for (const char* typed : {"100", "1FF", "-1", "FFFF", "32100", "33"}) {
        gZarnLinkLastAddress.clear();
        FrmZarnLink& f = open();
        ASSERT_TRUE(typeByKeys(f.cbxAddress, typed));
        EXPECT_EQ(f.cbxAddress->currentText(), typed);
        f.cmdRead->click();
        if (QString(typed) != "33")
            EXPECT_EQ(f.lblErrorMessageText->text(),
                      QString("Address %1:Invalid instrument address, it must be 01 to FF").arg(typed));
        f.cmdClose->click();
    }
    EXPECT_EQ(boxes_.count(), 0);
    // Only 33H was asked (twice: nothing answers there).
    for (const QByteArray& request : sim_.requests())
        EXPECT_EQ(request, "\x02Z3300C6\x03");
    EXPECT_FALSE(sim_.requests().empty());
}

// Every kind of typed value in both data forms: exactly the value typed goes
// out, or a box says why and nothing is sent.
TEST_F(ZarnLinkToolTest, EveryTypedValueGoesOutAsTypedOrIsRefused)
{
    FrmZarnLink& f = open();
    f.txtCommand->setText("201");
    f.txtPassword->setText("QX3admin");
    // typed, hexadecimal, the data that goes out ("" refused)
    std::vector<std::tuple<QString, bool, QString>> cases = {
        {"", true, ""},          {"GG", true, ""},         {"-9999.6", true, ""}, {"0x10", true, ""},
        {"12345", true, ""},     {"-1", true, ""},         {"&H10", true, ""},    {"1F 2", true, ""},
        {"FFFF", true, "FFFF00"}, {" 1f ", true, "001F00"}, {"8000", true, "800000"},
        {"7FA4", true, "7FA400"}, {"7FA5", true, ""},      {"0", true, "000000"},
    };
    for (const auto& [text, value] : WholeValueSweep(-9999, 9999)) {
        const QString data = !value ? QString()
                                    : QString("%1").arg(std::abs(*value), 4, 10, QChar('0')) + (*value < 0 ? "FF" : "00");
        cases.emplace_back(text, false, data);
    }
    for (const auto& [text, hex, data] : cases) {
        SCOPED_TRACE((hex ? "hexadecimal \"" : "decimal \"") + text.toStdString() + "\"");
        f.chkHexadecimal->setChecked(hex);
        f.txtValue->setText(text);
        sim_.clearLog();
        boxes_.clear();
        f.cmdWrite->click();
        if (!data.isEmpty()) {
            EXPECT_EQ(boxes_.count(), 0) << boxes_.last().text.toStdString();
            EXPECT_EQ(sim_.must("get 50 zwrite 0x201"), "\"" + data.toStdString() + "\"");
        } else {
            EXPECT_TRUE(sim_.requests().empty());
            ASSERT_EQ(boxes_.count(), 1);
            EXPECT_EQ(boxes_.last().title, "Invalid Write Value");
        }
    }
    f.chkHexadecimal->setChecked(true);
    f.txtValue->setText("GG");
    f.cmdWrite->click();
    EXPECT_EQ(boxes_.last().text, "The value to write is not a hexadecimal number.  Enter one to four hexadecimal "
                                  "digits (0 to 9 and A to F).  Nothing was sent.");
    f.chkHexadecimal->setChecked(false);
    f.txtValue->setText("12.5");
    f.cmdWrite->click();
    EXPECT_EQ(boxes_.last().text, "The value to write must be a whole number: an instrument register holds no "
                                  "fraction.  Nothing was sent.");
    f.txtValue->setText("12abc");
    f.cmdWrite->click();
    EXPECT_EQ(boxes_.last().text, "The value to write is not a number.  Enter it as decimal digits, with a minus "
                                  "sign before a negative value.  Nothing was sent.");

    // A mistyped command sends nothing either, rather than the value to
    // another command.
    f.txtValue->setText("5");
    for (const char* command : {"2O1", "", "12345", "-201", "201 x"}) {
        f.txtCommand->setText(command);
        boxes_.clear();
        sim_.clearLog();
        f.cmdWrite->click();
        EXPECT_TRUE(sim_.requests().empty()) << command;
        ASSERT_EQ(boxes_.count(), 1) << command;
        EXPECT_EQ(boxes_.last().title, "Invalid Command");
    }
    f.txtCommand->setText("202H");
    f.cmdWrite->click();
    EXPECT_EQ(sim_.must("get 50 zwrite 0x202"), "\"000500\"");
}
