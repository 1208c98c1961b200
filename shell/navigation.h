#pragma once
// The screens the main screens' navigation row leads to. Each screen
// registers itself, in its own source file, with what its button does; a
// main screen enables a button exactly when its screen is registered, so a
// build without a screen shows that button disabled.
//
//   static const Nav::Registration reg(Nav::Target::Find,
//                                      [](Form& from) { modZarn::SwitchForm(from, frmFind()); });
#include <functional>

class Form;

namespace Nav {

enum class Target { Configure, Status, Find, Graph, MainMenu, Logging, Setpoints, Monitor };

// What the button does; `from` is the main screen whose button was pressed.
using Opener = std::function<void(Form& from)>;

// A static object of the screen's own source file. A second registration of
// the same target replaces the first.
struct Registration {
    Registration(Target target, Opener opener);
};

bool available(Target target);
// Runs the target's opener; nothing happens for a target not registered.
void open(Target target, Form& from);

} // namespace Nav
