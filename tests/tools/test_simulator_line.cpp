// The simulator as a line of instruments: text frames at the pace of hand
// typing, and instruments that each work on their own requests.
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

} // namespace
