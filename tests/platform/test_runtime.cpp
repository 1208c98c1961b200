// Number reading, integer conversion, number text, display formats.
#include <QLocale>

#include "platform/runtime.h"
#include "support/testenv.h"

using namespace rt;

TEST(Val, NumberReadingRule)
{
    const std::pair<const char*, double> cases[] = {
        {" 1f ", 1}, {"12A", 12}, {"1 2 3", 123}, {"\t-\n7", -7}, {"-.5e1", -5}, {"1D3", 1000},
        {"+5", 5}, {"1.2.3", 1.2}, {"1e", 1}, {"2E+", 2}, {"", 0}, {"abc", 0}, {"--5", 0},
        {".", 0}, {"1e-400", 0}, {"1\r2", 1}, // a carriage return is not dropped
        {"&H1f", 31}, {"&h102H", 258}, {"&H", 0}, {"&HFFFF", -1}, {"&H8000", -32768},
        {"&H7FFF", 32767}, {"& H F F F F", -1}, {"&H10000", 65536}, {"&HFFFFFFFF", -1},
        {"&H80000000", -2147483648.0}, {"&O17", 15}, {"&O177777", -1},
        // five digits or more are 32-bit, leading zeros included
        {"&H0FFFF", 65535}, {"&H08000", 32768}, {"&H0000FFFF", 65535}, {"&H000000001", 1},
        {"&H0001", 1}, {"&O0177777", 65535}, {"&O777777", 262143}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(Val(text), value) << text;
    EXPECT_EQ(rtErrorOf([] { Val("1E999"); }), ErrOverflow);
    EXPECT_EQ(rtErrorOf([] { Val("&H123456789"); }), ErrOverflow);
}

TEST(Conversion, HalfToEvenAndOverflow)
{
    for (const auto& [x, n] : {std::pair{0.5, 0}, {1.5, 2}, {2.5, 2}, {-2.5, -2}, {-3.5, -4}, {2.5000001, 3}})
        EXPECT_EQ(RoundHalfEven(x), n) << x;
    EXPECT_EQ(CInt(32767.4), 32767);
    EXPECT_EQ(CInt(-32768.5), -32768);
    EXPECT_EQ(rtErrorOf([] { CInt(32767.5); }), ErrOverflow);
    EXPECT_EQ(rtErrorOf([] { CInt(-32768.6); }), ErrOverflow);
    EXPECT_EQ(rtErrorOf([] { CInt(Val("&H10000")); }), ErrOverflow);
    EXPECT_EQ(CLng(-2147483648.5), -2147483647 - 1);
    EXPECT_EQ(rtErrorOf([] { CLng(2147483647.5); }), ErrOverflow);
    EXPECT_EQ(CSng(0.1), 0.1f);
    EXPECT_EQ(rtErrorOf([] { CSng(1e39); }), ErrOverflow);
}

TEST(NumberText, DoubleLayout)
{
    const std::pair<double, const char*> cases[] = {
        {9600, " 9600"}, {-3, "-3"}, {0.5, " .5"}, {-0.5, "-.5"}, {0, " 0"}, {-0.0, " 0"},
        {1.0 / 3, " .333333333333333"}, {0.0001, " .0001"}, {0.00001, " 1E-05"},
        {0.0000000001, " 1E-10"}, {-2.5e-7, "-2.5E-07"}, {123456789012345.0, " 123456789012345"},
        {1e15, " 1E+15"}, {1.5e17, " 1.5E+17"}, {1e100, " 1E+100"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(Str(value), text) << text;
    EXPECT_EQ(CStr(0.5), ".5");
    EXPECT_EQ(CStr(-12.25), "-12.25");
    EXPECT_EQ(PrintNumber(9600), " 9600 ");
    EXPECT_EQ(PrintNumber(-3), "-3 ");
}

TEST(Format, PatternsWithGroupingAndRounding)
{
    QLocale::setDefault(QLocale(QLocale::German)); // separators must not follow the locale
    const std::tuple<double, const char*, const char*> cases[] = {
        {1234.5, "#,##0.0", "1,234.5"}, {-1234.5, "#,##0.0", "-1,234.5"},
        {1234567.891, "#,###,###,##0.0000", "1,234,567.8910"}, {-1234567, "#,###,###,##0", "-1,234,567"},
        {0, "#,##0.000", "0.000"}, {999.95, "#,##0.0", "1,000.0"}, {2.5, "0", "3"}, {-2.5, "0", "-3"},
        {1.005, "0.00", "1.01"}, {0.125, "#,##0.00", "0.13"}, {-0.04, "#,##0.0", "0.0"}, {7, "00", "07"},
        {0, "#,###,###,###", ""}, {0.3, ".0", ".3"}, {0.5, "####.0000", ".5000"},
        {1234.5, "Fixed", "1234.50"}, {0.5, "General Number", "0.5"}};
    for (const auto& [value, fmt, text] : cases)
        EXPECT_EQ(Format(value, fmt), text) << fmt;
    QLocale::setDefault(QLocale::c());
}
