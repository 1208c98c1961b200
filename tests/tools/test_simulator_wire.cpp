// The instrument simulator seen from the line: its answers must be the hand-computed ones.
#include <gtest/gtest.h>
#include <string>

#include "platform/serialport.h"
#include "sim-driver/simulator.h"

namespace {

const char STX = 2, ETX = 3, ACK = 6;

QByteArray hex(const char* spaced) { return QByteArray::fromHex(QByteArray(spaced).replace(' ', "")); }

QByteArray zarn(const QByteArray& inner, char end) { return QByteArray(1, STX) + inner + QByteArray(1, end); }

const char* const kLine = R"(
# three instruments, one of each protocol
instrument 1 group 1 protocol R
reg 1 0 1234
reg 1 0x0102 7
preg 1 0x0012 1
coil 1 0x0810 0
dinput 1 0x0810 1
instrument 50 group 0          # Zarn Link by default in group 0
zcmd 50 0x00 -12.3
zcmd 50 0x101 0.125 unit=F
zcmd 50 0x102 200 unit=C
zcmd 50 0x700 "V1.02"
instrument 3 group 2
reg 3 0x0102 1234
)";

class SimulatorWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start(kLine)) << sim.errorText();
        sim.bindCom(9);
        port.setCommPort(9);
        port.setPortOpen(true);
    }

    // Sends a request and collects the answer until `endsWith` closes it, or
    // `count` bytes are in, or nothing comes for a while (complete answers
    // end at once, silence is judged after a quiet spell).
    QByteArray exchange(const QByteArray& request, int count = 0, char endsWith = 0)
    {
        port.output(request);
        QByteArray got;
        while (!(count && got.size() >= count) && !(endsWith && got.endsWith(endsWith))
               && port.waitForInput(count || endsWith ? 3000 : 150))
            got += port.input();
        return got;
    }
    QByteArray rtu(const char* request, int replyLen) { return exchange(hex(request), replyLen); }
    QByteArray silent(const QByteArray& request) { return exchange(request); }

    SimProcess sim;
    SerialPortControl port;
};

} // namespace

TEST_F(SimulatorWire, ModbusRtuReadsWritesAndExceptions)
{
    EXPECT_EQ(rtu("01 03 00 00 00 01 84 0A", 7), hex("01 03 02 04 D2 3A D9"));
    EXPECT_EQ(rtu("01 04 00 00 00 01 31 CA", 7), hex("01 04 02 04 D2 3B AD")); // input falls back to holding
    EXPECT_EQ(rtu("01 67 00 12 00 01 55 C7", 7), hex("01 67 02 00 01 66 B4"));
    EXPECT_EQ(rtu("01 02 08 10 00 01 BA 6F", 6), hex("01 02 01 01 60 48"));
    // Unknown register: exception 2.
    EXPECT_EQ(rtu("01 03 00 01 00 01 D5 CA", 5), hex("01 83 02 C0 F1"));

    // Function 16 of -1 and function 5 "on" are echoed and stored.
    EXPECT_EQ(rtu("01 10 01 02 00 01 02 FF FF B6 C2", 8), hex("01 10 01 02 00 01 A1 F5"));
    EXPECT_EQ(sim.must("get 1 reg 0x0102"), "-1");
    EXPECT_EQ(rtu("01 05 08 10 FF 00 8F 9F", 8), hex("01 05 08 10 FF 00 8F 9F"));
    EXPECT_EQ(sim.must("get 1 coil 0x0810"), "1");
    // The line log keeps the exact request bytes.
    EXPECT_EQ(sim.requests().size(), 7u);
    EXPECT_EQ(sim.requests().at(5), hex("01 10 01 02 00 01 02 FF FF B6 C2"));
}

TEST_F(SimulatorWire, ModbusAsciiFrames)
{
    EXPECT_EQ(exchange(":030301020001F6\r\n", 0, '\n'), QByteArray(":03030204D222\r\n"));
    EXPECT_EQ(exchange(":030300010001F8\r\n", 0, '\n'), QByteArray(":03830278\r\n")); // exception 2
    EXPECT_EQ(exchange(":03060102FFFFF6\r\n", 0, '\n'), QByteArray(":03060102FFFFF6\r\n"));
    EXPECT_EQ(sim.must("get 3 reg 0x0102"), "-1");
    EXPECT_EQ(silent(":030301020001F7\r\n"), QByteArray()); // bad LRC
    EXPECT_EQ(silent(":010301020001F8\r\n"), QByteArray()); // address 1 speaks RTU only
}

TEST_F(SimulatorWire, ZarnLinkReadsWritesAndRefusals)
{
    // Read of command 0 at 32H: data "00" + "110123" (-12.3); checksum over "Z32" and the data.
    EXPECT_EQ(exchange(zarn("Z3200C5", ETX), 0, ACK), zarn("Z32" "00110123" "47", ACK));
    EXPECT_EQ(exchange(zarn("Z320101" "27", ETX), 0, ACK), zarn("Z32" "320125" "EC", ACK));
    EXPECT_EQ(exchange(zarn("Z320102" "28", ETX), 0, ACK).mid(4, 6), QByteArray("040200"));

    // Write of -25 to 201H: acknowledged and kept.
    EXPECT_EQ(exchange(zarn("Z3202010025FF" "7B", ETX), 0, ACK), zarn("Z32BF", ACK));
    EXPECT_EQ(sim.must("get 50 zwrite 0x201"), "\"0025FF\"");
    // Write commands from 400H carry no data.
    EXPECT_EQ(exchange(zarn("Z320400" "29", ETX), 0, ACK), zarn("Z32BF", ACK));

    // Refusals: bad checksum 02, undefined command 10, missing data 05.
    EXPECT_EQ(exchange(zarn("Z3200C6", ETX), 0, ACK), zarn("Z32N02", ACK));
    EXPECT_EQ(exchange(zarn("Z3277" "D3", ETX), 0, ACK), zarn("Z32N10", ACK));
    EXPECT_EQ(exchange(zarn("Z320201" "28", ETX), 0, ACK), zarn("Z32N05", ACK));
    EXPECT_EQ(silent(zarn("Z3300C6", ETX)), QByteArray()); // nobody at 33H
}

// A "Zarn Link" request with its checksum (the character sum of address, command and data).
QByteArray zarnRequest(const QByteArray& inner)
{
    unsigned sum = 0;
    for (char c : inner)
        sum += static_cast<unsigned char>(c);
    return zarn("Z" + inner + QByteArray::number(sum % 256, 16).toUpper().rightJustified(2, '0'), ETX);
}

TEST_F(SimulatorWire, ZarnLinkWritesAreAnsweredByTheMatchingRead)
{
    const QByteArray ack = zarn("Z32BF", ACK);
    const auto write = [&](const char* inner) { return exchange(zarnRequest(inner), 0, ACK); };
    // A value command 2xxH goes to its read 1xxH, which keeps its decimals and unit:
    // 0.125 °F (three decimals) written as -250 reads -0.250 °F; 200 °C as 215.
    EXPECT_EQ(write("320201" "0250FF"), ack);
    EXPECT_EQ(sim.must("get 50 zcmd 0x101"), "\"330250\"");
    EXPECT_EQ(write("320202" "021500"), ack);
    EXPECT_EQ(exchange(zarnRequest("320102"), 0, ACK).mid(4, 6), QByteArray("040215"));
    // Data that is no number of the command's form, or more than a data field
    // holds, is refused with 03 and changes nothing: the read answers the old
    // value and the record of the last write taken stays as it was.
    sim.must("zwrite 50 0x203 0x102 data=hex");
    const struct {
        const char* inner;
        const char* command;
        const char* kept;
    } refused[] = {
        {"320202" "0A1500", "0x202", "\"021500\""}, // a letter among the decimal digits
        {"320202" "0215AB", "0x202", "\"021500\""}, // neither 00 nor FF after the digits
        {"320203" "271000", "0x203", "none"},       // 10000: more than four digits
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.inner);
        EXPECT_EQ(write(r.inner), zarn("Z32N03", ACK));
        EXPECT_EQ(sim.must(std::string("get 50 zwrite ") + r.command), r.kept);
        EXPECT_EQ(exchange(zarnRequest("320102"), 0, ACK).mid(4, 6), QByteArray("040215"));
    }
    // A write whose read is not served changes no read.
    EXPECT_EQ(write("320277" "000100"), ack);
    EXPECT_EQ(sim.must("get 50 zcmd 0x177"), "none");

    // Declared writes: hexadecimal data, a word spread two bits at a time over
    // eight reads, a turned sign, and commands that stand for their value.
    EXPECT_EQ(write("320203" "FFF600"), ack);
    EXPECT_EQ(sim.must("get 50 zcmd 0x102"), "\"050010\""); // -10 °C
    sim.must("zcmd 50 0x160 \"0A0000\"");
    sim.must("zwrite 50 0x25E 0x160 data=pairs");
    EXPECT_EQ(write("32025E" "80C100"), ack);
    const char* const pairs[] = {"8A0000", "000000", "000000", "000000", "C00000", "000000", "000000", "400000"};
    for (unsigned i = 0; i < 8; ++i)
        EXPECT_EQ(sim.must("get 50 zcmd " + std::to_string(0x160 + 2 * i)), "\"" + std::string(pairs[i]) + "\"") << i;
    sim.must("zwrite 50 0x212 0x101 negate");
    EXPECT_EQ(write("320212" "001500"), ack);
    EXPECT_EQ(sim.must("get 50 zcmd 0x101"), "\"330015\"");
    sim.must("zwrite 50 0x450 0x30F value=1");
    sim.must("zwrite 50 0x451 0x30F value=0");
    EXPECT_EQ(write("320450"), ack);
    EXPECT_EQ(sim.must("get 50 zcmd 0x30F"), "\"01\"");
    EXPECT_EQ(write("320451"), ack);
    EXPECT_EQ(sim.must("get 50 zcmd 0x30F"), "\"00\"");
    sim.must("zwrite 50 0x40A 0x00 value=1 bit=15");
    EXPECT_EQ(write("32040A"), ack);
    EXPECT_EQ(exchange(zarnRequest("3200"), 0, ACK).mid(4, 8), QByteArray("80110123")); // -12.3 kept
    // A refused write takes nothing.
    sim.must("fault 50 nak:06");
    EXPECT_EQ(write("320202" "003000"), zarn("Z32N06", ACK));
    EXPECT_EQ(sim.must("get 50 zcmd 0x102"), "\"050010\"");

    for (const char* wrong : {"zwrite 50 0x450 0x30F", "zwrite 50 0x202 0x102 value=3", "zwrite 50 0x102 0x102",
                              "zwrite 50 0x450 0x30F value=2 bit=1", "zwrite 50 0x202 0x102 data=oct"})
        EXPECT_EQ(sim.command(wrong).rfind("ERR", 0), 0u) << wrong;
}

TEST(SimulatorStart, DescriptionErrorsNameTheLine)
{
    SimProcess sim;
    EXPECT_FALSE(sim.start("instrument 1 group 1\nreg 1 0x10\n"));
    EXPECT_NE(sim.errorText().find(":2:"), std::string::npos) << sim.errorText();
    EXPECT_FALSE(sim.start("zcmd 50 0x101 1\n")); // undeclared instrument
    EXPECT_FALSE(sim.start("instrument 50\nzcmd 50 0x101 12345\n")); // five digits
}
