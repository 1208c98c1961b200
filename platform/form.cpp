#include "platform/form.h"

#include "platform/app.h"
#include "platform/controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPixmapCache>
#include <QScopedValueRollback>
#include <QScreen>
#include <QWindow>
#include <algorithm>

namespace {
// A form's own event inside the handler boundary.
void fire(Form* f, const char* event, const std::function<void()>& body)
{
    const QString name = f->objectName().isEmpty() ? QString::fromLatin1(f->metaObject()->className()) : f->objectName();
    ctl::guard(f, name + QLatin1Char('.') + QLatin1String(event), body);
}
} // namespace

namespace Forms {
namespace {
std::unordered_map<std::type_index, Form*>& registry()
{
    static std::unordered_map<std::type_index, Form*> r;
    return r;
}
QPointer<Form> gActive;
bool gWatching = false;

Form* formOfWindow(QWindow* w)
{
    // Only a form that is a window of its own can match: a form embedded in
    // another (a child of a multiple-document window) shares that window, and
    // the activation belongs to the outer form.
    if (w)
        for (auto& [t, f] : registry())
            if (f->isWindow() && f->isVisible() && f->windowHandle() == w)
                return f;
    return nullptr;
}

// The user moved to another window of this program: fire the events. Boxes,
// file dialogs and other applications do not count. The focus is looked at
// once the platform's queued changes are through: when code shows two windows
// in a row, the first one's focus change arrives after the second is already
// the active form, and acting on it would deactivate and activate both again.
// Code that makes a form active while a check is pending (a handler run from
// the same pass of the event loop, or right after a box's own loop ended) is
// the later word: the focus that check would read is stale, the platform not
// having told of the new window yet, so the check is dropped. The platform's
// report of the new focus queues a fresh one.
//
// A window the program shows asks the window manager for the focus, and the
// manager may first give it elsewhere: a box that closed hands it back to
// its owner, and that report can arrive after the program has shown another
// window (a refused request's box, then the monitor). Until the shown window
// has the focus, or a moment has passed, reports of another form are such
// leftovers: they are dropped, and the shown window asks again.
bool gCheckQueued = false;
unsigned gCodeActivations = 0;
QPointer<Form> gRequested;
QElapsedTimer gRequestedAt;
constexpr int kFocusGraceMs = 1000;
void switchTo(Form* f);
bool leftover(Form* f)
{
    if (!gRequested)
        return false;
    if (f == gRequested || !gRequested->isVisible() || gRequestedAt.elapsed() > kFocusGraceMs) {
        gRequested = nullptr;
        return false;
    }
    gRequested->activateWindow();
    return true;
}
// Asks the window system to give the focus to window `f`.
void requestFocus(Form* f)
{
    f->activateWindow();
    gRequested = f;
    gRequestedAt.start();
}
void onFocusWindow(QWindow*)
{
    if (gCheckQueued)
        return;
    gCheckQueued = true;
    const unsigned seen = gCodeActivations;
    QMetaObject::invokeMethod(
        qApp,
        [seen] {
            gCheckQueued = false;
            if (seen != gCodeActivations)
                return;
            if (Form* f = formOfWindow(QGuiApplication::focusWindow()); f && !leftover(f))
                switchTo(f);
        },
        Qt::QueuedConnection);
}

void watch()
{
    if (gWatching || !qApp)
        return;
    gWatching = true;
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, qApp, &onFocusWindow);
}
} // namespace

Form* active() { return gActive.data(); }

namespace {
void switchTo(Form* f)
{
    if (gActive.data() == f)
        return;
    QPointer<Form> old = gActive.data();
    gActive = f;
    if (old)
        fire(old, "Form_Deactivate", [old] { old->Form_Deactivate(); });
    // A deactivate handler may itself have moved activation on.
    if (f && gActive.data() == f)
        fire(f, "Form_Activate", [f] { f->Form_Activate(); });
}
} // namespace

void setActive(Form* f)
{
    ++gCodeActivations;
    switchTo(f);
}

Form* find(std::type_index t)
{
    auto it = registry().find(t);
    return it == registry().end() ? nullptr : it->second;
}

void add(std::type_index t, Form* f)
{
    watch();
    registry()[t] = f;
}

void remove(Form* f)
{
    for (auto it = registry().begin(); it != registry().end(); ++it)
        if (it->second == f) {
            registry().erase(it);
            break;
        }
    if (gActive.data() == f)
        gActive = nullptr;
}

std::vector<Form*> loaded()
{
    std::vector<Form*> v;
    for (auto& [t, f] : registry())
        v.push_back(f);
    return v;
}

QWidget* ownerFor(QWidget* owner)
{
    if (owner)
        return owner;
    Form* f = active();
    return f && f->isVisible() ? f->window() : nullptr;
}

namespace {
// The boxes, dialogs and modal windows open now, innermost last.
std::vector<ModalScope*> gModal;
quint64 gScopesOpened = 0;
// Forms unloaded while one opened since they were made was open.
std::vector<QPointer<Form>> gDiscarded;

// Whether a box, dialog or modal window opened after the `before`th is open:
// the loop of each such one may run above a handler of a form made before it.
bool openSince(quint64 before)
{
    return std::any_of(gModal.begin(), gModal.end(), [before](const ModalScope* s) { return s->serial() > before; });
}
} // namespace

quint64 scopesOpened() { return gScopesOpened; }

ModalScope::ModalScope(QWidget* owner, QDialog* dialog)
    : owner_(owner), dialog_(dialog), shown_(dialog != nullptr), depth_(ctl::depth()), serial_(++gScopesOpened)
{
    gModal.push_back(this);
}

ModalScope::~ModalScope()
{
    std::erase(gModal, this);
    // Back in the loop that was running before this one opened: the handler
    // that opened it is still on the stack, and a deferred delete posted
    // from here waits until it has returned.
    std::erase_if(gDiscarded, [](const QPointer<Form>& f) {
        if (!f)
            return true;
        if (openSince(f->scopesBefore()))
            return false;
        f->deleteLater();
        return true;
    });
}

bool ModalScope::closed() const { return shown_ && (!dialog_ || !dialog_->isVisible()); }

bool ModalScope::over(const QWidget* control) const
{
    return control && owner_ && owner_->window() == control->window() && depth_ == ctl::depth();
}

bool blockedByBox(const QWidget* control)
{
    return std::any_of(gModal.begin(), gModal.end(),
                       [control](const ModalScope* s) { return s->over(control) && !s->closed(); });
}

bool boxClosingOver(const QWidget* control)
{
    return std::any_of(gModal.begin(), gModal.end(),
                       [control](const ModalScope* s) { return s->over(control) && s->closed(); });
}

void closeBoxesOver(const Form* f)
{
    for (const ModalScope* s : std::vector<ModalScope*>(gModal))
        if (s->dialog_ && s->owner_ && (s->owner_ == f || f->isAncestorOf(s->owner_)))
            s->dialog_->reject();
}

void discard(Form* f)
{
    if (openSince(f->scopesBefore()))
        gDiscarded.emplace_back(f);
    else
        f->deleteLater();
}

void discardAll()
{
    auto all = loaded();
    registry().clear();
    gActive = nullptr;
    for (Form* f : all) {
        f->hide();
        delete f;
    }
}

} // namespace Forms

Form::Form(QWidget* parent) : QWidget(parent), scopesBefore_(Forms::scopesOpened())
{
    // Every window of the program, and every box and dialog it opens, wears
    // the program's icon.
    if (qApp && QApplication::windowIcon().cacheKey() != App::icon().cacheKey())
        QApplication::setWindowIcon(App::icon());
    ctl::installKeyboardRules();
    // No window keeps the style's drawings in Qt's pixmap cache. The style
    // keys each drawing by the palette of the control drawn, and every
    // control has a palette of its own (a button with a style-sheet face a
    // new one each time it is drawn), so the drawings of a closed window are
    // never used again: they filled the cache (10 MB) with every opening of
    // a window, and each one the cache dropped left its key text behind for
    // good. Drawn afresh, they cost a little time at each paint instead.
    if (QPixmapCache::cacheLimit() != 0)
        QPixmapCache::setCacheLimit(0);
}

Form::~Form()
{
    ctl::dropFocus(this);
    Forms::remove(this);
    delete keyPreview_;
}

void Form::runLoad()
{
    if (loaded_)
        return;
    loaded_ = true;
    fire(this, "Form_Load", [this] { Form_Load(); });
}

void Form::Show()
{
    if (isHidden()) {
        if (isWindow() && !opened_) {
            // A window opens with the focus where its tab order starts,
            // whatever its building left focused.
            opened_ = true;
            if (QWidget* first = ctl::firstTabStop(this))
                first->setFocus(Qt::TabFocusReason);
        }
        ctl::nameByCaption(this);
        if (isWindow() && !modal_) {
            // A window the program has not placed opens over the window the
            // user works in (the screen's middle for the first one); one shown
            // before comes back where it stood. Either way it is whole on the
            // screen, and the place is the program's own, not one the window
            // manager picks when the window is mapped.
            Form* opener = Forms::active();
            if (!testAttribute(Qt::WA_Moved))
                centreOver(opener && opener != this && opener->isVisible() ? opener->window() : nullptr);
            else
                keepOnScreen();
        }
        show();
    }
    raise();
    if (isWindow())
        Forms::requestFocus(this);
    else
        activateWindow();
    Forms::setActive(this);
}

void Form::ShowModal()
{
    if (modal_)
        return;
    QPointer<Form> previous = Forms::active();
    QPointer<Form> self = this;
    modal_ = true;
    setWindowModality(Qt::ApplicationModal);
    if (isHidden())
        centreOver(previous && previous->isVisible() ? previous->window() : nullptr);
    QEventLoop loop;
    connect(this, &Form::closedOrHidden, &loop, &QEventLoop::quit);
    Show();
    if (isVisible()) {
        const Forms::ModalScope open(nullptr, nullptr);
        // Hidden and shown again before the loop has ended, it is still
        // open. It gives up its modality only once hidden: Qt keeps a window
        // that loses it while shown among the modal ones, blocking every
        // other window's mouse and keys for good.
        do
            loop.exec(QEventLoop::DialogExec);
        while (self && isVisible());
    }
    if (self) {
        modal_ = false;
        setWindowModality(Qt::NonModal);
    }
    // The window that opened the dialog is active again.
    if (previous && previous != self && previous->isVisible())
        Forms::setActive(previous);
}

namespace {
// The margins a window's frame puts around its client area as Qt tells them
// (nothing while Qt has not heard of a frame, which may stay so a while
// after the window manager has put one on).
QMargins liveMargins(const QWidget* w)
{
    const QRect client = w->geometry();
    const QRect frame = w->frameGeometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

// The frame a window wears or will wear: its own when known (a form's is
// remembered while it is hidden), else that of `like`, else that of another
// shown window of the program.
QMargins marginsOf(const QWidget* w, const QWidget* like)
{
    auto known = [](const QWidget* x) {
        if (!x || !x->isWindow())
            return QMargins();
        if (auto* f = qobject_cast<const Form*>(x))
            return f->frameMargins();
        return liveMargins(x);
    };
    QMargins m = known(w);
    if (m.isNull())
        m = known(like);
    for (Form* f : Forms::loaded())
        if (m.isNull() && f != w && f->isVisible())
            m = known(f);
    return m;
}

QPoint onScreen(QPoint topLeft, QSize frame, const QRect& area)
{
    // Top-left corner last, so that the title bar can always be reached.
    if (area.isValid()) {
        topLeft.setX(qMax(area.left(), qMin(topLeft.x(), area.right() + 1 - frame.width())));
        topLeft.setY(qMax(area.top(), qMin(topLeft.y(), area.bottom() + 1 - frame.height())));
    }
    return topLeft;
}

QRect areaOf(const QWidget* w)
{
    QScreen* screen = w ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

// Puts the frame's top-left corner of window `w`, whose frame has the
// margins `m`, at `p`.
void placeFrame(QWidget* w, QPoint p, const QMargins& m)
{
    if (m.isNull()) {
        // No frame known anywhere: the window system is told the frame's place.
        w->move(p);
        return;
    }
    const QRect client(p + QPoint(m.left(), m.top()), w->size());
    QWindow* h = w->windowHandle();
    if (h && w->isHidden()) {
        // A hidden window's place reaches the window system only when it is
        // shown, and only when it differs from the one Qt last gave it. A
        // window that comes back where it stood, or one first placed by its
        // frame, would then be mapped without a place of the program's (the
        // window manager places it itself, anywhere it likes) or with the
        // place meant as the frame's (one frame border off). Set on the
        // window itself, and changed there, the client area's place goes
        // out as the program's own.
        h->setGeometry(client.translated(1, 0));
        h->setGeometry(client);
    }
    w->setGeometry(client);
}
} // namespace

namespace Forms {
void centre(QWidget* w, const QWidget* owner)
{
    if (!w->isWindow())
        return;
    const QMargins m = marginsOf(w, owner);
    const QSize frame = w->size().grownBy(m);
    const QRect area = areaOf(owner ? owner : w);
    QPoint centre = area.center();
    if (owner) {
        const QMargins om = marginsOf(owner, nullptr);
        centre = QRect(owner->geometry().topLeft() - QPoint(om.left(), om.top()), owner->size().grownBy(om)).center();
    }
    const QPoint topLeft(centre.x() - frame.width() / 2, centre.y() - frame.height() / 2);
    placeFrame(w, onScreen(topLeft, frame, area), m);
}
} // namespace Forms

QMargins Form::frameMargins() const
{
    if (!isWindow())
        return {};
    const QMargins m = liveMargins(this);
    return m.isNull() ? margins_ : m;
}

QPoint Form::frameBorder() const
{
    const QMargins m = frameMargins();
    return QPoint(m.left(), m.top());
}

void Form::moveFrameTo(QPoint p)
{
    // Once the window has had a frame, Qt and the window manager can disagree
    // about what a frame position of a hidden window means (the manager drops
    // the frame when the window is hidden), and each hide and show moved the
    // window by one frame border. The client area's position means the same to
    // both, so a window whose frame is known is placed by its client area.
    place(p, frameMargins());
}

void Form::place(QPoint p, const QMargins& m)
{
    // A window not shown yet wears the frame it was placed by.
    if (margins_.isNull())
        margins_ = m;
    placeFrame(this, p, m);
}

void Form::noteBorder()
{
    const QMargins m = liveMargins(this);
    if (!m.isNull())
        margins_ = m;
}

void Form::moveEvent(QMoveEvent* e)
{
    noteBorder();
    QWidget::moveEvent(e);
}

void Form::hideEvent(QHideEvent* e)
{
    noteBorder();
    QWidget::hideEvent(e);
}

void Form::centreOver(const QWidget* owner)
{
    if (!isWindow())
        return;
    const QMargins m = marginsOf(this, owner);
    if (margins_.isNull())
        margins_ = m;
    Forms::centre(this, owner);
}

void Form::keepOnScreen()
{
    const QMargins m = marginsOf(this, nullptr);
    place(onScreen(framePos(), size().grownBy(m), areaOf(this)), m);
}

void Form::takePlaceOf(const Form& other)
{
    // The new screen stands where the old one stood; a larger one is moved
    // only as far as it takes to keep it whole on the screen.
    const QMargins m = marginsOf(this, &other);
    place(onScreen(QPoint(other.Left(), other.Top()), size().grownBy(m), areaOf(&other)), m);
}

void Form::Hide()
{
    hide();
    if (Forms::active() == this)
        Forms::setActive(nullptr);
    emit closedOrHidden();
}

bool Form::Unload()
{
    if (unloaded_)
        return true;
    if (unloading_)
        return false;
    int cancel = 0;
    {
        const QScopedValueRollback asking(unloading_, true);
        fire(this, "Form_Unload", [this, &cancel] { Form_Unload(cancel); });
    }
    if (cancel)
        return false;
    unloaded_ = true;
    // A box still open over the window answers as Escape would, and its
    // caller goes on with the form still there.
    Forms::closeBoxesOver(this);
    Hide();
    Forms::remove(this);
    Forms::discard(this);
    return true;
}

void Form::closeEvent(QCloseEvent* e)
{
    // The close box unloads the form; the form may refuse.
    e->ignore();
    Unload();
}

namespace {
class KeyPreview : public QObject {
public:
    KeyPreview(std::function<bool(QObject*, QEvent*)> filter) : filter_(std::move(filter)) {}
    bool eventFilter(QObject* obj, QEvent* e) override { return filter_(obj, e); }

private:
    std::function<bool(QObject*, QEvent*)> filter_;
};
} // namespace

void Form::setEnterMovesFocus(bool on)
{
    if (on == enterMoves_ || !qApp)
        return;
    enterMoves_ = on;
    if (on) {
        keyPreview_ = new KeyPreview([this](QObject* obj, QEvent* e) { return enterMovesFocus(obj, e); });
        qApp->installEventFilter(keyPreview_);
    } else {
        delete keyPreview_;
        keyPreview_ = nullptr;
    }
}

bool Form::focusNextPrevChild(bool next)
{
    if (QWidget* to = ctl::nextTabStop(QApplication::focusWidget(), next)) {
        to->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

bool Form::enterMovesFocus(QObject* obj, QEvent* e)
{
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        auto* w = qobject_cast<QWidget*>(obj);
        if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && w && w->window() == window() &&
            w != window() && !keepEnter_.contains(w)) {
            // As a Tab keystroke would: the focus moves to the next field.
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QApplication::sendEvent(w, &tab);
            return true;
        }
    }
    return false;
}
