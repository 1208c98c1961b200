#pragma once
// The screens the main screens' navigation row leads to, and what each
// button does: one table in navigation.cpp.
#include <functional>

class Form;

namespace Nav {

enum class Target { Configure, Status, Find, Graph, MainMenu, Logging, Setpoints, Monitor };

// Opens the target's screen; `from` is the main screen whose button was
// pressed.
void open(Target target, Form& from);

// --- test hooks ---
using Opener = std::function<void(Form& from)>;
// Runs `opener` in place of the target's screen while the object lives.
class OpenerOverride {
public:
    OpenerOverride(Target target, Opener opener);
    ~OpenerOverride();
    OpenerOverride(const OpenerOverride&) = delete;
    OpenerOverride& operator=(const OpenerOverride&) = delete;

private:
    Target target_;
    Opener previous_;
};

} // namespace Nav
