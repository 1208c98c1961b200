#include "platform/form.h"

#include "platform/controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

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
bool gCheckQueued = false;
unsigned gCodeActivations = 0;
void switchTo(Form* f);
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
            if (Form* f = formOfWindow(QGuiApplication::focusWindow()))
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

Form::Form(QWidget* parent) : QWidget(parent) {}

Form::~Form()
{
    Forms::remove(this);
    if (enterMoves_ && qApp)
        qApp->removeEventFilter(this);
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
    if (isHidden())
        show();
    raise();
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
    if (isVisible())
        loop.exec(QEventLoop::DialogExec);
    if (self) {
        modal_ = false;
        setWindowModality(Qt::NonModal);
    }
    // The window that opened the dialog is active again.
    if (previous && previous != self && previous->isVisible())
        Forms::setActive(previous);
}

QPoint Form::frameBorder() const
{
    if (!isWindow())
        return {};
    const QPoint border = geometry().topLeft() - frameGeometry().topLeft();
    return border.isNull() ? border_ : border;
}

void Form::moveFrameTo(QPoint p)
{
    // Once the window has had a frame, Qt and the window manager can disagree
    // about what a frame position of a hidden window means (the manager drops
    // the frame when the window is hidden), and each hide and show moved the
    // window by one frame border. The client area's position means the same to
    // both, so a window whose frame is known is placed by its client area.
    placeFrame(p, frameBorder());
}

void Form::placeFrame(QPoint p, QPoint border)
{
    if (border.isNull())
        move(p);
    else
        setGeometry(QRect(p + border, size()));
}

void Form::noteBorder()
{
    const QPoint border = geometry().topLeft() - frameGeometry().topLeft();
    if (!border.isNull())
        border_ = border;
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
    // The frame is centred over the owner's frame. Before its first showing
    // the window has no frame yet; it will get the one its owner wears.
    QPoint border = frameBorder();
    QSize frame = frameGeometry().size();
    if (border.isNull() && owner && owner->isWindow()) {
        border = owner->geometry().topLeft() - owner->frameGeometry().topLeft();
        frame = size() + (owner->frameGeometry().size() - owner->geometry().size());
    }
    QScreen* screen = owner ? owner->screen() : this->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QPoint centre = owner ? owner->frameGeometry().center() : area.center();
    const QPoint topLeft(centre.x() - frame.width() / 2, centre.y() - frame.height() / 2);
    placeFrame(onScreen(topLeft, frame, area), border);
}

QPoint Form::onScreen(QPoint topLeft, QSize frame, const QRect& area)
{
    // Top-left corner last, so that the title bar can always be reached.
    if (area.isValid()) {
        topLeft.setX(qMax(area.left(), qMin(topLeft.x(), area.right() + 1 - frame.width())));
        topLeft.setY(qMax(area.top(), qMin(topLeft.y(), area.bottom() + 1 - frame.height())));
    }
    return topLeft;
}

void Form::takePlaceOf(const Form& other)
{
    // The new screen stands where the old one stood; a larger one is moved
    // only as far as it takes to keep it whole on the screen.
    QSize frame = frameGeometry().size();
    if (frameBorder().isNull() && other.isWindow())
        frame = size() + (other.frameGeometry().size() - other.geometry().size());
    QScreen* screen = other.screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    moveFrameTo(onScreen(QPoint(other.Left(), other.Top()), frame, area));
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
    int cancel = 0;
    fire(this, "Form_Unload", [this, &cancel] { Form_Unload(cancel); });
    if (cancel)
        return false;
    Hide();
    Forms::remove(this);
    deleteLater();
    return true;
}

void Form::closeEvent(QCloseEvent* e)
{
    // The close box unloads the form; the form may refuse.
    e->ignore();
    Unload();
}

void Form::setEnterMovesFocus(bool on)
{
    if (on == enterMoves_ || !qApp)
        return;
    enterMoves_ = on;
    if (on)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool Form::eventFilter(QObject* obj, QEvent* e)
{
    if (enterMoves_ && e->type() == QEvent::KeyPress) {
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
    return QWidget::eventFilter(obj, e);
}
