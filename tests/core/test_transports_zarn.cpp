// "Zarn Link" driver on a scripted pseudo-terminal line.
#include <QTimeZone>

#include "platform/clock.h"
#include "transport_line.h"

using namespace modZarn;

namespace {

QByteArray Sum(const QByteArray& s)
{
    int sum = 0;
    for (char c : s)
        sum += static_cast<unsigned char>(c);
    return QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
}
// An instrument reply from address 32: STX "Z32" data checksum ACK.
QByteArray Reply(const QByteArray& data) { return "\x02Z32" + data + Sum("Z32" + data) + "\x06"; }

class ZarnTest : public LineTest {
protected:
    void read(int cmd, int reg = 0, int address = 50)
    {
        ZarnLinkRead(text, code, address, cmd, valueText, unit, format, value, divisor, alarm1,
                     alarm2, reg, reply, raw);
    }
    void write(int cmd, float v, bool hex, int reg = 0)
    {
        ZarnLinkWrite(text, code, 50, cmd, v, reg, reply, hex);
    }
    QString text, valueText = "old", unit = "old", format = "old";
    int code = 99, alarm1 = 5, alarm2 = 5;
    float value = 5, divisor = 5, raw = 5;
    QByteArray reply;
};

TEST_F(ZarnTest, ReadsTheProcessValueWithItsStatus)
{
    EXPECT_EQ(ZarnLinkChecksum("3200"), "C5");
    line_.reply(Reply("0C110123"));
    read(0, 2);
    EXPECT_EQ(line_.requests().value(0), "\x02Z3200C5\x03");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(QStringLiteral("%1|%2|%3|%4").arg(valueText, unit).arg(alarm1).arg(alarm2), "-12.3||-1|-1");
    EXPECT_FLOAT_EQ(value, -12.3f);
    EXPECT_EQ(divisor, 10.0f);
    EXPECT_EQ(raw, float(0x0C11));
    EXPECT_EQ(reply, "\x02Z320C110123" + Sum("Z320C110123"));

    // One character short of the minimum for command 0, twice.
    line_.reply(Reply("0C11012"));
    line_.reply(Reply("0C11012"));
    read(0, 2);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(text, "Address 32:Returned message too short for reading for register 2 (00)");
}

TEST_F(ZarnTest, RefusalsReturnAtOnceWithTheirCodes)
{
    const std::tuple<const char*, int, const char*> cases[] = {
        {"\x02Z32N10\x06", 2, "Address 32:Undefined command from instrument for register 7 (0101)"},
        {"\x02Z32N02\x06", 1, "Address 32:Check-sum error on received data from Host from instrument for register 7 (0101)"},
        {"\x02Z32N00\x06", -1, "Address 32:Unknown or unused error code:  0 from instrument for register 7 (0101)"},
    };
    int sent = 0;
    for (const auto& [refusal, refusalCode, message] : cases) {
        line_.reply(refusal);
        read(0x101, 7);
        EXPECT_EQ(code, refusalCode);
        EXPECT_EQ(text, message);
        EXPECT_EQ(line_.requests().size(), ++sent);
    }
    line_.reply("\x02Z32N03\x06");
    write(0x201, 12, false, 9);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(text, "Address 32:Illegal Data Value response from instrument for register 9 (0201). Value= 12");
}

TEST_F(ZarnTest, WritesCarryTheirDataForm)
{
    const std::tuple<int, bool, const char*> writes[] = {
        {0x201, false, "\x02Z320201" "0025FF" "7B\x03"},
        {0x201, true, "\x02Z320201" "FFE700" "90\x03"},
        {0x400, false, "\x02Z320400" "29\x03"}, // commands from 400H carry no data
    };
    for (const auto& [cmd, hex, frame] : writes) {
        line_.reply(Reply(""));
        write(cmd, -25, hex);
        EXPECT_EQ(line_.requests().last(), frame);
        EXPECT_EQ(code, 0);
    }

    line_.reply(Reply(""));
    write(0x201, 32676, true);
    EXPECT_EQ(code, 0);
    write(0x201, 32677, true);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(text, "Address 32:Invalid Zarn Link Write Data Value for Register > 513 (0201). Value= 32677");
    write(0x201, 10000, false);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(line_.requests().size(), 4);
}

TEST_F(ZarnTest, RefusalsBeforeSending)
{
    read(-1);
    EXPECT_EQ(text, "Address 32:Invalid Zarn Link Read Register >-1 (FFFF)");
    read(0x201);
    EXPECT_EQ(text, "Address 32:Invalid Zarn Link Read Register (It is a write command.) > 513 (0201)");
    write(-2, 0, false);
    EXPECT_EQ(text, "Address 32:Invalid Write Zarn Link Register >-2 (FFFE)");
    EXPECT_TRUE(line_.requests().isEmpty());
}

// With the flag file present, reads of the same address keep more than 0.1 s
// apart, except command 0; other addresses are not held back.
TEST_F(ZarnTest, CommandGapOnlyForTheSameAddress)
{
    gCmdGapRequired = true;
    Clock::setFake(QDateTime(QDate(2026, 12, 9), QTime(10, 0), QTimeZone::utc()));
    for (const char* data : {"041234", "041234", "00041234", "041234", "041234"})
        line_.reply(Reply(data));
    // How long a read was held back, on the program's clock (only the wait moves it).
    const auto heldMs = [&](int cmd, int address) {
        const double before = Clock::timer();
        read(cmd, 0, address);
        EXPECT_EQ(code, 0);
        return qRound((Clock::timer() - before) * 1000);
    };
    EXPECT_EQ(heldMs(0x101, 50), 0);
    EXPECT_EQ(heldMs(0x101, 51), 0); // another address
    Clock::advanceMs(30);
    EXPECT_EQ(heldMs(0, 51), 0); // command 0 is never held back, but stamps
    Clock::advanceMs(30);
    // Held back until more than 0.1 s after that stamp.
    const int held = heldMs(0x101, 51);
    EXPECT_GT(30 + held, 100);
    EXPECT_LE(30 + held, 110);
    EXPECT_EQ(gLastZarnReadAddress, 51);
    Clock::advanceMs(101);
    EXPECT_EQ(heldMs(0x101, 51), 0); // the gap has passed already
    EXPECT_EQ(line_.requests().size(), 5);
}

} // namespace
