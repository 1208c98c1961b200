// Layout rules of controller group 1: the input type, the control method
// (which also opens or closes the two ramp/soak pages), the integral time,
// the control action, the PID parameter group and output 1.
#include "config/frmConfig.h"
#include "config/layoutrules.h"

using namespace cfgrules;

namespace {

constexpr int kInputTypeRule = 1; // the register the error report names for the input-type rule
constexpr int kControlMethod = 0x1005; // 0 "P.I.D", 1 "ON/OFF", 2 "MANUAL", 3 "RAMP/SOAK"
constexpr int kControlAction = 0x1006; // 2 "HEAT/COOL", 3 "COOL/HEAT" are the dual actions
constexpr int kIntegralTime = 0x100A;
constexpr int kPidGroup = 0x101C;      // 4 "Auto Tune"
constexpr int kOutput1 = 0x1069;       // 3 "Re-Transmit"

// The ramp/soak pages 2 and 3 open only for the ramp/soak control method.
std::vector<TabPage> rampPages(bool enabled) { return {{1, 2, enabled}, {1, 3, enabled}}; }

const std::vector<Rule>& rules()
{
    static const std::vector<Rule> table = {
        // Linear inputs (0~5V to 0~50mV) have no engineering units.
        {kInputTypeRule,
         [](const FrmConfig& f) { return f.cbxInputType(1)->ListIndex(); },
         {{.when = {13, 14, 15, 16, 17}, .fields = {0x0811}}}},
        {kControlMethod,
         listIndex(kControlMethod),
         {
             {.when = {0}, // P.I.D
              .fields = {0x1010, 0x1011, 0x1012, 0x1013, 0x1014, 0x1015},
              .pages = rampPages(false)},
             {.when = {1}, // ON/OFF
              .fields = {0x0813, 0x1007, 0x1008, 0x1009, 0x100A, 0x100B, 0x100C, 0x100D, 0x100E, 0x1012, 0x1013,
                         0x1014, 0x1015, 0x101C, 0x101D},
              .pages = rampPages(false)},
             {.when = {2}, // MANUAL
              .fields = {0x0813, 0x1009, 0x100A, 0x100B, 0x100C, 0x100D, 0x100E, 0x100F, 0x1010, 0x1011, 0x101C,
                         0x101D},
              .pages = rampPages(false)},
             {.when = {3}, // RAMP/SOAK
              .fields = {0x1001, 0x1010, 0x1011, 0x1012, 0x1013, 0x1014, 0x1015},
              .pages = rampPages(true)},
         }},
        {kIntegralTime,
         positive(kIntegralTime),
         {
             {.when = {1}, .fields = {0x100D}},
             {.when = {0}, .fields = {0x100C}},
         }},
        {kControlAction,
         listIndex(kControlAction),
         {{.when = {2, 3}, .fields = {0x1008, 0x100E, 0x100F, 0x1011, 0x1013, 0x1022, 0x1028, 0x1029}}}},
        // Under auto tune the group in use follows the process value, so an
        // edit could reach another group than the one shown.
        {kPidGroup,
         listIndex(kPidGroup),
         {{.when = {4}, .fields = {0x1009, 0x100A, 0x100B, 0x100C, 0x100D, 0x101D}}}},
        {kOutput1, listIndex(kOutput1), {{.when = {0, 1, 2}, .fields = {0x1037, 0x1038, 0x471E}}}},
    };
    return table;
}

} // namespace

void cfgrules::group1(FrmConfig& f, int& current) { run(f, current, rules()); }
