// Modbus ASCII driver on a scripted pseudo-terminal line.
#include "transport_line.h"

using namespace modZarn;

namespace {

// ":" + the pairs + their LRC + CR LF.
QByteArray Ascii(const char* hex)
{
    const QByteArray b = QByteArray::fromHex(hex);
    int sum = 0;
    for (char c : b)
        sum += static_cast<unsigned char>(c);
    return ":" + b.toHex().toUpper() + QByteArray::number((-sum) & 0xFF, 16).toUpper().rightJustified(2, '0')
        + "\r\n";
}

class AsciiTest : public LineTest {
protected:
    void read(int reg, int type, int count) { ModbusRead_A(1, 0, text, code, 1, reg, type, count, values); }
    void write(int reg, int type, int count) { ModbusWrite_A(1, 0, text, code, 1, reg, type, count, values); }
    QString text;
    int code = 99;
    QVector<float> values = QVector<float>(80, 7.0f);
};

TEST_F(AsciiTest, ReadsWithTheExactFrameAndDecodesWords)
{
    EXPECT_EQ(Ascii("010301020001"), ":010301020001F8\r\n");
    line_.reply(":01030204D224\r\n");
    read(0x102, 3, 1);
    EXPECT_EQ(line_.requests().value(0), ":010301020001F8\r\n");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(values[1], 1234.0f);

    // A long reply: the checksum sum goes far beyond 16 bits and must still agree.
    line_.reply(Ascii(("0103" + QByteArray("8c") + QByteArray(140, '\xff').toHex()).constData()));
    read(0x102, 3, 70);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(values[70], -1.0f);
}

TEST_F(AsciiTest, WritesSendOneValueAndKeepTheCallersValue)
{
    const std::tuple<float, int, const char*> writes[] = {
        {-1, 3, ":01060102FFFFF8\r\n"}, {100.7f, 3, ":01060102006492\r\n"}, {1, 1, ":01050102FF00F8\r\n"}};
    for (const auto& [value, type, frame] : writes) {
        values[1] = value;
        line_.reply(frame);
        write(0x102, type, 1);
        EXPECT_EQ(line_.requests().last(), frame);
        EXPECT_EQ(code, 0);
    }
    EXPECT_EQ(values[1], 1.0f);

    line_.reply(Ascii("010501020000"));
    line_.reply(Ascii("010501020000"));
    write(0x102, 1, 1);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(text, "Address 001:Incorrect Register Count Returned from instrument at register 102H");
    EXPECT_EQ(line_.requests().size(), 5);
}

TEST_F(AsciiTest, ReplyDigitsCountInEitherCase)
{
    // Frames written out by hand: the LRC is over the bytes, whatever the
    // case of the digits that spell them.
    const std::pair<const char*, float> reads[] = {
        {":01030204d224\r\n", 1234}, // 01+03+02+04+D2 = DC, LRC 24
        {":0103020001f9\r\n", 1},    // 01+03+02+00+01 = 07, LRC F9
        {":010302fffffc\r\n", -1},   // 01+03+02+FF+FF = 04 (mod 256), LRC FC
        {":01030204D2FC\r\n", 0},    // FC is no LRC of these bytes, in either case
    };
    for (const auto& [reply, value] : reads) {
        values[1] = 7;
        line_.reply(reply);
        if (value == 0)
            line_.reply(reply); // the second attempt
        read(0x102, 3, 1);
        if (value == 0) {
            EXPECT_EQ(code, -1) << reply;
            EXPECT_EQ(text, "Address 001:Checksum error from instrument at register 102H");
            EXPECT_EQ(values[1], 7.0f);
        } else {
            EXPECT_EQ(code, 0) << reply;
            EXPECT_EQ(values[1], value) << reply;
        }
    }
    // A character that is no hexadecimal digit is noise, not a number.
    line_.reply(":01030204Z224\r\n");
    line_.reply(":01030204Z224\r\n");
    read(0x102, 3, 1);
    EXPECT_EQ(text, "Address 001:Checksum error from instrument at register 102H");

    // A write's echo in lower case is the same echo.
    values[1] = -1;
    line_.reply(":01060102fffff8\r\n");
    write(0x102, 3, 1);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(text, "");
}

} // namespace
