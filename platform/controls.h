#pragma once
// Controls the forms share: lamps (shapes with a fill colour), timers with
// Enabled/Interval, list, check, option and text controls that follow one
// event rule, and control arrays indexed by number, generated from a table.
//
// The event rule: a value set by code raises the same Click or Change event
// as the user's, and only when the value actually changes, so a handler that
// puts a value back cannot recurse. Every handler runs inside the handler
// boundary (ctl::guard): a failure shows the "Application Error" box and
// never reaches the event loop.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>
#include <map>
#include <vector>

#include "platform/rterror.h"

namespace ctl {

// The control's own Visible flag: false only when the control itself was
// hidden, whether or not its page or window is on screen now.
bool Visible(const QWidget* w);

// The handler boundary: runs `body`; a run-time error or any other exception
// is shown in the standard "Application Error" box owned by `owner`, with the
// routine line "Routine - <routine>", and goes no further.
void guard(QWidget* owner, const QString& routine, const std::function<void()>& body);
// The same where the routine line tells how far the body got (the register a
// pass had reached): `routine` is asked for the line only when a failure is
// shown.
void guard(QWidget* owner, const std::function<QString()>& routine, const std::function<void()>& body);

// The boundary for a press: a button's or menu entry's Click, a list's
// user-only activation. As guard, but a press into a window whose box or
// file dialog is open does nothing when it comes straight from that box's
// loop: the box blocks the mouse and the keys, and so a screen reader's
// "press" too, and the handler that opened the box is still running.
void press(QWidget* owner, const QString& routine, const std::function<void()>& body);

// How many handler boundaries are running right now (a box notes it to tell
// the presses of its own loop from events raised by code).
int depth();

// A step that may be passed over: runs `step`; should it fail, nothing is
// shown and the caller goes on with its next step. For a routine whose
// steps are each worth trying (a screen's load fills what it can).
void skipOnFailure(const std::function<void()>& step);

// The boundary for a handler that can fail again while its box is still up
// (a timer keeps ticking under an open box): at most one box at a time.
class OneBox {
public:
    bool open() const { return open_; }
    // As ctl::guard, but a failure while this handler's box is still open is
    // not shown again.
    void guard(QWidget* owner, const QString& routine, const std::function<void()>& body);
    // Shows the error box unless one is open already.
    void show(QWidget* owner, int number, const QString& description, const QString& routine);

private:
    bool open_ = false;
};

// A control's background colour (&HBBGGRR or a system colour), kept with the
// control so that code can read back what it set: forms use the colour as
// state (an edited field is yellow). Unset, a text box is white and every
// other control button face.
void setBackColor(QWidget* w, quint32 c);
quint32 backColor(const QWidget* w);

// "<form>.<control>_<event>" for the routine line of the error box.
QString routineName(const QWidget* control, const char* event);

// The keyboard rules of every window, installed once with the first one:
// - A button pressed by its access key (Alt + the underlined letter) is
//   clicked as by the mouse: the focus moves to it first, so the field being
//   left completes its entry (its LostFocus) before the Click runs. A field
//   that does not let the focus go stops the Click, by the mouse as by the
//   key: its LostFocus set the focus elsewhere, or a box came up while it ran
//   (a question, a warning, an error), which the user answers before acting
//   again. Menu entries are not buttons and are left as they are.
// - Text fields and lists are labelled, for assistive technology, by their
//   caption, and those without a name of their own are named by it
//   (nameByCaption), again each time they take the focus.
void installKeyboardRules();

// The focus moves to `b` as a click moves it; true when the click may follow
// (the field left let the focus go, and `b` is still there to be clicked).
bool takeFocusForClick(QAbstractButton* b);

// Takes the keyboard focus from the control of `window` that holds it,
// without its LostFocus: the window is being torn down, and the handler
// would run on a form that is partly gone.
void dropFocus(QWidget* window);

// Where Tab (next) or Shift+Tab goes from `from` when a group of option
// buttons is on the way: a group is one stop, entered at its chosen button.
// nullptr when no group is involved (the window's own order applies).
QWidget* nextTabStop(QWidget* from, bool next);
// Where the tab order of `window` starts (nullptr when nothing takes the focus).
QWidget* firstTabStop(QWidget* window);

// The caption that names a field: the label that stands to its left on the
// same row or, failing that, right above it, in the same frame; empty when
// none does. The access-key mark and a trailing colon are dropped.
QString captionOf(const QWidget* field);
// Labels every text field and list of `window` by its caption (the caption
// label's buddy; one with an access-key mark is left alone), and gives those
// without a name of their own the caption's text as their name.
void nameByCaption(QWidget* window);

} // namespace ctl

namespace color {
// Colours as the program stores them: &HBBGGRR, or a system colour.
constexpr quint32 Green = 0x00FF00;
constexpr quint32 Red = 0x0000FF;
constexpr quint32 Yellow = 0x00FFFF;
constexpr quint32 White = 0xFFFFFF;
constexpr quint32 ButtonFace = 0x8000000F;
constexpr quint32 WindowBackground = 0x80000005;
QColor toQColor(quint32 c);
} // namespace color

// A filled rectangle or circle with a border (a status lamp).
class Shape : public QFrame {
    Q_OBJECT
public:
    enum Kind { Rectangle, Circle };
    explicit Shape(QWidget* parent = nullptr);
    void setFillColor(quint32 c);
    quint32 fillColor() const { return fill_; }
    void setKind(Kind k);
    Kind kind() const { return kind_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    quint32 fill_ = color::ButtonFace;
    Kind kind_ = Rectangle;
};

// A push button whose caption wraps over several lines when it does not fit
// on one, as the program's tall menu buttons expect ("   &Configure   Instrument").
// Runs of blanks in the caption count as one: they only steer where the
// caption breaks. A caption that still does not fit (a word wider than the
// button, more lines than its height holds) is drawn in a smaller size of the
// button's face, down to three quarters of it, so it is read whole.
class CommandButton : public QPushButton {
    Q_OBJECT
public:
    explicit CommandButton(const QString& caption, QWidget* parent = nullptr);

    // How the caption is drawn: the text as laid out, the area it is drawn
    // in and the drawing flags (layout checks use the same rule).
    static constexpr int kCaptionFlags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    QString captionText() const { return text().simplified(); }
    QRect captionRect() const;
    QFont captionFont() const;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A timer created disabled; the tick handler is a plain function so tests can
// call it directly. Ticks run inside the handler boundary: a failing tick
// shows one error box, and while that box is open the timer keeps running
// without stacking a second one.
class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(int intervalMs, std::function<void()> onTick, QObject* parent = nullptr);
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }
    void setInterval(int ms);
    int interval() const { return timer_.interval(); }
    void tick();
    // The routine line of its error box, as "frmMain.tmrLogging_Timer".
    void setRoutine(const QString& routine) { routine_ = routine; }

private:
    QTimer timer_;
    std::function<void()> onTick_;
    bool enabled_ = false;
    QString routine_;
    ctl::OneBox box_;
};

// ---- controls with the one event rule ----

// A list box. ListIndex is the chosen entry, -1 while none is chosen: the
// list taking the keyboard focus chooses nothing.
class ListBox : public QListWidget {
    Q_OBJECT
public:
    explicit ListBox(QWidget* parent = nullptr);
    int ListIndex() const;
    void setListIndex(int i);
    int ListCount() const { return count(); }
    void AddItem(const QString& item);
    void Clear();
    QString List(int i) const;
    std::function<void()> Click;

protected:
    void focusInEvent(QFocusEvent* e) override;

private:
    bool quiet_ = false;
};

// A drop-down list, or with setEditable(true) a list that also takes typed
// text. Filling an empty list chooses nothing (ListIndex stays -1).
class ComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ComboBox(QWidget* parent = nullptr);
    int ListIndex() const { return currentIndex(); }
    void setListIndex(int i);
    int ListCount() const { return count(); }
    void AddItem(const QString& item);
    void Clear();
    QString List(int i) const;
    QString Text() const { return currentText(); }
    // Editable lists: the typed text (raises Change when it differs).
    void setText(const QString& t);
    std::function<void()> Click;
    std::function<void()> Change;

protected:
    // An editable list taking the focus by keyboard, by its window or after
    // its list closes holds its whole text selected, so what is typed
    // replaces a preset text instead of joining it ("32" then "100" is
    // "100", not "32100"). A click puts the caret where it was clicked.
    void focusInEvent(QFocusEvent* e) override;

private:
    bool quiet_ = false;
};

class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBox(const QString& caption = QString(), QWidget* parent = nullptr);
    int Value() const { return isChecked() ? 1 : 0; }
    void setValue(int v);
    std::function<void()> Click;
};

// Click fires when the option becomes the chosen one of its group.
class OptionButton : public QRadioButton {
    Q_OBJECT
public:
    explicit OptionButton(const QString& caption = QString(), QWidget* parent = nullptr);
    bool Value() const { return isChecked(); }
    void setValue(bool on);
    std::function<void()> Click;
};

class TextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit TextBox(QWidget* parent = nullptr);
    QString Text() const { return text(); }
    void setText(const QString& t);
    std::function<void()> Change;
    std::function<void()> GotFocus;
    std::function<void()> LostFocus;
    // The character typed, as its code; setting it to 0 swallows the key,
    // another code types that character instead.
    std::function<void(int& keyAscii)> KeyPress;
};

// ---- generated control arrays ----
namespace ctl {

enum class Kind { Label, TextBox, ComboBox, ListBox, CheckBox, OptionButton, CommandButton, Shape, Frame };

// One row of a layout table: the element's index, what it is, where it stands
// (twips, relative to the parent) and its caption (labels, buttons, check
// boxes, options, frames; the initial text of a text box).
struct ControlSpec {
    int index = 0;
    Kind kind = Kind::Label;
    int left = 0, top = 0, width = 0, height = 0;
    QString caption;
};

// Handlers of a whole array; each receives the element's index. Empty ones
// are not connected.
struct ArrayEvents {
    std::function<void(int)> Click, Change, GotFocus, LostFocus;
    std::function<void(int, int& keyAscii)> KeyPress;
};

// Creates the control a row asks for, placed in twips.
QWidget* create(QWidget* parent, const ControlSpec& row);
// Connects one element's events to the array's handlers; `name` is the array's
// name for the routine line of the error box.
void wire(QWidget* element, int index, const QString& name, const ArrayEvents& e);

} // namespace ctl
using ctl::ControlSpec;

// Controls indexed by number (a register number, a controller group). Reaching
// an element that does not exist is run-time error 340.
template <class T>
class ControlArray {
public:
    using Events = ctl::ArrayEvents;

    // The array's name, as the forms call it ("txtParameter"): every element
    // built afterwards carries it, and error boxes name the handler by it.
    void setName(const QString& name) { name_ = name; }
    const QString& name() const { return name_; }

    // Creates one control per table row on `parent`. A row whose kind is not
    // a T, or an index used twice, is a fault of the table: run-time error 13
    // or 380, raised before that row is added.
    void build(QWidget* parent, const std::vector<ControlSpec>& table)
    {
        for (const ControlSpec& row : table) {
            if (exists(row.index))
                rt::raise(rt::ErrInvalidPropertyValue);
            QWidget* w = ctl::create(parent, row);
            T* t = dynamic_cast<T*>(w);
            if (!t) {
                delete w;
                rt::raise(rt::ErrTypeMismatch);
            }
            if (!name_.isEmpty())
                w->setObjectName(name_);
            add(row.index, t);
        }
    }
    // Connects every element's events to one handler each, taking the index.
    void wire(const Events& e)
    {
        for (auto& [index, control] : items_)
            ctl::wire(control, index, name_, e);
    }

    void add(int index, T* control) { items_[index] = control; }
    bool exists(int index) const { return items_.count(index) != 0; }
    T* operator()(int index) const
    {
        auto it = items_.find(index);
        if (it == items_.end())
            rt::raise(rt::ErrControlArrayElement);
        return it->second;
    }
    const std::map<int, T*>& items() const { return items_; }
    int lBound() const { return items_.empty() ? 0 : items_.begin()->first; }
    int uBound() const { return items_.empty() ? -1 : items_.rbegin()->first; }
    void clear() { items_.clear(); }

private:
    std::map<int, T*> items_;
    QString name_;
};

// The screen's mouse pointer: normal or hourglass.
namespace Screen {
enum Pointer { Default = 0, Hourglass = 11 };
void setMousePointer(int p);
int mousePointer();
} // namespace Screen
