// Status word decoding and the process-value read.
#include "dispatch_line.h"

using namespace modZarn;

namespace {

struct Decoded {
    float divisor = -5;
    QString format = QStringLiteral("?"), unit = QStringLiteral("?");
    int alarm1 = 5, alarm2 = 5;
};

Decoded DecodeOf(int group, int word)
{
    Decoded d;
    DecodeStatusWord(group, word, d.divisor, d.format, d.unit, d.alarm1, d.alarm2);
    return d;
}

} // namespace

TEST(StatusWord, EachGroupHasItsOwnLayout)
{
    struct Case {
        int group, word;
        float divisor;
        const char* format;
        const char* unit;
        int alarm1, alarm2;
    } cases[] = {
        {0, 0x0021, 100, "#,###,###,##0.00", "", 0, 0},
        {0, 0x0814, 10, "#,###,###,##0.0", " °C", -1, 0},
        {0, 0x0402, 1, "#,###,###,##0", " °F", 0, -1},
        {0, 0x0046, 10000, "#,###,###,##0.0000", " Er", 0, 0},
        {0, 0x0030, 1000, "#,###,###,##0.000", "", 0, 0},
        {0, 0x0050, 1, "#,###,###,##0", "", 0, 0},  // 5..7 mean no decimals
        {0, -1, 1, "#,###,###,##0", " Er", -1, -1}, // fields of the 16-bit pattern
        {1, 0x0014, 10, "#,###,###,##0.0", " °C", -1, 0},
        {1, 0x0008, 10, "#,###,###,##0.0", " °F", 0, 0},
        {1, 0x0002, 10, "#,###,###,##0.0", "", 0, -1},
        {2, 0x0014, 10, "#,###,###,##0.0", " °F", 0, -1},
        {2, 0x0028, 10, "#,###,###,##0.0", " °C", -1, 0},
        {2, 0x000C, 10, "#,###,###,##0.0", " Er", 0, 0},
    };
    for (const Case& c : cases) {
        const Decoded d = DecodeOf(c.group, c.word);
        SCOPED_TRACE(testing::Message() << "group " << c.group << " word " << c.word);
        EXPECT_EQ(d.divisor, c.divisor);
        EXPECT_EQ(d.format, QString::fromLatin1(c.format));
        EXPECT_EQ(d.unit, QString::fromUtf8(c.unit));
        EXPECT_EQ(d.alarm1, c.alarm1);
        EXPECT_EQ(d.alarm2, c.alarm2);
    }
    const Decoded none = DecodeOf(3, 0x0814);
    EXPECT_EQ(none.divisor, -5.0f);
    EXPECT_EQ(none.unit, QStringLiteral("?"));
}

class ProcessValueTest : public DispatchLineTest {
protected:
    void pv(int group, const char* code, int address, int reg)
    {
        ReadProcessValue(group, QString::fromLatin1(code), text, err, address, reg, valueText, unit,
                         format, value, divisor, alarm1, alarm2);
    }
    QString valueText = QStringLiteral("?"), unit = QStringLiteral("?"), format = QStringLiteral("?");
    float divisor = -5;
    int alarm1 = 5, alarm2 = 5;
};

TEST_F(ProcessValueTest, GroupZeroModbusRtu)
{
    sim_.clearLog();
    pv(0, "R", 0x33, 2); // status 0021H: two decimals, no unit
    EXPECT_EQ(err, 0);
    EXPECT_FLOAT_EQ(value, 123.45f);
    EXPECT_EQ(divisor, 100.0f);
    EXPECT_EQ(valueText, QStringLiteral("123.45"));
    EXPECT_EQ(unit, QString());
    EXPECT_EQ(sim_.requests().size(), 2u); // the process value needs no decimal-point read

    sim_.must("reg 51 2 0x0814"); // one decimal, °C, alarm 1
    pv(0, "R", 0x33, 2);
    EXPECT_EQ(valueText, QStringLiteral("1,234.5"));
    EXPECT_EQ(unit, QStringLiteral(" °C"));
    EXPECT_EQ(alarm1, -1);
    EXPECT_EQ(alarm2, 0);

    // Any other register: the decimal-point setting (795) replaces the
    // divisor; unit and alarms stay those of the status word.
    pv(0, "R", 0x33, 257);
    EXPECT_EQ(divisor, 100.0f);
    EXPECT_EQ(format, QStringLiteral("#,###,###,##0.00"));
    EXPECT_EQ(valueText, QStringLiteral("5.00"));
    EXPECT_EQ(unit, QStringLiteral(" °C"));
    EXPECT_EQ(lastRequest().left(4), QByteArray::fromHex("3303031A"));

    // A failed decimal-point read leaves every output as it was.
    divisor = -5;
    pv(0, "R", 0x34, 257); // an instrument without register 795
    EXPECT_EQ(err, 2);
    EXPECT_EQ(divisor, -5.0f);
    EXPECT_EQ(valueText, QStringLiteral("5.00"));
}

TEST_F(ProcessValueTest, GroupsOneAndTwoAlwaysHaveOneDecimal)
{
    for (const char* code : {"R", "A"}) {
        pv(1, code, 1, 2);
        EXPECT_EQ(err, 0);
        EXPECT_EQ(valueText, QStringLiteral("25.5"));
        EXPECT_EQ(unit, QStringLiteral(" °C"));
        EXPECT_EQ(alarm1, -1);
        EXPECT_EQ(alarm2, 0);
    }
    pv(1, "A", 1, 257);
    EXPECT_EQ(valueText, QStringLiteral("-1,234.5"));

    pv(2, "A", 2, 2); // the same status word means other things in group 2
    EXPECT_FLOAT_EQ(value, 25.5f);
    EXPECT_EQ(unit, QStringLiteral(" °F"));
    EXPECT_EQ(alarm1, 0);
    EXPECT_EQ(alarm2, -1);

    // A failed status read still gives the value, plain, with its error.
    pv(1, "R", 3, 2);
    EXPECT_EQ(err, 2);
    EXPECT_EQ(valueText, QStringLiteral("25.5"));
    EXPECT_EQ(unit, QString());
    EXPECT_EQ(alarm1, 0);

    // A failed value read changes nothing but the error result.
    valueText = QStringLiteral("?");
    pv(2, "A", 9, 2);
    EXPECT_EQ(err, -1);
    EXPECT_EQ(valueText, QStringLiteral("?"));
}

TEST_F(ProcessValueTest, ZarnLinkTakesUnitAndAlarmsFromTheReply)
{
    sim_.clearLog();
    pv(0, "Z", 0x32, 2);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(valueText, QStringLiteral("12.3"));
    EXPECT_EQ(unit, QStringLiteral("°C")); // no leading blank
    EXPECT_EQ(format, QStringLiteral("#,##0.0"));
    EXPECT_EQ(alarm1, -1);
    EXPECT_EQ(alarm2, 0);
    EXPECT_EQ(sim_.requests().size(), 1u);

    pv(0, "Z", 0x32, 20481);
    EXPECT_EQ(text, QStringLiteral("Address 32:Invalid instrument Read Register > 20481"));
    pv(0, "Z", 0x32, 1028);
    EXPECT_EQ(text, QStringLiteral("Address 32:No valid Zarn Link read command found for register > 1028"));
}

TEST_F(ProcessValueTest, PathsWithoutAnInstrumentRouteSayWhy)
{
    struct Case {
        int group;
        const char* code;
        const char* expected;
    } cases[] = {
        {0, "A", "Address 01:Invalid protocol code >A"},
        {0, "X", "Address 01:Invalid protocol code >X"},
        {5, "R", "Address 001:Invalid controller group >5"},
        {1, "Z", "Address 001:Invalid protocol code >Z"},
        {2, "R", "Address 001:Invalid protocol code >R"},
    };
    sim_.clearLog();
    for (const Case& c : cases) {
        err = 0;
        text.clear();
        pv(c.group, c.code, 1, 2);
        EXPECT_EQ(err, 2);
        EXPECT_EQ(text, QString::fromLatin1(c.expected));
        EXPECT_EQ(valueText, QStringLiteral("?"));
        EXPECT_EQ(divisor, -5.0f);
    }
    EXPECT_TRUE(sim_.requests().empty());
}
