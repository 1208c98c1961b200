#pragma once
// Windows of the program: one class per window, one instance each, created on
// first use. Load runs once when the instance is created; Activate and
// Deactivate fire only when another window of this program becomes the active
// one (not around a message box or file dialog, and not when the user switches
// to another application); Unload can be cancelled by the form. Each of these
// events runs inside the handler boundary (ctl::guard): a failing Load shows
// its box and the form stays loaded with what it built.
//
// A form is never deleted under a loop that one of its handlers started: an
// unloaded form is hidden and leaves the registry at once, but while a box,
// file dialog or modal window opened since the form was made is open, it is
// deleted only once the last of those has closed (one opened before it, such
// as the dialog a viewer was opened from, cannot have the form's handler
// beneath it). Its own boxes and file dialogs close first, with their cancel
// answer.
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <typeindex>
#include <unordered_map>

class QDialog;

class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    // ---- events, overridden by the forms ----
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Deactivate() {}
    // Setting cancel to a nonzero value keeps the form loaded.
    virtual void Form_Unload(int& cancel) { (void)cancel; }

    // Shows the window modeless and makes it the active window.
    virtual void Show();
    // Shows the window modal, centred over the window that opened it:
    // returns when it is hidden or unloaded.
    void ShowModal();
    virtual void Hide();
    // Runs Form_Unload; unless cancelled, closes the form's open boxes and
    // file dialogs, hides the form and discards the instance (the next use
    // creates a new one). Returns true when unloaded; a form already
    // unloaded is not asked again.
    bool Unload();

    bool isModalShown() const { return modal_; }
    // How many boxes, dialogs and modal windows the program had opened when
    // the form was made (the registry's rule for deleting it).
    quint64 scopesBefore() const { return scopesBefore_; }
    // The form's own Visible flag.
    bool Visible() const { return !isHidden(); }

    // The window's place is its frame's top-left corner, as the user sees it.
    int Left() const { return framePos().x(); }
    int Top() const { return framePos().y(); }
    void setLeft(int v) { moveFrameTo(QPoint(v, Top())); }
    void setTop(int v) { moveFrameTo(QPoint(Left(), v)); }
    // The frame's top-left corner, also while the window is hidden.
    QPoint framePos() const { return geometry().topLeft() - frameBorder(); }
    // Puts the frame's top-left corner at `p`.
    void moveFrameTo(QPoint p);

    // Enter in a field moves to the next field (key preview), except in the
    // widgets listed with keepEnter().
    void setEnterMovesFocus(bool on);
    void keepEnter(QWidget* w) { keepEnter_.insert(w); }

    // Used by the registry.
    void runLoad();
    // Moves the window so that it stands centred over `owner` (over the
    // screen when there is none), kept on the screen.
    void centreOver(const QWidget* owner);
    // Moves the window to where `other` stands, kept whole on the screen.
    void takePlaceOf(const Form& other);
    // Moves the window as little as it takes to stand whole on the screen.
    void keepOnScreen();
    // The margins the window manager's frame puts around the client area,
    // also while the window is hidden (those it had when last shown).
    QMargins frameMargins() const;

signals:
    void closedOrHidden();

protected:
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    // Tab passes a group of option buttons as one stop (ctl::nextTabStop).
    bool focusNextPrevChild(bool next) override;

private:
    // Enter in a field of this window as Tab (the key preview).
    bool enterMovesFocus(QObject* obj, QEvent* e);
    void noteBorder();
    QPoint frameBorder() const;
    // Puts the frame's corner at p, given the frame's margins: by the client
    // area when they are known.
    void place(QPoint p, const QMargins& m);

    bool modal_ = false;
    quint64 scopesBefore_ = 0;
    // The frame the window manager gave the window when it was last shown;
    // Qt forgets it while the window is hidden.
    QMargins margins_;
    bool loaded_ = false;
    bool opened_ = false;
    bool unloading_ = false;
    bool unloaded_ = false;
    bool enterMoves_ = false;
    // The key preview's filter on the whole program, an object of its own:
    // the form's own eventFilter, which a form may use for its controls, is
    // never asked about every event of the program, nor while the form is
    // still being built or already being torn down.
    QObject* keyPreview_ = nullptr;
    QSet<QWidget*> keepEnter_;
};

namespace Forms {

// The active form of this program (nullptr when none is).
Form* active();
// Makes `f` the active form, firing Deactivate on the old and Activate on the new.
void setActive(Form* f);

// Registry of the single instances.
Form* find(std::type_index t);
void add(std::type_index t, Form* f);
void remove(Form* f);
// Every loaded form (tests use it to clean up).
std::vector<Form*> loaded();
// Discards every form without running unload handlers (tests).
void discardAll();
// The window a box or dialog stands over: `owner`, or when none is given the
// program's active window.
QWidget* ownerFor(QWidget* owner);

// A box, file dialog or modal window of the program, for as long as its loop
// runs. `owner` is the window it stands over, whose presses it blocks (none
// for a modal window: its own Unload ends it); `dialog`, when given, is
// closed with its cancel answer when its owner is unloaded.
class ModalScope {
public:
    ModalScope(QWidget* owner, QDialog* dialog);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
    quint64 serial() const { return serial_; }

private:
    friend bool blockedByBox(const QWidget* control);
    friend bool boxClosingOver(const QWidget* control);
    friend void closeBoxesOver(const Form* f);
    // Stands over the press of `control` (its window's, from this loop).
    bool over(const QWidget* control) const;
    // A box or dialog shown (not one a test's handler answers) that has
    // closed: its loop is ending.
    bool closed() const;
    QPointer<QWidget> owner_;
    QPointer<QDialog> dialog_;
    bool shown_;
    int depth_;
    quint64 serial_; // the how-manieth opened, from 1
};
// How many boxes, dialogs and modal windows have opened so far.
quint64 scopesOpened();
// True when a press on `control` comes straight from the loop of a box or
// file dialog that stands over the control's window (a screen reader can
// press what the box blocks for the mouse and the keys), not from code.
bool blockedByBox(const QWidget* control);
// True when such a box has closed but its loop still runs: on a loaded
// machine the events that follow the click that closed it (the user's next
// click) come in the same batch, before the box's caller goes on.
bool boxClosingOver(const QWidget* control);
// Closes the boxes and file dialogs that stand over `f` or a window inside it.
void closeBoxesOver(const Form* f);
// Deletes an unloaded form once every box, dialog or modal window opened
// since the form was made has closed: a handler of the form can be running
// only under those.
void discard(Form* f);

// Moves top-level window `w` (a form or a box) so that its frame stands
// centred over `owner`'s (over the screen when there is none), kept whole on
// the screen.
void centre(QWidget* w, const QWidget* owner);

template <class T>
T& get()
{
    if (Form* f = find(typeid(T)))
        return *static_cast<T*>(f);
    T* f = new T;
    add(typeid(T), f);
    f->runLoad();
    return *f;
}

template <class T>
bool isLoaded()
{
    return find(typeid(T)) != nullptr;
}

} // namespace Forms
