// Status word decoding and the process-value read.
#include "dispatch_line.h"

using namespace modZarn;

class ProcessValueTest : public DispatchLineTest {
protected:
    // Reads and returns "<value text>|<unit>|<alarm 1>|<alarm 2>".
    std::string pv(int group, const char* code, int address, int reg)
    {
        ReadProcessValue(group, code, text, err, address, reg, valueText, unit, format, value,
                         divisor, alarm1, alarm2);
        return QStringLiteral("%1|%2|%3|%4").arg(valueText, unit).arg(alarm1).arg(alarm2).toStdString();
    }
    QString valueText = QStringLiteral("?"), unit = QStringLiteral("?"), format;
    float divisor = -5;
    int alarm1 = 5, alarm2 = 5;
};

TEST_F(ProcessValueTest, GroupZeroModbusRtu)
{
    sim_.clearLog();
    EXPECT_EQ(pv(0, "R", 0x33, 2), "123.45||0|0"); // status 0021H
    EXPECT_EQ(divisor, 100.0f);
    EXPECT_EQ(sim_.requests().size(), 2u); // the process value needs no decimal-point read

    sim_.must("reg 51 2 0x0814");
    EXPECT_EQ(pv(0, "R", 0x33, 2), "1,234.5| °C|-1|0");
    // Another register: the decimal-point setting (795 = 2) overrides the
    // status word's divisor, not its unit and alarms.
    EXPECT_EQ(pv(0, "R", 0x33, 257), "5.00| °C|-1|0");
    EXPECT_EQ(format, QStringLiteral("#,###,###,##0.00"));
    EXPECT_TRUE(lastRequest().startsWith(QByteArray::fromHex("3303031A")));

    // A failed decimal-point read leaves every output as it was.
    divisor = -5;
    EXPECT_EQ(pv(0, "R", 0x34, 257), "5.00| °C|-1|0");
    EXPECT_EQ(err, 2);
    EXPECT_EQ(divisor, -5.0f);
}

TEST_F(ProcessValueTest, GroupsOneAndTwoAndZarnLink)
{
    EXPECT_EQ(pv(1, "R", 1, 2), "25.5| °C|-1|0");
    EXPECT_EQ(pv(1, "A", 1, 257), "-1,234.5| °C|-1|0");
    EXPECT_EQ(pv(2, "A", 2, 2), "25.5| °F|0|-1"); // the same status word in group 2
    EXPECT_EQ(err, 0);
    // A failed status read still gives the value, plain, with its error.
    EXPECT_EQ(pv(1, "R", 3, 2), "25.5||0|0");
    EXPECT_EQ(err, 2);
    // "Zarn Link": one read, unit and alarms from the reply, no leading blank.
    sim_.clearLog();
    EXPECT_EQ(pv(0, "Z", 0x32, 2), "12.3|°C|-1|0");
    EXPECT_EQ(format, QStringLiteral("#,##0.0"));
    EXPECT_EQ(sim_.requests().size(), 1u);
    // A failed value read changes nothing but the error result.
    EXPECT_EQ(pv(2, "A", 9, 2), "12.3|°C|-1|0");
    EXPECT_EQ(err, -1);
}
