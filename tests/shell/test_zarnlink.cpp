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
// out, or a box says why and nothing is sent. A mistyped command sends
// nothing either, rather than the value to another command.
TEST_F(ZarnLinkToolTest, EveryTypedValueGoesOutAsTypedOrIsRefused)
{
    FrmZarnLink& f = open();
    f.txtPassword->setText("QX3admin");
    // command, typed, hexadecimal, the data that goes out ("" refused)
    std::vector<std::tuple<QString, QString, bool, QString>> cases = {
        {"201", "", true, ""},           {"201", "GG", true, ""},          {"201", "-1", true, ""},
        {"201", "&H10", true, ""},       {"201", "0x10", true, ""},        {"201", "1F 2", true, ""},
        {"201", "12345", true, ""},      {"201", "FFFF", true, "FFFF00"},  {"201", " 1f ", true, "001F00"},
        {"201", "8000", true, "800000"}, {"201", "7FA4", true, "7FA400"},  {"201", "7FA5", true, ""},
        {"201", "0", true, "000000"},    {"202H", "5", false, "000500"},
    };
    for (const auto& [text, value] : TypedSweep(0, -9999, 9999))
        cases.emplace_back("201", text, false,
                           value ? QString("%1").arg(std::abs(*value), 4, 10, QChar('0')) + (*value < 0 ? "FF" : "00")
                                 : QString());
    for (const char* command : {"2O1", "", "12345", "-201", "201 x"})
        cases.emplace_back(command, "5", false, "");
    for (const auto& [command, text, hex, data] : cases) {
        SCOPED_TRACE((command + (hex ? " hexadecimal \"" : " decimal \"") + text + "\"").toStdString());
        f.txtCommand->setText(command);
        f.chkHexadecimal->setChecked(hex);
        f.txtValue->setText(text);
        sim_.clearLog();
        boxes_.clear();
        f.cmdWrite->click();
        EXPECT_EQ(boxes_.count(), data.isEmpty() ? 1 : 0) << boxes_.last().text.toStdString();
        if (!data.isEmpty())
            EXPECT_EQ(sim_.must("get 50 zwrite 0x" + command.left(3).toStdString()), "\"" + data.toStdString() + "\"");
        else
            EXPECT_TRUE(sim_.requests().empty() &&
                        boxes_.last().title == (command == "201" ? "Invalid Write Value" : "Invalid Command"));
    }
    const std::tuple<bool, const char*, const char*> reasons[] = {
        {true, "GG", "The value to write is not a hexadecimal number.  Enter one to four hexadecimal digits (0 to 9 "
                     "and A to F).  Nothing was sent."},
        {false, "12.5", "The value to write must be a whole number: an instrument register holds no fraction.  "
                        "Nothing was sent."},
        {false, "12abc", "The value to write is not a number.  Enter it as decimal digits, with a minus sign before "
                         "a negative value.  Nothing was sent."},
    };
    f.txtCommand->setText("201");
    for (const auto& [hex, typed, says] : reasons) {
        f.chkHexadecimal->setChecked(hex);
        f.txtValue->setText(typed);
        f.cmdWrite->click();
        EXPECT_EQ(boxes_.last().text, says);
    }
}
