#include "shell/navigation.h"

#include <map>

namespace Nav {

namespace {
// Built on first use: registrations run while static objects are being
// constructed, in no fixed order between source files.
std::map<Target, Opener>& registry()
{
    static std::map<Target, Opener> openers;
    return openers;
}
} // namespace

Registration::Registration(Target target, Opener opener) { registry()[target] = std::move(opener); }

bool available(Target target)
{
    const auto it = registry().find(target);
    return it != registry().end() && it->second;
}

void open(Target target, Form& from)
{
    const auto it = registry().find(target);
    if (it != registry().end() && it->second)
        it->second(from);
}

} // namespace Nav
