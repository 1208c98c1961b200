#include "config/layoutrules.h"

#include <algorithm>
#include <iterator>

#include "config/frmConfig.h"
#include "platform/runtime.h"

namespace cfgrules {

Setting listIndex(int reg)
{
    return [reg](const FrmConfig& f) { return f.cbxParameter(reg)->ListIndex(); };
}

Setting positive(int reg)
{
    return [reg](const FrmConfig& f) { return rt::Val(f.txtParameter(reg)->Text()) > 0 ? 1 : 0; };
}

Setting when(std::function<bool(const FrmConfig&)> condition)
{
    return [condition = std::move(condition)](const FrmConfig& f) { return condition(f) ? 1 : 0; };
}

std::vector<int> span(int from, int to, int step)
{
    std::vector<int> regs;
    for (int r = from; r <= to; r += step)
        regs.push_back(r);
    return regs;
}

std::vector<Caption> captions(const std::vector<int>& regs, const QString& text)
{
    std::vector<Caption> out;
    for (int r : regs)
        out.push_back({r, text});
    return out;
}

void hideField(FrmConfig& f, int reg)
{
    f.lblParamLabel(reg)->setVisible(false);
    if (f.cbxParameter.exists(reg))
        f.cbxParameter(reg)->setVisible(false);
    else
        f.txtParameter(reg)->setVisible(false);
    if (f.cbxReset.exists(reg))
        f.cbxReset(reg)->setVisible(false);
}

void apply(FrmConfig& f, const Arm& arm)
{
    for (int reg : arm.fields)
        hideField(f, reg);
    for (const Bit& b : arm.bits)
        f.bitBox(b.reg, b.bit)->setVisible(false);
    for (const Caption& c : arm.captions)
        f.lblParamLabel(c.reg)->setText(c.text);
    for (const TabPage& p : arm.pages)
        f.tabConfig(p.group)->setTabEnabled(p.page, p.enabled);
}

void run(FrmConfig& f, int& current, const std::vector<Rule>& rules)
{
    for (const Rule& rule : rules) {
        if (rule.current != kKeepRegister)
            current = rule.current;
        const int value = rule.setting(f);
        const auto arm = std::find_if(rule.arms.begin(), rule.arms.end(), [value](const Arm& a) {
            return a.when.empty() || std::find(a.when.begin(), a.when.end(), value) != a.when.end();
        });
        if (arm != rule.arms.end())
            apply(f, *arm);
    }
}

void runGroup(int group, FrmConfig& f, int& current)
{
    constexpr void (*groups[])(FrmConfig&, int&) = {group0, group1, group2};
    if (group >= 0 && group < int(std::size(groups)))
        groups[group](f, current);
}

} // namespace cfgrules
