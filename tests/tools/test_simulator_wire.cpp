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

TEST(SimulatorStart, DescriptionErrorsNameTheLine)
{
    SimProcess sim;
    EXPECT_FALSE(sim.start("instrument 1 group 1\nreg 1 0x10\n"));
    EXPECT_NE(sim.errorText().find(":2:"), std::string::npos) << sim.errorText();
    EXPECT_FALSE(sim.start("zcmd 50 0x101 1\n")); // undeclared instrument
    EXPECT_FALSE(sim.start("instrument 50\nzcmd 50 0x101 12345\n")); // five digits
}
