#pragma once
// The tools' line: the simulator on COM7, with the sample definition tables loaded.
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "core/deffiles.h"
#include "core/transports.h"
#include "support/simline.h"

inline const char* const kToolLine = R"(
instrument 50 group 0 protocol Z
zcmd 50 0x00 "0C110123"
instrument 51 group 0 protocol R
reg 51 1 1234
instrument 1 group 1 protocol R
preg 1 0x12 7
dinput 1 0x810 1
coil 1 0x810 0
reg 1 0x1000 0xFFFF
instrument 5 group 2 protocol A
reg 5 0x1001 0
)";

class ToolLineTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        copySampleData();
        modZarn::ReadxxGXrefFile();
        startLine(kToolLine);
        modZarn::gPassword = "QX3admin";
    }
};

// Every kind of typed value for a register holding the whole numbers
// lower..upper: the value each text goes out as, or none when it must be
// refused with nothing on the line.
inline std::vector<std::pair<QString, std::optional<int>>> WholeValueSweep(int lower, int upper)
{
    const auto within = [&](int v) { return v >= lower && v <= upper ? std::optional<int>(v) : std::nullopt; };
    return {
        {"", std::nullopt},       {"abc", std::nullopt},   {"0x10", std::nullopt},
        {"GG", std::nullopt},     {"FFFF", std::nullopt},  {"12abc", std::nullopt},
        {"1,5", std::nullopt},    {"1.5", std::nullopt},   {"-9999.6", std::nullopt},
        {"&H10", std::nullopt},   {"-", std::nullopt},     {QString::number(lower), lower},
        {QString::number(upper), upper},                   {QString::number(lower - 1), std::nullopt},
        {QString::number(upper + 1), std::nullopt},        {"1,234", within(1234)},
        {" -1 ", within(-1)},     {"1.0", within(1)},
    };
}
