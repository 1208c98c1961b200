#pragma once
// Building blocks of the controller groups' layout rules. After the layout
// pass has shown every field the selected model has, a group's rules hide what
// the group's other settings make meaningless and caption what stays. Each
// rule reads one setting as a number and takes the first of its arms that
// the number selects; an arm says which fields and check boxes to hide, which
// captions to set and which tab pages to enable or disable. No arm shows a
// field, so a field hidden here comes back at the next pass once its setting
// no longer hides it (and the model has its register).
#include <QString>
#include <functional>
#include <vector>

class FrmConfig;

namespace cfgrules {

struct Bit {
    int reg, bit;
};
struct Caption {
    int reg;       // lblParamLabel(reg)
    QString text;
};
struct TabPage {
    int group, page;
    bool enabled;
};

struct Arm {
    std::vector<int> when{};   // the setting's values that select the arm; empty: any value
    std::vector<int> fields{}; // parameter fields hidden, in this order
    std::vector<Bit> bits{};   // single check boxes hidden
    std::vector<Caption> captions{};
    std::vector<TabPage> pages{};
};

// A setting of the screen read as one number.
using Setting = std::function<int(const FrmConfig&)>;

// Leaves the pass's current register as it stands.
constexpr int kKeepRegister = 0;

struct Rule {
    int current = kKeepRegister; // the register the pass's error report names while the rule runs
    Setting setting;
    std::vector<Arm> arms;
};

// The selected position of the list of a register (-1 none).
Setting listIndex(int reg);
// 1 when the leading number of the register's text field is above 0, else 0
// (an empty or non-numeric text counts as 0); read also when the field is hidden.
Setting positive(int reg);
// 1 when the setting's condition holds, else 0.
Setting when(std::function<bool(const FrmConfig&)> condition);

// Registers from..to in steps of `step`.
std::vector<int> span(int from, int to, int step = 1);
// One caption for each of the registers.
std::vector<Caption> captions(const std::vector<int>& regs, const QString& text);

// Hides a parameter field: its caption, its editor (the list when the
// register has one, else the text field) and, for a reset field, its mode list.
void hideField(FrmConfig& f, int reg);
void apply(FrmConfig& f, const Arm& arm);
// Runs the rules in order; a widget fault ends the run (the pass reports it).
void run(FrmConfig& f, int& current, const std::vector<Rule>& rules);

// Each controller group's rules, in the group's own file.
void group0(FrmConfig& f, int& current);
void group1(FrmConfig& f, int& current);
void group2(FrmConfig& f, int& current);
// The layout pass's last step: the rules of `group` (none outside 0-2).
void runGroup(int group, FrmConfig& f, int& current);

} // namespace cfgrules
