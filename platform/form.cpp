#include "platform/form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

namespace Forms {
namespace {
std::unordered_map<std::type_index, Form*>& registry()
{
    static std::unordered_map<std::type_index, Form*> r;
    return r;
}
QPointer<Form> gActive;
bool gWatching = false;

// The user moved to another window of this program: fire the events. Boxes,
// file dialogs and other applications do not count.
void onFocusWindow(QWindow* w)
{
    if (!w)
        return;
    // Only a form that is a window of its own can match: a form embedded in
    // another (a child of a multiple-document window) shares that window, and
    // the activation belongs to the outer form.
    for (auto& [t, f] : registry()) {
        if (f->isWindow() && f->isVisible() && f->windowHandle() == w) {
            setActive(f);
            return;
        }
    }
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

void setActive(Form* f)
{
    if (gActive.data() == f)
        return;
    Form* old = gActive.data();
    gActive = f;
    if (old)
        old->Form_Deactivate();
    // A deactivate handler may itself have moved activation on.
    if (f && gActive.data() == f)
        f->Form_Activate();
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
    Form_Load();
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
    const QPoint border = frameBorder();
    if (!border.isNull())
        setGeometry(QRect(p + border, size()));
    else
        move(p);
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
    // The frame is centred over the owner's frame; before the first showing
    // the window manager's frame is not known yet, and the client size is
    // what there is to centre.
    const QRect own = frameGeometry();
    QScreen* screen = owner ? owner->screen() : this->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QPoint centre = owner ? owner->frameGeometry().center() : area.center();
    QPoint topLeft(centre.x() - own.width() / 2, centre.y() - own.height() / 2);
    // Kept on the screen, top-left corner first, so that the title bar can
    // always be reached.
    if (area.isValid()) {
        topLeft.setX(qMax(area.left(), qMin(topLeft.x(), area.right() + 1 - own.width())));
        topLeft.setY(qMax(area.top(), qMin(topLeft.y(), area.bottom() + 1 - own.height())));
    }
    moveFrameTo(topLeft);
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
    Form_Unload(cancel);
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
