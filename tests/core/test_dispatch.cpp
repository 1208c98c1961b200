// Register dispatch through the simulator on a pseudo-terminal.
#include "dispatch_line.h"

using namespace modZarn;

namespace {
QString Str(const QByteArray& b) { return QString::fromLatin1(b); }
}

TEST_F(DispatchLineTest, RefusalsComeInOrderSendNothingAndKeepTheValue)
{
    struct Case {
        bool isWrite;
        int group;
        const char* code;
        int reg;
        const char* expected;
    } cases[] = {
        // group before protocol code before register range before table entry
        {false, 3, "X", 20481, "Address 001:Invalid controller group >3"},
        {true, -1, "Z", 2, "Address 001:Invalid controller group >-1"},
        {false, 0, "X", 20481, "Address 01:Invalid protocol code >X"},
        {true, 1, "z", 2, "Address 001:Invalid protocol code >z"},
        // known codes without a path for the group are refused, not ignored
        {false, 0, "A", 2, "Address 01:Invalid protocol code >A"},
        {true, 1, "Z", 20481, "Address 001:Invalid protocol code >Z"},
        {false, 2, "Z", 2, "Address 001:Invalid protocol code >Z"},
        {true, 2, "R", 2, "Address 001:Invalid protocol code >R"},
        {false, 1, "A", 20481, "Address 001:Invalid instrument Read Register > 20481"},
        {false, 0, "Z", 0, "Address 01:Invalid instrument Read Register > 0"},
        {false, 2, "A", 20481, "Address 001:Invalid instrument Read Register > 20481"},
        {true, 0, "Z", 20481, "Address 01:Invalid instrument Write Register > 20481"},
        {true, 2, "A", 0, "Address 001:Invalid instrument write Register > 0"},
        {false, 1, "A", 786, "Address 001:No valid Modbus read command found for register > 786"},
        {false, 0, "Z", 1028, "Address 01:No valid Zarn Link read command found for register > 1028"},
        {true, 0, "Z", 2, "Address 01:No valid Zarn Link write command found for register > 2"},
        {true, 2, "A", 4, "Address 001:No valid Modbus write command found for register > 4"},
    };
    sim_.clearLog();
    for (const Case& c : cases) {
        err = 0;
        text = QString();
        if (c.isWrite)
            write(c.group, c.code, 1, c.reg, 5);
        else
            EXPECT_EQ(read(c.group, c.code, 1, c.reg), 7.0f) << c.expected;
        EXPECT_EQ(err, 2) << c.expected;
        EXPECT_EQ(text, QString::fromUtf8(c.expected));
    }
    EXPECT_TRUE(sim_.requests().empty());

    // Group 0 over Modbus RTU has no range check of its own: the driver refuses.
    read(0, "R", 0x33, 0);
    EXPECT_EQ(err, -1);
    EXPECT_EQ(text, QStringLiteral("Address 33:Invalid Modbus Register > 0"));
}

TEST_F(DispatchLineTest, ModbusPathsTranslateAndChooseTheFunction)
{
    // group 0 RTU: the register itself (one less on the wire)
    EXPECT_EQ(read(0, "R", 0x33, 2), 12345.0f);
    EXPECT_EQ(lastRequest().left(4), QByteArray::fromHex("33030001"));
    // group 1: through the table, both protocols; 810H..816H are bits
    EXPECT_EQ(read(1, "R", 1, 2), 255.0f);
    EXPECT_EQ(lastRequest().left(4), QByteArray::fromHex("01031000"));
    EXPECT_EQ(read(1, "A", 1, 257), -12345.0f);
    EXPECT_TRUE(lastRequest().startsWith(":010310010001"));
    EXPECT_EQ(read(1, "R", 1, 0x810), 1.0f);
    EXPECT_EQ(lastRequest().left(4), QByteArray::fromHex("01020810"));
    EXPECT_EQ(err, 0);
    EXPECT_EQ(text, QString());
    // group 2: its own table
    EXPECT_EQ(read(2, "A", 2, 2), 255.0f);
    EXPECT_TRUE(lastRequest().startsWith(":020347000001"));

    write(0, "R", 0x33, 257, 600);
    EXPECT_EQ(lastRequest().left(4), QByteArray::fromHex("33100100"));
    write(1, "R", 1, 0x810, 1);
    EXPECT_EQ(lastRequest().left(6), QByteArray::fromHex("01050810FF00"));
    write(1, "A", 1, 257, 100);
    EXPECT_TRUE(lastRequest().startsWith(":010610010064"));
    write(2, "A", 2, 257, 10);
    EXPECT_TRUE(lastRequest().startsWith(":02064701000A"));
    EXPECT_EQ(err, 0);
    EXPECT_EQ(sim_.must("get 2 reg 0x4701"), "10");

    // A failed read returns 0, not the caller's value.
    EXPECT_EQ(read(1, "R", 9, 2), 0.0f);
    EXPECT_EQ(err, -1);
}

TEST_F(DispatchLineTest, ModelRegisterOfEachModbusGroup)
{
    EXPECT_EQ(read(1, "R", 1, 0x702), 22599.0f); // XG
    EXPECT_EQ(lastRequest().left(4), QByteArray::fromHex("01670012"));
    sim_.must("preg 1 0x12 2");
    EXPECT_EQ(read(1, "A", 1, 0x702), 21585.0f); // TQ
    sim_.must("preg 1 0x12 7");
    EXPECT_EQ(read(1, "R", 1, 0x702), 0.0f);
    // Group 2 is always an XH, even when nobody answers.
    EXPECT_EQ(read(2, "A", 2, 0x702), 22600.0f);
    EXPECT_EQ(read(2, "A", 9, 0x702), 22600.0f);
    EXPECT_EQ(err, -1);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Address 009:")));
}

TEST_F(DispatchLineTest, ZarnLinkValueRules)
{
    EXPECT_EQ(read(0, "Z", 0x32, 2), 123.0f);   // 12.3 without its decimal point
    EXPECT_TRUE(lastRequest().startsWith("\x02Z3200"));
    EXPECT_EQ(read(0, "Z", 0x32, 3), 2068.0f);  // raw 0814H
    EXPECT_EQ(read(0, "Z", 0x32, 4), -2.0f);    // raw FFFEH
    EXPECT_EQ(read(0, "Z", 0x32, 8), 1.0f);     // bit 0 of 13H
    EXPECT_EQ(read(0, "Z", 0x32, 290), -123.0f);
    EXPECT_EQ(read(0, "Z", 0x32, 292), 53.0f); // a whole number, not 52.9999962
    EXPECT_FLOAT_EQ(read(0, "Z", 0x32, 291), 12.3f); // odd: magnitude of the decoded value
    EXPECT_EQ(read(0, "Z", 0x32, 783), 18.0f);  // raw "12" read as hex
    EXPECT_EQ(read(0, "Z", 0x32, 1794), 4660.0f);
    EXPECT_EQ(read(0, "Z", 0x32, 1842), 258.0f);
    EXPECT_EQ(err, 0);
    // Undefined command: the refusal's code and 0 for the value.
    EXPECT_EQ(read(0, "Z", 0x32, 257), 0.0f);
    EXPECT_EQ(err, 2);
    EXPECT_EQ(text, QStringLiteral("Address 32:Undefined command from instrument for register 257 (0101)"));
}

TEST_F(DispatchLineTest, RegisterWordGatheredFromEightReads)
{
    sim_.clearLog();
    // 2,1,3,0,1,2,3,1 -> 9C6DH, a negative 16-bit word
    EXPECT_EQ(read(0, "Z", 0x32, 350), -25491.0f);
    EXPECT_EQ(err, 0);
    const auto reqs = sim_.requests();
    ASSERT_EQ(reqs.size(), 8u);
    EXPECT_TRUE(reqs[7].startsWith("\x02Z32016E"));

    // The fourth read fails: the caller's value stays, the error is the refusal.
    sim_.clearLog();
    EXPECT_EQ(read(0, "Z", 0x32, 351), 7.0f);
    EXPECT_EQ(err, 2);
    EXPECT_EQ(sim_.requests().size(), 4u);
    // The first read fails: the same.
    EXPECT_EQ(read(0, "Z", 0x40, 350), 7.0f);
    EXPECT_EQ(err, -1);
}

TEST_F(DispatchLineTest, ZarnLinkWriteRules)
{
    struct Case {
        int reg;
        float value;
        const char* sent; // command and data as they go on the wire
    } cases[] = {
        {783, 0, "0451"}, {783, 1, "0450"},        // K + 1 switches off
        {789, 0, "045C"}, {789, 1, "045D"},        // the other way round
        {274, 25, "02120025FF"}, {277, -25, "0215002500"}, // sign inverted
        {350, -1, "025EFFFF00"},                   // hexadecimal data
        {258, 12, "0202001200"},
        {803, 0, "046D"}, {803, 2, "046F"},        // one of four commands
    };
    for (const Case& c : cases) {
        write(0, "Z", 0x32, c.reg, c.value);
        EXPECT_EQ(err, 0) << c.sent << " " << text.toStdString();
        EXPECT_EQ(Str(lastRequest().mid(4, int(strlen(c.sent)))), QString::fromLatin1(c.sent));
    }

    sim_.clearLog();
    write(0, "Z", 0x32, 803, 4);
    EXPECT_EQ(err, 3);
    EXPECT_EQ(text, QStringLiteral("Address 32:Invalid instrument Write Data Value for Register > 803 (046D). Value= 4"));
    write(0, "Z", 0x32, 803, -1);
    EXPECT_EQ(text, QStringLiteral("Address 32:Invalid instrument Write Data Value for Register > 803 (046D). Value=-1"));
    EXPECT_TRUE(sim_.requests().empty());
}
