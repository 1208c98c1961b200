#pragma once
// Building a screen by hand: one builder per kind of control, each placing
// its control in twips relative to the parent (tw::place, as the layout
// tables do) and naming it as the screen calls it, so that the error box of
// a failing handler names the handler ("frmRegister.cmdRead_Click").
//
// Handlers reach their controls through the platform's events (Click,
// Change, LostFocus, ...), which run inside the handler boundary. A signal
// the platform's events do not cover (a list's user-only `activated`, a menu
// entry) is connected with ctl::on, which puts the same boundary around it.
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <functional>

#include "platform/controls.h"

namespace ctl {

QLabel* label(QWidget* parent, const QString& caption, int left, int top, int width, int height);
QGroupBox* frame(QWidget* parent, const QString& caption, int left, int top, int width, int height);
CommandButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                      int height);
TextBox* textBox(QWidget* parent, const QString& name, int left, int top, int width, int height);
// A drop-down list; editable, it also takes typed text, and typing adds
// nothing to the list.
ComboBox* comboBox(QWidget* parent, const QString& name, int left, int top, int width, int height,
                   bool editable = false);
ListBox* listBox(QWidget* parent, const QString& name, int left, int top, int width, int height);
CheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                   int height);
Shape* shape(QWidget* parent, const QString& name, int left, int top, int width, int height);

// Runs `handler` inside the handler boundary whenever `sender` emits
// `signal`, as a press (ctl::press); the box names the routine
// "<form>.<control>_<event>".
template <class W, class Signal>
void on(W* sender, Signal signal, const char* event, std::function<void()> handler)
{
    QObject::connect(sender, signal, sender, [sender, event, handler = std::move(handler)] {
        press(sender->window(), routineName(sender, event), handler);
    });
}

// The events of a control array that answers only Click.
ArrayEvents clickEvents(std::function<void(int index)> click);

// The same where the box must name another routine than the handler
// ("frmFind.cmdSearch_Click" for the Begin Search button).
template <class W, class Signal>
void on(W* sender, Signal signal, const QString& routine, std::function<void()> handler)
{
    QObject::connect(sender, signal, sender, [sender, routine, handler = std::move(handler)] {
        press(sender->window(), routine, handler);
    });
}

// A menu entry's Triggered, as "<form>.<entry>_Click" in the box.
void onClick(QAction* entry, QWidget* form, const QString& name, std::function<void()> handler);

// A key typed into `w`, as TextBox::KeyPress: the character's code, set to
// 0 to swallow the key.
void onKeyPress(QWidget* w, std::function<void(int& keyAscii)> handler);

} // namespace ctl

namespace Screen {
// The hourglass while it lives, the normal pointer again however the work
// it covers ends.
class Busy {
public:
    Busy() { setMousePointer(Hourglass); }
    ~Busy() { setMousePointer(Default); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
};
} // namespace Screen
