#include "shell/navigation.h"

#include <map>
#include <utility>

#include "config/frmConfig.h"
#include "core/startup.h"
#include "monitor/frmGraph.h"
#include "monitor/frmLogging.h"
#include "monitor/frmSetpoints.h"
#include "monitor/frmStatus.h"
#include "monitor/mdiMonitor.h"
#include "shell/frmFind.h"
#include "shell/frmMain.h"

namespace Nav {

namespace {

using modZarn::SwitchForm;

struct Screen {
    Target target;
    void (*open)(Form& from);
};

// The main screens take each other's place; the set points and logging
// screens open modal over them. The monitor opens beside the screen that
// asked for it, at its normal size also when it was minimised or maximised
// before it was hidden (minimising it deactivates it, which hides it).
constexpr Screen kScreens[] = {
    {Target::Configure, [](Form& from) { SwitchForm(from, frmConfig()); }},
    {Target::Status, [](Form& from) { SwitchForm(from, frmStatus()); }},
    {Target::Find, [](Form& from) { SwitchForm(from, frmFind()); }},
    {Target::Graph, [](Form& from) { SwitchForm(from, frmGraph()); }},
    {Target::MainMenu, [](Form& from) { SwitchForm(from, frmMain()); }},
    {Target::Logging, [](Form&) { frmLogging().ShowModal(); }},
    {Target::Setpoints, [](Form&) { frmSetpoints().ShowModal(); }},
    {Target::Monitor,
     [](Form&) {
         MdiMonitor& m = mdiMonitor();
         m.setWindowState(m.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
         m.Show();
     }},
};

const Screen* find(Target target)
{
    for (const Screen& s : kScreens)
        if (s.target == target)
            return &s;
    return nullptr;
}

std::map<Target, Opener>& overrides()
{
    static std::map<Target, Opener> replaced;
    return replaced;
}

} // namespace

void open(Target target, Form& from)
{
    if (const auto it = overrides().find(target); it != overrides().end() && it->second) {
        it->second(from);
        return;
    }
    if (const Screen* s = find(target))
        s->open(from);
}

OpenerOverride::OpenerOverride(Target target, Opener opener)
    : target_(target), previous_(std::exchange(overrides()[target], std::move(opener)))
{
}

OpenerOverride::~OpenerOverride() { overrides()[target_] = std::move(previous_); }

} // namespace Nav
