// Layout rules of controller group 2: the control page follows the control
// method and the integral time.
#include "config/frmConfig.h"
#include "config/layoutrules.h"

using namespace cfgrules;

namespace {

constexpr int kControlMethod = 0x4711; // 0 "P.I.D", 1 "ON/OFF", 2 "MANUAL"
constexpr int kIntegralTime = 0x4709;

const std::vector<Rule>& rules()
{
    static const std::vector<Rule> table = {
        {kControlMethod,
         listIndex(kControlMethod),
         {
             {.when = {0}, .fields = {0x470B, 0x470C, 0x470D, 0x472A}},
             {.when = {1}, .fields = {0x4708, 0x4709, 0x470A, 0x470C, 0x470D, 0x470E, 0x4712, 0x4713, 0x472A, 0x4729}},
             {.when = {2}, .fields = {0x4708, 0x4709, 0x470A, 0x470B, 0x470E, 0x4713, 0x4729}},
         }},
        // With an integral part the proportional offset means nothing, without it the integral one.
        {kIntegralTime,
         positive(kIntegralTime),
         {
             {.when = {1}, .fields = {0x4713}},
             {.when = {0}, .fields = {0x470E}},
         }},
    };
    return table;
}

} // namespace

void cfgrules::group2(FrmConfig& f, int& current) { run(f, current, rules()); }
