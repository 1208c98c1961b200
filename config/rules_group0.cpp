// Layout rules of controller group 0: step-time and reset units, the output
// control modes, input scaling, the ramp/soak alarm outputs, absolute alarms,
// the four tuning stages and the manual outputs.
#include "config/frmConfig.h"
#include "config/layoutrules.h"
#include "config/parammap.h"
#include "core/state.h"
#include "platform/controls.h"

using namespace cfgrules;

namespace {

constexpr int kTimeBase = 8; // 0 "Sec.", 1 "Min."
constexpr int kFirstStepTime = 289, kLastStepTime = 319;
constexpr int kLinearInputs = 15; // input codes from "CURRENT" on take input scaling
constexpr int kAlarmOutputs1 = 350, kAlarmOutputs2 = 351;
constexpr int kAlarm1 = 799, kAlarm2 = 801;
constexpr int kManualMode = 1037; // check box of bit 15 of register 3
constexpr int kManualOutput1 = 340, kManualOutput2 = 341;

// The fields of one output that its control mode may leave meaningless.
struct Output {
    int control, differential, cycleTime, linearity;
};
const Output kOutputs[] = {{769, 267, 770, 771}, {772, 268, 773, 774}};

Rule outputRule(const Output& o)
{
    return {kKeepRegister,
            listIndex(o.control),
            {
                {.when = {0}, .fields = {o.differential, o.linearity}},              // time proportioning
                {.when = {1}, .fields = {o.differential, o.cycleTime, o.linearity}}, // current or voltage
                {.when = {2}, .fields = {o.differential, o.cycleTime}},              // pulsed time proportioning
                {.when = {3}, .fields = {o.cycleTime, o.linearity}},                 // on/off
            }};
}

// One tuning stage: stage 1 on the "Tuning" page, stages 2-4 on "4-Stage Option".
struct Stage {
    int tuningType;
    std::vector<int> bands; // stage 1 also carries output 2's band
    int reset, rate, damping, learn;
};
const Stage kStages[] = {
    {775, {269, 273}, 274, 278, 779, 1067},
    {776, {270}, 275, 279, 780, 1069},
    {777, {271}, 276, 280, 781, 1071},
    {778, {272}, 277, 281, 782, 1073},
};

Rule stageRule(const Stage& s)
{
    std::vector<int> pid = s.bands;
    pid.push_back(s.reset);
    pid.push_back(s.rate);
    std::vector<int> all = pid;
    all.push_back(s.damping);
    const Bit learn{s.learn, 0};
    return {s.tuningType,
            listIndex(s.tuningType),
            {
                {.when = {0}, .fields = pid},                          // self tune: no PID values
                {.when = {1}, .fields = {s.damping}, .bits = {learn}}, // P.I.D.: no self-tune values
                {.when = {2, 3, 4}, .fields = all, .bits = {learn}},   // slow, normal, fast
            }};
}

// The "#2" alarm output of every ramp/soak step: the even bits of both registers.
std::vector<Bit> secondAlarmOutputs()
{
    std::vector<Bit> bits;
    for (int b = 0; b <= 6; b += 2)
        for (int reg : {kAlarmOutputs1, kAlarmOutputs2})
            bits.insert(bits.end(), {{reg, b}, {reg, 8 + b}});
    return bits;
}

// Only model X3 and ramp/soak set-up of an instrument that answered its
// ramp/soak register use the second alarm output of the steps.
bool secondOutputUnused(const FrmConfig& f)
{
    const QString id = f.ModelID();
    if (id == QLatin1String("X3"))
        return false;
    return !(f.RampRegPresent && (id == QLatin1String("RS") || modZarn::gRampCfgMode));
}

const std::vector<Rule>& unitsAndOutputs()
{
    static const std::vector<Rule> table = [] {
        std::vector<Rule> t;
        const std::vector<int> stepTimes = span(kFirstStepTime, kLastStepTime, 2);
        t.push_back({kKeepRegister,
                     listIndex(kTimeBase),
                     {{.when = {0}, .captions = captions(stepTimes, "Sec.")},
                      {.captions = captions(stepTimes, "Min.")}}});
        for (const Output& o : kOutputs)
            t.push_back(outputRule(o));
        return t;
    }();
    return table;
}

// Each reset-mode selector stands and falls with its reset field, whose unit
// follows the mode: minutes of reset time, or a percentage of offset.
void resetFields(FrmConfig& f)
{
    for (int reg = cfgmap::kReset1; reg <= cfgmap::kReset4; ++reg) {
        f.cbxReset(reg)->setVisible(ctl::Visible(f.txtParameter(reg)));
        f.lblParamLabel(reg)->setText(f.cbxReset(reg)->ListIndex() == 0 ? QStringLiteral("Min.")
                                                                        : QStringLiteral("%"));
    }
}

const std::vector<Rule>& inputsAlarmsAndStages()
{
    static const std::vector<Rule> table = [] {
        std::vector<Rule> t;
        // Thermocouples and resistance thermometers are not scaled.
        t.push_back({kKeepRegister,
                     when([](const FrmConfig& f) { return f.CurInputType < kLinearInputs; }),
                     {{.when = {1}, .fields = {326, 327}, .bits = {{793, 0}}}}});
        t.push_back({kAlarmOutputs1, when(secondOutputUnused), {{.when = {1}, .bits = secondAlarmOutputs()}}});
        t.push_back({kAlarm1,
                     when([](const FrmConfig& f) { return f.ModelID() == QLatin1String("R7"); }),
                     {{.when = {1}, .bits = {{kAlarm1, 0}, {kAlarm2, 0}}}}});
        for (const Stage& s : kStages)
            t.push_back(stageRule(s));
        t.push_back({kManualOutput1,
                     [](const FrmConfig& f) { return f.chkParameter(kManualMode)->Value(); },
                     {{.when = {0}, .fields = {kManualOutput1, kManualOutput2}}}});
        return t;
    }();
    return table;
}

} // namespace

void cfgrules::group0(FrmConfig& f, int& current)
{
    run(f, current, unitsAndOutputs());
    resetFields(f);
    run(f, current, inputsAlarmsAndStages());
}
