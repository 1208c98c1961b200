// Display formats and factors by register, the check-box index limit and
// the number formatting of field texts.
#include "config/scaling.h"
#include "support/testenv.h"

using namespace cfgscale;

namespace {
const char* const k0 = "#,###,###,##0";
const char* const k1 = "#,###,###,##0.0";
const char* const k2 = "#,###,###,##0.00";
const char* const k3 = "#,###,###,##0.000";
const char* const k4 = "#,###,###,##0.0000";
} // namespace

TEST(ConfigScaling, FormatAndFactorFollowTheRegisterClass)
{
    struct Row {
        int reg, point, input;
        const char* model;
        const char* format;
        float factor;
    };
    const Row rows[] = {
        {258, 0, 1, "Q4", k0, 1},       {258, 3, 1, "Q4", k3, 1000},   {266, 4, 1, "Q4", k4, 10000},
        {258, 5, 1, "Q4", k0, 1},       {290, 2, 1, "Q4", k2, 100},    {289, 2, 1, "Q4", k0, 1},
        {321, 1, 1, "Q4", k1, 10},      {347, 1, 1, "Q4", k1, 10},     {326, 2, 14, "Q4", k0, 1},
        {326, 2, 15, "Q4", k2, 100},    {273, 3, 17, "Q4", k3, 1000},  {334, 2, 1, "R7", k2, 100},
        {334, 2, 1, "r7", k0, 1},       {335, 2, 15, "TW", k2, 100},   {335, 2, 1, "TW", k0, 1},
        {282, 0, 1, "Q4", k2, 100},     {285, 4, 1, "Q4", k2, 100},    {0x100E, 0, 0, "XG", k2, 100},
        {274, 3, 1, "Q4", k1, 10},      {341, 0, 1, "Q4", k1, 10},     {0x1005, 1, 0, "XG", k0, 1},
        {0x4708, 0, 14, "XH", k1, 10},  {0x4709, 0, 14, "XH", k0, 1},  {0x1001, 0, 0, "XG", k1, 10},
        {0x203F, 0, 0, "XG", k1, 10},   {0x2040, 0, 0, "XG", k0, 1},   {0x2080, 1, 0, "XG", k0, 1},
        {-5, 1, 1, "Q4", k0, 1},
    };
    for (const Row& r : rows) {
        float factor = -1;
        EXPECT_EQ(DecimalPointFormat(r.reg, r.point, r.input, r.model, factor), r.format) << r.reg << "/" << r.point;
        EXPECT_EQ(factor, r.factor) << r.reg;
    }
}

TEST(ConfigScaling, CheckIndexStopsAtItsSixteenBitLimit)
{
    EXPECT_EQ(CheckIndex(3276, 7), 32767);
    EXPECT_EQ(CheckIndex(3176, 15), 32767);
    for (const auto& [reg, bit] : {std::pair{3277, 0}, {3177, 8}, {3276, 8}})
        EXPECT_EQ(rtErrorOf([&] { CheckIndex(reg, bit); }), rt::ErrOverflow) << reg << "." << bit;
}

TEST(ConfigScaling, FieldTextsAreFormattedOnlyWhenTheyAreNumbers)
{
    const char* const rows[][3] = {
        {"5", k1, "5.0"},          {"1,600", k0, "1,600"},   {"1600", k0, "1,600"}, {".58", k2, "0.58"},
        {"-1999.5", k0, "-2,000"}, {"7", "00", "07"},        {"123", "00", "123"},  {" 42 ", k0, "42"},
        {"abc", k1, "abc"},        {"", k1, ""},             {"12a", k0, "12a"},    {"-", k0, "-"},
        {"1e3", k0, "1,000"},      {"175.0", k0, "175"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FormatField(r[0], r[1]), r[2]) << r[0] << " in " << r[1];
}
