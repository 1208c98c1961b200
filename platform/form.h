#pragma once
// Windows of the program: one class per window, one instance each, created on
// first use. Load runs once when the instance is created; Activate and
// Deactivate fire only when another window of this program becomes the active
// one (not around a message box or file dialog, and not when the user switches
// to another application); Unload can be cancelled by the form. Each of these
// events runs inside the handler boundary (ctl::guard): a failing Load shows
// its box and the form stays loaded with what it built.
#include <QPointer>
#include <QSet>
#include <QWidget>
#include <functional>
#include <typeindex>
#include <unordered_map>

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
    // Runs Form_Unload; unless cancelled, hides the form and discards the
    // instance (the next use creates a new one). Returns true when unloaded.
    bool Unload();

    bool isModalShown() const { return modal_; }
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
    bool eventFilter(QObject* obj, QEvent* e) override;
    // Tab passes a group of option buttons as one stop (ctl::nextTabStop).
    bool focusNextPrevChild(bool next) override;

private:
    void noteBorder();
    QPoint frameBorder() const;
    // Puts the frame's corner at p, given the frame's margins: by the client
    // area when they are known.
    void place(QPoint p, const QMargins& m);

    bool modal_ = false;
    // The frame the window manager gave the window when it was last shown;
    // Qt forgets it while the window is hidden.
    QMargins margins_;
    bool loaded_ = false;
    bool opened_ = false;
    bool enterMoves_ = false;
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
