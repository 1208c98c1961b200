// The drivers against the instrument simulator, whose framing is written independently of ours.
#include <QElapsedTimer>
#include <functional>

#include "core/dispatch.h"
#include "core/transports.h"
#include "support/simline.h"

using namespace modZarn;

namespace {

const char* const kLine = R"(
instrument 50 group 0 protocol Z
zcmd 50 0x101 -12.3
instrument 1 group 1 protocol R
reg 1 0x102 1234
instrument 2 group 2 protocol A
reg 2 0x102 -5
)";

class SimTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        startLine(kLine, 300);
    }
    // Register 102H of instrument 1 (RTU) or 2 (ASCII), or command 101H of 50 ("Zarn Link").
    void readFrom(int address)
    {
        if (address == 1)
            ModbusRead_R(1, 0, text, code, 1, 0x102, 3, 1, values);
        else if (address == 2)
            ModbusRead_A(2, 0, text, code, 2, 0x102, 3, 1, values);
        else
            zread(0x101);
    }
    void zread(int cmd)
    {
        ZarnLinkRead(text, code, 50, cmd, valueText, unit, format, value, divisor, alarm1, alarm2, 0, reply, raw);
    }

    QString text, valueText, unit, format;
    int code = 99, alarm1 = 0, alarm2 = 0;
    float value = 0, divisor = 0, raw = 0;
    QByteArray reply;
    QVector<float> values = QVector<float>(4, 0);
};

// A line that answers with characters faster than they are taken and never
// ends the reply: each attempt fails as soon as the reply is longer than any
// the protocol sends, well inside the time-outs, and nothing grows without
// bound on the way.
TEST_F(SimTest, EndlessRepliesFailEachAttemptAtOnce)
{
    const std::tuple<int, const char*> cases[] = {
        {2, "Address 002:Response too long from instrument at register 102H"},
        {50, "Address 32:Response but no <ACK> received for command 0101"},
        // RTU takes no more than the reply's length.
        {1, "Address 001:Bad CRC or communications noise from instrument at register 102H"},
    };
    for (const auto& [address, message] : cases) {
        sim_.stop(); // a fresh line each time: a flood outlasts the call
        startLine(kLine, 300);
        sim_.must("fault " + std::to_string(address) + " flood:3000 count=0");
        QElapsedTimer t;
        t.start();
        readFrom(address);
        EXPECT_LT(t.elapsed(), 2 * 300) << message;
        EXPECT_EQ(code, -1) << message;
        EXPECT_EQ(text, message);
        if (address == 50)
            EXPECT_EQ(reply.size(), 255); // what the last attempt kept
        EXPECT_LE(CommPort().inBufferCount(), 64 * 1024) << message;
    }
}

// Every read and write routine refuses an address that is no instrument's,
// also where its low byte would be one (257 is 001, -1 is 255, 133H is 33H):
// nothing reaches the line, and the text names the address as it was given.
TEST_F(SimTest, AddressesOffTheLineAreRefusedBeforeAnythingIsSent)
{
    // The address, as group 0 writes it, as groups 1 and 2 write it.
    const std::tuple<int, const char*, const char*> addresses[] = {
        {0, "00", "000"},     {256, "100", "256"},   {257, "101", "257"},   {300, "12C", "300"},
        {-1, "FFFF", "-001"}, {0x1FF, "1FF", "511"}, {0x133, "133", "307"},
    };
    float spare = 7;
    QString more, units, formats;
    const std::tuple<const char*, int, std::function<void(int)>> routines[] = {
        {"ModbusRead_R", 1, [&](int a) { ModbusRead_R(1, 0, text, code, a, 0x102, 3, 1, values); }},
        {"ModbusWrite_R", 1, [&](int a) { ModbusWrite_R(1, 0, text, code, a, 0x102, 3, 1, values); }},
        {"ModbusRead_A", 2, [&](int a) { ModbusRead_A(2, 0, text, code, a, 0x102, 3, 1, values); }},
        {"ModbusWrite_A", 2, [&](int a) { ModbusWrite_A(2, 0, text, code, a, 0x102, 1, 1, values); }},
        {"ZarnLinkRead", 0,
         [&](int a) {
             ZarnLinkRead(text, code, a, 0x101, valueText, unit, format, value, divisor, alarm1, alarm2, 0, reply,
                          raw);
         }},
        {"ZarnLinkWrite", 0, [&](int a) { ZarnLinkWrite(text, code, a, 0x201, 5, 0, reply, false); }},
        {"read, group 0 Z", 0, [&](int a) { ReadInstrumentRegister(0, "Z", text, code, a, 2, spare); }},
        {"write, group 0 R", 0, [&](int a) { WriteInstrumentRegister(0, "R", text, code, a, 2, 5); }},
        {"read, group 1 A", 1, [&](int a) { ReadInstrumentRegister(1, "A", text, code, a, 20481, spare); }},
        {"write, group 2 A", 2, [&](int a) { WriteInstrumentRegister(2, "A", text, code, a, 2, 5); }},
        {"process value, group 0 R", 0,
         [&](int a) {
             ReadProcessValue(0, "R", text, code, a, 2, more, units, formats, spare, divisor, alarm1, alarm2);
         }},
    };
    sim_.clearLog();
    for (const auto& [routine, group, call] : routines) {
        for (const auto& [address, hex, decimal] : addresses) {
            SCOPED_TRACE(std::string(routine) + " " + std::to_string(address));
            code = 99;
            text.clear();
            values[1] = 7;
            call(address);
            EXPECT_EQ(code, -1);
            EXPECT_EQ(text, group == 0 ? QStringLiteral("Address %1:Invalid instrument address, it must be 01 to FF").arg(hex)
                                       : QStringLiteral("Address %1:Invalid instrument address, it must be 001 to 255")
                                             .arg(decimal));
            EXPECT_EQ(values[1], 7.0f);
            EXPECT_EQ(spare, 7.0f);
        }
    }
    EXPECT_TRUE(sim_.requests().empty()) << sim_.requests().front().toHex().toStdString();
    // The line itself is sound: the first good address is answered.
    readFrom(1);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(sim_.requests().size(), 1u);
}

// An instrument slower than the time-out: whatever it answers late, a read
// shows the answer to its own request or fails, never the other register's.
class LateTest : public SimLineTest {
protected:
    // Two registers (111 and 222) of one instrument read in turn, `reads`
    // times, in Modbus RTU ('R'), Modbus ASCII ('A') or "Zarn Link" ('Z'):
    // a read's reply names neither its register nor its command. The number
    // of reads that returned their own value; any other value fails.
    int readInTurn(int reads, char protocol = 'R')
    {
        int own = 0;
        for (int i = 0; i < reads; ++i) {
            const int which = i % 2;
            float got = 7;
            if (protocol == 'Z') {
                QString valueText, unit, format;
                float divisor = 0, raw = 0;
                int alarm1 = 0, alarm2 = 0;
                QByteArray reply;
                ZarnLinkRead(text, code, 50, 0x101 + which, valueText, unit, format, got, divisor, alarm1, alarm2,
                             0, reply, raw);
            } else {
                values[1] = 7;
                if (protocol == 'A')
                    ModbusRead_A(2, 0, text, code, 2, 0x102 + which, 3, 1, values);
                else
                    ModbusRead_R(1, 0, text, code, 1, 0x102 + which, 3, 1, values);
                got = values[1];
            }
            if (code == 0) {
                EXPECT_EQ(got, which == 0 ? 111.0f : 222.0f) << "read " << i;
                ++own;
            } else {
                EXPECT_EQ(got, 7.0f) << "read " << i << ": " << text.toStdString();
            }
        }
        return own;
    }
    QString text;
    int code = 99;
    QVector<float> values = QVector<float>(2, 7.0f);
};

const char* const kTwoRegisters = R"(
instrument 1 group 1 protocol R
reg 1 0x102 111
reg 1 0x103 222
instrument 2 group 2 protocol A
reg 2 0x102 111
reg 2 0x103 222
instrument 50 group 0 protocol Z
zcmd 50 0x101 111 unit=none
zcmd 50 0x102 222 unit=none
)";

TEST_F(LateTest, RepliesLaterThanAShortTimeOutStillAnswerTheirOwnRequest)
{
    // A one-register read at 9600 baud is answered 15.6 ms after its request;
    // no attempt is shorter than the clock's step of about 20 ms.
    for (const int timeOut : {10, 19}) {
        SCOPED_TRACE(timeOut);
        sim_.stop();
        startLine(kTwoRegisters, timeOut, {"--delay", "15.6"});
        EXPECT_GT(readInTurn(40), 0);
    }
}

TEST_F(LateTest, ALateReplyIsNeverTakenForTheNextRequest)
{
    // Every answer 150 ms after its request, with a time-out of 100 ms: the
    // first attempt fails, the second hears the first's answer, and the
    // second's answer comes while the next register is about to be asked.
    startLine(kTwoRegisters, 100, {"--delay", "150"});
    EXPECT_EQ(readInTurn(6), 6);

    // One answer later than both attempts: the read fails, and the answer
    // that comes after it is not shown for the next register.
    sim_.stop();
    startLine(kTwoRegisters, 200);
    sim_.must("fault 1 slow:440");
    sim_.must("fault 1 silence");
    values[1] = 7;
    ModbusRead_R(1, 0, text, code, 1, 0x102, 3, 1, values);
    EXPECT_EQ(code, -1);
    ModbusRead_R(1, 0, text, code, 1, 0x103, 3, 1, values);
    EXPECT_EQ(code, 0) << text.toStdString();
    EXPECT_EQ(values[1], 222.0f);
}

// An instrument that works on one request at a time and takes k time-outs
// over each: the answer to a read's second attempt comes a whole delay after
// the answer to its first, later than both attempts once k reaches 2. Read
// in turn, each read shows its own register or fails, in every protocol.
class LateInTurnTest : public LateTest, public ::testing::WithParamInterface<std::tuple<char, int>> {};

TEST_P(LateInTurnTest, EveryLatenessUpToTwoAndAHalfTimeOuts)
{
    const auto [protocol, timeOut] = GetParam();
    const int reads = timeOut <= 20 ? 16 : timeOut <= 100 ? 8 : 4;
    for (const double k : {1.0, 1.5, 2.0, 2.5}) {
        SCOPED_TRACE(testing::Message() << "k = " << k);
        sim_.stop();
        startLine(kTwoRegisters, timeOut, {"--delay", std::to_string(k * timeOut), "--in-turn"});
        const int own = readInTurn(reads, protocol);
        if (k <= 1.5)
            EXPECT_GT(own, 0) << "an answer within the attempts is taken";
    }
}

INSTANTIATE_TEST_SUITE_P(Protocols, LateInTurnTest,
                         ::testing::Combine(::testing::Values('R', 'A', 'Z'), ::testing::Values(20, 100, 500)),
                         [](const auto& info) {
                             return std::string(1, std::get<0>(info.param)) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "ms";
                         });

} // namespace
