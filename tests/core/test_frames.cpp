// The drivers' side of the line seam, bytes in and results out: telling a
// reply complete, and what an exchange makes of a line that loses its device.
#include <functional>

#include "core/exchange.h"
#include "core/transports.h"
#include "support/testenv.h"

using namespace modZarn;
using xchg::Collect;
using xchg::ReplyFramer;

namespace {

// A line that answers every exchange as told and counts the exchanges.
class FakeLine : public xchg::Line {
public:
    Collect answer = Collect::Gone;
    int exchanges = 0;
    Collect exchange(const QByteArray&, ReplyFramer&) override
    {
        ++exchanges;
        return answer;
    }
};

class LineGoneTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        xchg::UseLine(&line);
        gCommOK = true;
    }
    void TearDown() override
    {
        xchg::UseLine(nullptr);
        QxTest::TearDown();
    }
    FakeLine line;
};

TEST_F(LineGoneTest, AGoneDeviceEndsTheCallAtOnceWithItsText)
{
    QString text, vt, unit, format;
    int code = 0, a1 = 0, a2 = 0;
    float value = 0, divisor = 0, raw = 0;
    QByteArray reply;
    QVector<float> values(2, 7.0f);
    ModbusRead_R(1, 258, text, code, 1, 0x102, 3, 1, values);
    EXPECT_EQ(text, "Address 001:Communications Disabled - the comm port's device has gone");
    ModbusWrite_A(2, 0, text, code, 2, 0x102, 3, 1, values);
    EXPECT_EQ(text, "Address 002:Communications Disabled - the comm port's device has gone");
    ZarnLinkRead(text, code, 0x32, 0, vt, unit, format, value, divisor, a1, a2, 2, reply, raw);
    EXPECT_EQ(text, "Address 32:Communications Disabled - the comm port's device has gone");
    EXPECT_EQ(code, -1);
    EXPECT_EQ(values[1], 7.0f);
    EXPECT_EQ(line.exchanges, 3); // no second attempts

    // Once communications are disabled for it, nothing is sent and the text stays.
    gCommOK = false;
    xchg::SetLineGone(true);
    ModbusRead_A(1, 0, text, code, 1, 5, 3, 1, values);
    EXPECT_EQ(text, "Address 001:Communications Disabled - the comm port's device has gone");
    xchg::SetLineGone(false);
    ModbusRead_A(1, 0, text, code, 1, 5, 3, 1, values);
    EXPECT_EQ(text, "Address 001:Selected comm port is not open.");
    EXPECT_EQ(line.exchanges, 3);

    // An endless reply fails each of the two attempts.
    gCommOK = true;
    line.answer = Collect::TooLong;
    ModbusRead_A(2, 0, text, code, 2, 0x102, 3, 1, values);
    EXPECT_EQ(text, "Address 002:Response too long from instrument at register 102H");
    EXPECT_EQ(line.exchanges, 5);

    // A reply with a character that failed its parity fails each attempt as
    // a bad checksum does, whatever the reply's own check says.
    line.answer = Collect::Noise;
    const std::pair<std::function<void()>, const char*> noisy[] = {
        {[&] { ModbusRead_R(1, 258, text, code, 1, 0x102, 3, 1, values); },
         "Address 001:Bad CRC or communications noise from instrument at register 102H (258)"},
        {[&] { ModbusRead_A(2, 0, text, code, 2, 0x102, 3, 1, values); },
         "Address 002:Checksum error from instrument at register 102H"},
        {[&] { ZarnLinkRead(text, code, 0x32, 0, vt, unit, format, value, divisor, a1, a2, 2, reply, raw); },
         "Address 32:Check-sum error on received data from instrument for register 2 (00)"},
    };
    for (const auto& [read, message] : noisy) {
        code = 0;
        read();
        EXPECT_EQ(text, message);
        EXPECT_EQ(code, -1);
    }
    EXPECT_EQ(values[1], 7.0f);
    EXPECT_EQ(line.exchanges, 11);
}

} // namespace
