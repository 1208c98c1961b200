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

// A frame's first character alone on the line, longer than a Modbus RTU
// frame's end-of-frame silence, still opens a text frame; Modbus ASCII ends
// with CR LF, and an LF without its CR ends nothing that is answered.
TEST_F(SimulatorLine, ModbusAsciiIsFramedByItsStartAndCrLfNotBySilence)
{
    start("instrument 2 group 2 protocol A\nreg 2 0x4701 370\n", {"--gap", "5"});
    const QByteArray request = ":020347010001B2\r\n", reply = ":020302017286\r\n";
    for (int split : {1, 9, 16}) {
        SCOPED_TRACE(split);
        port.output(request.left(split));
        QThread::msleep(60); // the gap is what is judged here
        port.output(request.mid(split));
        EXPECT_EQ(collect(reply.size()), reply);
    }
    QByteArray noCr = request;
    noCr.remove(noCr.size() - 2, 1);
    port.output(noCr);
    EXPECT_EQ(collect(0, 200), QByteArray());
    port.output(request);
    EXPECT_EQ(collect(reply.size()), reply) << "the line is taken up again after a dropped frame";
}

// In turn, an instrument answers its own requests one after the other; a
// request to another instrument does not wait behind them.
TEST_F(SimulatorLine, InTurnEachInstrumentWorksThroughItsOwnRequests)
{
    start("instrument 1 group 1 protocol R\nreg 1 0 11\nreg 1 1 12\n"
          "instrument 2 group 1 protocol R\nreg 2 0 21\n",
          {"--delay", "100", "--in-turn"});
    // Two requests to instrument 1, then one to instrument 2.
    port.output(hex("01 03 00 00 00 01 84 0A " "01 03 00 01 00 01 D5 CA " "02 03 00 00 00 01 84 39"));
    const QByteArray got = collect(21);
    ASSERT_EQ(got.size(), 21) << got.toHex(' ').constData();
    for (const auto& [at, head] : {std::pair{0, "01 03 02 00 0B"}, {7, "02 03 02 00 15"}, {14, "01 03 02 00 0C"}})
        EXPECT_EQ(got.mid(at, 5), hex(head)) << at;
}

} // namespace
