// The simulator as a line of instruments: text frames at the pace of hand
// typing, instruments that each work on their own requests, and working set
// points that follow the set point.
#include <QThread>
#include <gtest/gtest.h>

#include "platform/serialport.h"
#include "sim-driver/simulator.h"

namespace {

QByteArray hex(const char* spaced) { return QByteArray::fromHex(QByteArray(spaced).replace(' ', "")); }

class SimulatorLine : public ::testing::Test {
protected:
    void start(const char* line, const std::vector<std::string>& options = {})
    {
        ASSERT_TRUE(sim.start(line, options)) << sim.errorText();
        sim.bindCom(9);
        port.setCommPort(9);
        port.setPortOpen(true);
    }
    // What arrives until `count` bytes are in, or until nothing comes for `quietMs`.
    QByteArray collect(int count, int quietMs = 3000)
    {
        QByteArray got;
        while ((!count || got.size() < count) && port.waitForInput(quietMs))
            got += port.input();
        return got;
    }

    SimProcess sim;
    SerialPortControl port;
};

const char* const kAsciiLine = "instrument 2 group 2 protocol A\nreg 2 0x4701 370\n";
const QByteArray kRequest = ":020347010001B2\r\n";
const QByteArray kReply = ":020302017286\r\n";

// A frame's first character alone on the line, longer than a Modbus RTU
// frame's end-of-frame silence, still opens a text frame; Modbus ASCII ends
// with CR LF, and an LF without its CR ends nothing that is answered.
TEST_F(SimulatorLine, ModbusAsciiIsFramedByItsStartAndCrLfNotBySilence)
{
    start(kAsciiLine, {"--gap", "5"});
    for (int split : {1, 9, 16}) {
        SCOPED_TRACE(split);
        port.output(kRequest.left(split));
        QThread::msleep(60); // the gap is what is judged here
        port.output(kRequest.mid(split));
        EXPECT_EQ(collect(kReply.size()), kReply);
    }
    QByteArray noCr = kRequest;
    noCr.remove(noCr.size() - 2, 1);
    port.output(noCr);
    EXPECT_EQ(collect(0, 200), QByteArray());
    port.output(kRequest);
    EXPECT_EQ(collect(kReply.size()), kReply) << "the line is taken up again after a dropped frame";
}

// In turn, an instrument answers its own requests one after the other; a
// request to another instrument does not wait behind them.
TEST_F(SimulatorLine, InTurnEachInstrumentWorksThroughItsOwnRequests)
{
    start("instrument 1 group 1 protocol R\nreg 1 0 11\nreg 1 1 12\n"
          "instrument 2 group 1 protocol R\nreg 2 0 21\n",
          {"--delay", "100", "--in-turn"});
    const QByteArray first = hex("01 03 00 00 00 01 84 0A"), second = hex("01 03 00 01 00 01 D5 CA"),
                     other = hex("02 03 00 00 00 01 84 39");
    port.output(first + second + other);
    const QByteArray got = collect(21);
    ASSERT_EQ(got.size(), 21) << got.toHex(' ').constData();
    EXPECT_EQ(got.mid(0, 7).left(5), hex("01 03 02 00 0B"));
    EXPECT_EQ(got.mid(7, 7).left(5), hex("02 03 02 00 15"));
    EXPECT_EQ(got.mid(14, 7).left(5), hex("01 03 02 00 0C"));
}

// A working set point follows its set point, written on the line or set
// from the control channel, while the ramp/soak run flag reads 0; while a
// programme runs it keeps its value.
TEST_F(SimulatorLine, AWorkingSetPointFollowsItsSetPointWhileNoProgrammeRuns)
{
    start(R"(instrument 51 group 0 protocol R
             reg 51 256 750
             reg 51 257 800
             reg 51 785 0
             setpoint 51 reg 256 257 ramp 785
             instrument 50 group 0 protocol Z
             zcmd 50 0x101 75.0 unit=F
             zcmd 50 0x102 80.0 unit=F
             zcmd 50 0x312 0
             setpoint 50 zcmd 0x101 0x102 ramp 0x312)");
    EXPECT_EQ(sim.must("get 51 reg 256"), "800");
    EXPECT_EQ(sim.must("get 50 zcmd 0x101"), "\"120800\"");

    // Written on the line: function 6 of 850 to SP1, "Zarn Link" 202H of 85.0 °F.
    port.output(hex("33 06 01 01 03 52 5C E9"));
    EXPECT_EQ(collect(8), hex("33 06 01 01 03 52 5C E9"));
    EXPECT_EQ(sim.must("get 51 reg 256"), "850");
    port.output(QByteArray("\x02Z32" "0202" "085000" "56\x03"));
    EXPECT_EQ(collect(7), QByteArray("\x02Z32BF\x06"));
    EXPECT_EQ(sim.must("get 50 zcmd 0x101"), "\"120850\"");

    // A programme runs: the working set point holds; it follows again once the programme stops.
    sim.must("reg 51 785 1");
    sim.must("zcmd 50 0x312 1");
    sim.must("reg 51 257 900");
    sim.must("zcmd 50 0x102 90.0 unit=F");
    EXPECT_EQ(sim.must("get 51 reg 256"), "850");
    EXPECT_EQ(sim.must("get 50 zcmd 0x101"), "\"120850\"");
    sim.must("reg 51 785 0");
    sim.must("zcmd 50 0x312 0");
    EXPECT_EQ(sim.must("get 51 reg 256"), "900");
    EXPECT_EQ(sim.must("get 50 zcmd 0x101"), "\"120900\"");

    for (const char* wrong : {"setpoint 51 reg 256", "setpoint 51 coil 1 2", "setpoint 51 reg 256 257 ramp",
                              "setpoint 51 reg 256 257 run 785"})
        EXPECT_EQ(sim.command(wrong).rfind("ERR", 0), 0u) << wrong;
}

} // namespace
