// Linked exactly as the program is, referring to no screen: every screen of
// the build must still have registered its navigation target, or the main
// screens would show its button disabled.
#include <cstdio>

#include "shell/navigation.h"

int main()
{
    using Nav::Target;
    const struct {
        Target target;
        const char* name;
    } screens[] = {{Target::Configure, "Configure"}, {Target::Find, "Find"}, {Target::MainMenu, "MainMenu"},
                   {Target::Logging, "Logging"}, {Target::Status, "Status"}, {Target::Setpoints, "Setpoints"}};
    int missing = 0;
    for (const auto& s : screens)
        if (!Nav::available(s.target)) {
            std::printf("not registered: %s\n", s.name);
            ++missing;
        }
    return missing == 0 ? 0 : 1;
}
