// Register dispatch through the simulator on a pseudo-terminal.
#include "dispatch_line.h"

TEST_F(DispatchLineTest, RefusalsComeInOrderSendNothingAndKeepTheValue)
{
    const std::tuple<bool, int, const char*, int, const char*> cases[] = { // write?, group, code, register
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
        {true, 0, "Z", 20481, "Address 01:Invalid instrument Write Register > 20481"},
        {true, 2, "A", 0, "Address 001:Invalid instrument write Register > 0"},
        {false, 1, "A", 786, "Address 001:No valid Modbus read command found for register > 786"},
        {false, 0, "Z", 1028, "Address 01:No valid Zarn Link read command found for register > 1028"},
        {true, 0, "Z", 2, "Address 01:No valid Zarn Link write command found for register > 2"},
        {true, 2, "A", 789, "Address 001:No valid Modbus write command found for register > 789"},
    };
    sim_.clearLog();
    for (const auto& [isWrite, group, code, reg, expected] : cases) {
        err = 0;
        text.clear();
        if (isWrite)
            write(group, code, 1, reg, 5);
        else
            EXPECT_EQ(read(group, code, 1, reg), 7.0f) << expected;
        EXPECT_EQ(err, 2) << expected;
        EXPECT_EQ(text, QString::fromUtf8(expected));
    }
    EXPECT_TRUE(sim_.requests().empty());

    // Group 0 over Modbus RTU has no range check of its own: the driver refuses.
    read(0, "R", 0x33, 0);
    EXPECT_EQ(text, QStringLiteral("Address 33:Invalid Modbus Register > 0"));
}

TEST_F(DispatchLineTest, ModbusPathsTranslateAndChooseTheFunction)
{
    // group, code, address, register, value written (7: a read), value read, start of the request
    const std::tuple<int, const char*, int, int, float, float, QByteArray> rows[] = {
        {0, "R", 0x33, 2, 7, 12345, QByteArray::fromHex("33030001")}, // one less on the wire
        {1, "A", 1, 257, 7, -12345, ":010310010001"},
        {1, "R", 1, 0x810, 7, 1, QByteArray::fromHex("01020810")},    // a discrete input
        {1, "R", 1, 0x702, 7, 22599, QByteArray::fromHex("01670012")}, // product type 1: XG
        {2, "A", 2, 2, 7, 255, ":020347000001"},
        {0, "R", 0x33, 257, 600, 7, QByteArray::fromHex("33100100")},
        {1, "R", 1, 0x810, 1, 7, QByteArray::fromHex("01050810FF00")}, // a coil
        {1, "A", 1, 257, 100, 7, ":010610010064"},
        {2, "A", 2, 257, 10, 7, ":02064701000A"},
    };
    for (const auto& [group, code, address, reg, written, got, request] : rows) {
        if (written != 7)
            write(group, code, address, reg, written);
        else
            EXPECT_EQ(read(group, code, address, reg), got) << request.toHex().data();
        EXPECT_EQ(err, 0);
        EXPECT_TRUE(lastRequest().startsWith(request)) << lastRequest().toHex().data();
    }

    // Group 2 is always an XH, even when nobody answers.
    EXPECT_EQ(read(2, "A", 2, 0x702), 22600.0f);
    EXPECT_EQ(read(2, "A", 9, 0x702), 22600.0f);
    EXPECT_EQ(err, -1);
    // Any other failed read returns 0, not the caller's value.
    EXPECT_EQ(read(1, "R", 9, 2), 0.0f);
}

TEST_F(DispatchLineTest, RegisterWordGatheredFromEightReads)
{
    sim_.clearLog();
    EXPECT_EQ(read(0, "Z", 0x32, 350), -25491.0f); // 9C6DH
    EXPECT_EQ(err, 0);
    const auto reqs = sim_.requests();
    ASSERT_EQ(reqs.size(), 8u);
    EXPECT_TRUE(reqs[7].startsWith("\x02Z32016E"));

    // The fourth read fails: the caller's value stays, the error is the refusal's.
    sim_.clearLog();
    EXPECT_EQ(read(0, "Z", 0x32, 351), 7.0f);
    EXPECT_EQ(err, 2);
    EXPECT_EQ(sim_.requests().size(), 4u);
    EXPECT_EQ(read(0, "Z", 0x40, 350), 7.0f); // the first read fails
    EXPECT_EQ(err, -1);
}

TEST_F(DispatchLineTest, ZarnLinkWriteRules)
{
    const std::pair<int, float> writes[] = {{783, 0}, {783, 1}, {789, 0}, {789, 1}, {274, 25},
                                            {277, -25}, {350, -1}, {258, 12}, {803, 0}, {803, 2}};
    const char* sent[] = {"0451", "0450", // K + 1 switches off
                          "045C", "045D", // the other way round
                          "02120025FF", "0215002500", // sign inverted
                          "025EFFFF00", "0202001200", "046D", "046F"};
    for (int i = 0; i < 10; ++i) {
        write(0, "Z", 0x32, writes[i].first, writes[i].second);
        EXPECT_EQ(err, 0) << text.toStdString();
        EXPECT_EQ(lastRequest().mid(4, int(strlen(sent[i]))), QByteArray(sent[i]));
    }

    sim_.clearLog();
    write(0, "Z", 0x32, 803, 4);
    EXPECT_EQ(err, 3);
    EXPECT_EQ(text, QStringLiteral("Address 32:Invalid instrument Write Data Value for Register > 803 (046D). Value= 4"));
    write(0, "Z", 0x32, 803, -1);
    EXPECT_TRUE(text.endsWith(QStringLiteral("Value=-1")));
    EXPECT_TRUE(sim_.requests().empty());
}
