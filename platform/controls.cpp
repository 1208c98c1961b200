#include "platform/controls.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QSet>
#include <QShortcutEvent>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <climits>
#include <cstdlib>
#include <map>
#include <new>
#include <utility>

#include "platform/form.h"
#include "platform/msgbox.h"
#include "platform/twips.h"

namespace ctl {

bool Visible(const QWidget* w)
{
    if (!w)
        return false;
    if (w->isWindow())
        return !w->isHidden();
    // A child that nobody hid counts as visible even while its window has
    // never been shown (Qt marks every new widget hidden until then).
    return !(w->testAttribute(Qt::WA_WState_Hidden) && w->testAttribute(Qt::WA_WState_ExplicitShowHide));
}

namespace {
int gDepth = 0;

// Runs body; a failure comes back as (number, description), 0 when none.
int attempt(const std::function<void()>& body, QString& description)
{
    const QScopedValueRollback inside(gDepth, gDepth + 1);
    try {
        if (body)
            body();
        return 0;
    } catch (const rt::RtError& e) {
        description = e.description();
        return e.number();
    } catch (const std::bad_alloc&) {
        description = rt::describe(rt::ErrOutOfMemory);
        return rt::ErrOutOfMemory;
    } catch (const std::exception& e) {
        description = QString::fromLocal8Bit(e.what());
        if (description.isEmpty())
            description = rt::describe(rt::ErrInternal);
        return rt::ErrInternal;
    }
}
} // namespace

void guard(QWidget* owner, const QString& routine, const std::function<void()>& body)
{
    QString description;
    if (const int number = attempt(body, description))
        mb::AppError(owner, number, description, routine);
}

void guard(QWidget* owner, const std::function<QString()>& routine, const std::function<void()>& body)
{
    QString description;
    if (const int number = attempt(body, description))
        mb::AppError(owner, number, description, routine());
}

void press(QWidget* owner, const QString& routine, const std::function<void()>& body)
{
    if (Forms::blockedByBox(owner))
        return;
    if (Forms::boxClosingOver(owner)) {
        // The user's, made once the box had gone: it runs after the box's
        // caller has gone on, as it would have on a machine that kept up.
        QTimer::singleShot(0, owner, [owner, routine, body] { press(owner, routine, body); });
        return;
    }
    guard(owner, routine, body);
}

int depth() { return gDepth; }

void skipOnFailure(const std::function<void()>& step)
{
    QString ignored;
    attempt(step, ignored);
}

void OneBox::guard(QWidget* owner, const QString& routine, const std::function<void()>& body)
{
    QString description;
    if (const int number = attempt(body, description))
        show(owner, number, description, routine);
}

void OneBox::show(QWidget* owner, int number, const QString& description, const QString& routine)
{
    if (open_)
        return;
    const QScopedValueRollback open(open_, true);
    mb::AppError(owner, number, description, routine);
}

void setBackColor(QWidget* w, quint32 c)
{
    w->setProperty("qxBackColor", QVariant::fromValue(c));
    QPalette pal = w->palette();
    const QColor q = color::toQColor(c);
    if (qobject_cast<QLineEdit*>(w)) {
        pal.setColor(QPalette::Base, q);
    } else if (qobject_cast<QAbstractButton*>(w)) {
        pal.setColor(QPalette::Button, q);
    } else {
        pal.setColor(QPalette::Window, q);
        w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

quint32 backColor(const QWidget* w)
{
    const QVariant v = w->property("qxBackColor");
    if (v.isValid())
        return v.value<quint32>();
    return qobject_cast<const QLineEdit*>(w) ? color::White : color::ButtonFace;
}

QString routineName(const QWidget* control, const char* event)
{
    auto nameOf = [](const QObject* o) {
        return o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className()) : o->objectName();
    };
    const QWidget* form = control->window();
    QString r = form == control ? QString() : nameOf(form) + QLatin1Char('.');
    return r + nameOf(control) + QLatin1Char('_') + QLatin1String(event);
}

namespace {
// The last field left through its LostFocus: where the focus was going, and
// whether the field stopped it on the way (set it elsewhere, or put a box up).
struct Leave {
    QPointer<QWidget> to;
    bool stopped = false;
};
Leave gLeave;
// A window being torn down is losing its focus: no handler runs.
bool gDropping = false;

// Focus and key events of one control, delivered to plain functions inside
// the handler boundary.
class EventTap : public QObject {
public:
    explicit EventTap(QWidget* w) : QObject(w), w_(w) { w->installEventFilter(this); }
    std::function<void()> gotFocus, lostFocus;
    std::function<void(int&)> keyPress;

    // A box, a menu or another window coming up takes no focus from the
    // field, whether the mouse or its access key opens a menu (the key gives
    // the menu bar the focus first).
    static bool passing(Qt::FocusReason reason)
    {
        return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason
            || reason == Qt::MenuBarFocusReason;
    }

    // The focus arrives at `w`: a field of its window that let the focus pass
    // to a menu or another window and still holds it is left first. False
    // when that field kept the focus (took it back).
    static bool arrive(QWidget* w)
    {
        if (completing_)
            return true;
        QPointer<QWidget>& holder = holders()[w->window()];
        const QPointer<QWidget> was = holder;
        if (!was || was == w || was->window() != w->window() || was->isAncestorOf(w))
            return true;
        holder = nullptr;
        if (EventTap* t = tapFound(was)) {
            const QScopedValueRollback completing(completing_, true);
            t->leave();
        }
        if (QApplication::focusWidget() == w)
            return true;
        if (QApplication::focusWidget() == was)
            holder = was;
        return false;
    }

    // The tap of `w`; nullptr when it has none.
    static EventTap* tapFound(QWidget* w)
    {
        for (QObject* c : w->children())
            if (auto* t = dynamic_cast<EventTap*>(c))
                return t;
        return nullptr;
    }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override
    {
        if (obj != w_)
            return false;
        switch (e->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            focus(e->type() == QEvent::FocusIn, static_cast<QFocusEvent*>(e)->reason());
            return false;
        case QEvent::KeyPress:
            return key(static_cast<QKeyEvent*>(e));
        default:
            return false;
        }
    }

private:
    // The field that holds its window's focus as the handlers see it: it has
    // had its GotFocus and not yet its LostFocus. A box, a menu or another
    // window coming up takes no focus from it, and getting the focus back is
    // no new focus, so a handler that shows a box does not run again when the
    // box closes. A field that the focus was moving to while the box was up
    // is not the holder: when the box has gone and it has the focus, it gets
    // its GotFocus then, once.
    static std::map<const QWidget*, QPointer<QWidget>>& holders()
    {
        static std::map<const QWidget*, QPointer<QWidget>> h;
        return h;
    }

    void focus(bool in, Qt::FocusReason reason)
    {
        if (completing_ || gDropping)
            return;
        // A window whose field let the focus go, or that is gone with its
        // fields, holds nothing: its entry goes, so that windows opened
        // again and again leave none behind.
        std::erase_if(holders(), [](const auto& entry) { return !entry.second; });
        QPointer<QWidget>& holder = holders()[w_->window()];
        if (in) {
            if (holder == w_ || !arrive(w_))
                return;
            holder = w_;
            if (gotFocus)
                guard(w_->window(), routineName(w_, "GotFocus"), gotFocus);
            return;
        }
        if (passing(reason))
            return;
        if (holder == w_)
            holder = nullptr;
        leave();
    }

    // The field's LostFocus; the focus has already been given to the widget it goes to.
    void leave()
    {
        const QPointer<QWidget> to = QApplication::focusWidget();
        const int boxes = mb::shownCount();
        if (lostFocus)
            guard(w_->window(), routineName(w_, "LostFocus"), lostFocus);
        gLeave.to = to;
        gLeave.stopped = mb::shownCount() != boxes || !to || to->window()->focusWidget() != to;
    }

    bool key(QKeyEvent* k)
    {
        if (!keyPress || retyping_ || k->text().size() != 1 || k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab)
            return false;
        const int typed = k->text().at(0).unicode();
        int code = typed;
        guard(w_->window(), routineName(w_, "KeyPress"), [&] { keyPress(code); });
        if (code == typed)
            return false;
        if (code != 0) {
            // The handler asked for another character: type that one instead.
            const QChar c(code);
            const int key = code == 13 ? int(Qt::Key_Return) : code == 8 ? int(Qt::Key_Backspace) : int(c.toUpper().unicode());
            QKeyEvent other(QEvent::KeyPress, key, k->modifiers(), QString(c));
            const QScopedValueRollback retyping(retyping_, true);
            QApplication::sendEvent(w_, &other);
        }
        return true;
    }

    QWidget* w_;
    bool retyping_ = false;
    // A field's LostFocus completed late runs without the focus events it causes.
    static inline bool completing_ = false;
};

EventTap* tapOf(QWidget* w)
{
    EventTap* t = EventTap::tapFound(w);
    return t ? t : new EventTap(w);
}
} // namespace

void dropFocus(QWidget* window)
{
    QWidget* holder = QApplication::focusWidget();
    if (!holder || (holder != window && !window->isAncestorOf(holder)))
        return;
    const QScopedValueRollback dropping(gDropping, true);
    holder->clearFocus();
}

bool takeFocusForClick(QAbstractButton* b)
{
    const QPointer<QAbstractButton> button = b;
    if ((b->focusPolicy() & Qt::ClickFocus) && b->window()->focusWidget() != b) {
        gLeave = {};
        b->setFocus(Qt::ShortcutFocusReason);
        if (!button || (gLeave.to == b && gLeave.stopped) || b->window()->focusWidget() != b)
            return false;
    }
    return button && b->isEnabled() && b->isVisible();
}

namespace {
bool takesTab(const QWidget* w, const QWidget* top)
{
    return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->window() == top && w->isEnabled() &&
           w->isVisibleTo(top) && !w->focusProxy();
}

// An option button that belongs to a group: the auto-exclusive ones of one frame.
const QRadioButton* optionOfGroup(const QWidget* w)
{
    auto* r = qobject_cast<const QRadioButton*>(w);
    return r && r->autoExclusive() ? r : nullptr;
}
} // namespace

QWidget* nextTabStop(QWidget* from, bool next)
{
    if (!from)
        return nullptr;
    QWidget* top = from->window();
    const QRadioButton* fromOption = optionOfGroup(from);
    QWidget* w = from;
    for (;;) {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (!w || w == from)
            return nullptr;
        if (!takesTab(w, top))
            continue;
        const QRadioButton* option = optionOfGroup(w);
        if (!option)
            return fromOption ? w : nullptr;
        if (fromOption && option->parentWidget() == fromOption->parentWidget())
            continue; // the rest of the group one is leaving
        for (QObject* o : option->parentWidget()->children())
            if (auto* chosen = qobject_cast<QRadioButton*>(o);
                chosen && chosen->isChecked() && chosen->autoExclusive() && takesTab(chosen, top))
                return chosen;
        return w;
    }
}

QWidget* firstTabStop(QWidget* window)
{
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
        if (takesTab(w, window)) {
            QWidget* entered = optionOfGroup(w) ? nextTabStop(w->previousInFocusChain(), true) : nullptr;
            return entered ? entered : w;
        }
    return nullptr;
}

namespace {
QString captionText(const QLabel* l)
{
    QString t = l->text().simplified();
    if (t.endsWith(QLatin1Char(':')))
        t.chop(1);
    return t.trimmed();
}

bool isField(const QWidget* w)
{
    if (!qobject_cast<const QLineEdit*>(w) && !qobject_cast<const QComboBox*>(w) &&
        !qobject_cast<const QListWidget*>(w))
        return false;
    // The parts of a list (its text, its drop-down) are named by the list.
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p))
            return false;
    return true;
}

// A name given by the platform, not by the screen: it follows the caption.
constexpr const char* kNamedByCaption = "qxNamedByCaption";

// The label that stands to the left of the field on its row or, failing
// that, right above it, in the same frame.
QLabel* captionLabel(const QWidget* field)
{
    const QWidget* parent = field->parentWidget();
    if (!parent)
        return nullptr;
    const QRect f = field->geometry();
    QLabel* left = nullptr;
    QLabel* above = nullptr;
    int leftGap = INT_MAX, aboveGap = INT_MAX;
    for (QObject* o : parent->children()) {
        auto* l = qobject_cast<QLabel*>(o);
        if (!l || !Visible(l) || captionText(l).isEmpty())
            continue;
        const QRect r = l->geometry();
        const bool sameRow = (r.top() <= f.center().y() && r.bottom() >= f.center().y()) ||
                             (f.top() <= r.center().y() && f.bottom() >= r.center().y());
        // A caption is a line or two; a taller text beside the field is a note.
        if (sameRow && r.left() < f.left() && r.height() <= 3 * f.height()) {
            // Right before the field, or under it (a caption whose blanks hold the field).
            const int gap = std::abs(f.left() - r.right());
            if (gap < leftGap)
                left = l, leftGap = gap;
        } else if (r.bottom() <= f.top() + 2 && r.left() < f.right() && r.right() > f.left()) {
            const int gap = f.top() - r.bottom();
            if (gap <= 2 * f.height() && gap < aboveGap)
                above = l, aboveGap = gap;
        }
    }
    return left ? left : above;
}

// The caption beside a field labels it for assistive technology (it is the
// label's buddy, so a list, which a reader announces by its value, is
// announced by its caption too); a label that no longer stands beside it
// lets it go. A caption with an access-key mark is left as it is: as a
// buddy its letter would move the focus. A hidden field (another model's,
// in the same place) leaves the caption to the one shown.
void labelByCaption(QWidget* w)
{
    QLabel* caption = Visible(w) ? captionLabel(w) : nullptr;
    if (caption && caption->text().contains(QLatin1Char('&')))
        caption = nullptr;
    for (QObject* o : w->parentWidget()->children())
        if (auto* l = qobject_cast<QLabel*>(o); l && l != caption && l->buddy() == w)
            l->setBuddy(nullptr);
    if (!caption || caption->buddy() == w)
        return;
    // A caption that two fields of a row or a column find is the nearer one's.
    const auto distance = [caption](const QWidget* field) {
        const QRect r = caption->geometry(), f = field->geometry();
        return std::max(0, std::max(f.left() - r.right(), f.top() - r.bottom()));
    };
    const QWidget* other = caption->buddy();
    if (other && Visible(other) && captionLabel(other) == caption && distance(other) <= distance(w))
        return;
    caption->setBuddy(w);
}

void nameOne(QWidget* w)
{
    if (!isField(w) || !w->parentWidget())
        return;
    labelByCaption(w);
    if (!w->accessibleName().isEmpty() && w->accessibleName() != w->property(kNamedByCaption))
        return;
    const QString name = captionOf(w);
    w->setAccessibleName(name);
    w->setProperty(kNamedByCaption, name);
}

} // namespace

QString captionOf(const QWidget* field)
{
    if (const QLabel* caption = captionLabel(field))
        return captionText(caption);
    // Alone in its frame: the frame's title.
    if (auto* frame = qobject_cast<const QGroupBox*>(field->parentWidget())) {
        QString title = frame->title();
        title.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
        return title.replace(QLatin1Char('\x01'), QLatin1Char('&')).simplified();
    }
    return {};
}

void nameByCaption(QWidget* window)
{
    for (QWidget* w : window->findChildren<QWidget*>())
        nameOne(w);
}

namespace {
// The rules of installKeyboardRules, seen by every event of the program.
class KeyboardRules : public QObject {
protected:
    bool eventFilter(QObject* obj, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::Shortcut:
            if (auto* b = qobject_cast<QAbstractButton*>(obj); b && !static_cast<QShortcutEvent*>(e)->isAmbiguous()) {
                if (takeFocusForClick(b))
                    b->click();
                return true;
            }
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* w = qobject_cast<QWidget*>(obj);
            if (!w || !e->spontaneous())
                return false;
            // The platform has given the focus by now: a field that stopped
            // it on its way to this button stops the press too.
            const Leave seen = std::exchange(gLeave, Leave{});
            auto* b = qobject_cast<QAbstractButton*>(w);
            return b && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton && seen.to == b && seen.stopped;
        }
        case QEvent::FocusIn:
            if (auto* w = qobject_cast<QWidget*>(obj)) {
                // A control that is no field (a button) takes the focus from
                // a field that let it pass to the menu bar.
                const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
                if (!EventTap::tapFound(w) && !EventTap::passing(reason) && !qobject_cast<QMenuBar*>(w)
                    && !qobject_cast<QMenu*>(w))
                    EventTap::arrive(w);
                nameOne(w);
            }
            return false;
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
            // A caption shown or hidden (a layout pass, a page of another
            // model): the window's fields follow once the pass is over.
            if (auto* l = qobject_cast<QLabel*>(obj))
                relabelLater(l->window());
            return false;
        default:
            return false;
        }
    }

private:
    void relabelLater(QWidget* window)
    {
        if (pending_.contains(window))
            return;
        pending_.insert(window);
        QTimer::singleShot(0, this, [this, w = QPointer<QWidget>(window), key = window] {
            pending_.remove(key);
            if (w)
                nameByCaption(w);
        });
    }

    QSet<const QWidget*> pending_;
};
} // namespace

void installKeyboardRules()
{
    static QPointer<KeyboardRules> rules;
    if (rules || !qApp)
        return;
    rules = new KeyboardRules;
    rules->setParent(qApp);
    qApp->installEventFilter(rules);
}

QWidget* create(QWidget* parent, const ControlSpec& row)
{
    QWidget* w = nullptr;
    switch (row.kind) {
    case Kind::Label: w = new QLabel(row.caption, parent); break;
    case Kind::TextBox: {
        auto* t = new TextBox(parent);
        t->setText(row.caption);
        w = t;
        break;
    }
    case Kind::ComboBox: w = new ComboBox(parent); break;
    case Kind::ListBox: w = new ListBox(parent); break;
    case Kind::CheckBox: w = new CheckBox(row.caption, parent); break;
    case Kind::OptionButton: w = new OptionButton(row.caption, parent); break;
    case Kind::CommandButton: w = new CommandButton(row.caption, parent); break;
    case Kind::Shape: w = new Shape(parent); break;
    case Kind::Frame: w = new QGroupBox(row.caption, parent); break;
    }
    tw::place(w, row.left, row.top, row.width, row.height);
    // Built onto a window that is already shown: appear at once, as the
    // controls built before the window was shown do.
    if (parent && parent->isVisible())
        w->show();
    return w;
}

void wire(QWidget* element, int index, const QString& name, const ArrayEvents& e)
{
    if (!name.isEmpty())
        element->setObjectName(name);
    auto bind = [index](const std::function<void(int)>& f) -> std::function<void()> {
        if (!f)
            return nullptr;
        return [f, index] { f(index); };
    };
    if (auto* t = dynamic_cast<TextBox*>(element)) {
        t->Change = bind(e.Change);
        t->GotFocus = bind(e.GotFocus);
        t->LostFocus = bind(e.LostFocus);
        if (e.KeyPress)
            t->KeyPress = [f = e.KeyPress, index](int& k) { f(index, k); };
        return;
    }
    if (auto* c = dynamic_cast<ComboBox*>(element)) {
        c->Click = bind(e.Click);
        c->Change = bind(e.Change);
    } else if (auto* l = dynamic_cast<ListBox*>(element)) {
        l->Click = bind(e.Click);
    } else if (auto* c = dynamic_cast<CheckBox*>(element)) {
        c->Click = bind(e.Click);
    } else if (auto* o = dynamic_cast<OptionButton*>(element)) {
        o->Click = bind(e.Click);
    } else if (auto* b = dynamic_cast<QAbstractButton*>(element); b && e.Click) {
        QObject::connect(b, &QAbstractButton::clicked, b,
                         [b, f = bind(e.Click)] { press(b->window(), routineName(b, "Click"), f); });
    }
    if (e.GotFocus || e.LostFocus || e.KeyPress) {
        EventTap* tap = tapOf(element);
        tap->gotFocus = bind(e.GotFocus);
        tap->lostFocus = bind(e.LostFocus);
        if (e.KeyPress)
            tap->keyPress = [f = e.KeyPress, index](int& k) { f(index, k); };
    }
}

} // namespace ctl

namespace {
// Runs `f` with `flag` set: the list's own filling raises no events.
template <class F>
void quietly(bool& flag, F f)
{
    const QScopedValueRollback quiet(flag, true);
    f();
}

// Runs a control's own handler inside the boundary.
void fire(QWidget* w, const std::function<void()>& f, const char* event)
{
    if (f)
        ctl::guard(w->window(), ctl::routineName(w, event), f);
}
} // namespace

ListBox::ListBox(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!quiet_)
            fire(this, Click, "Click");
    });
}

int ListBox::ListIndex() const
{
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.first());
}

void ListBox::setListIndex(int i)
{
    if (i < -1 || i >= count())
        rt::raise(rt::ErrInvalidPropertyValue);
    if (i == ListIndex())
        return;
    if (i < 0) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
    }
}

void ListBox::AddItem(const QString& item)
{
    quietly(quiet_, [&] { addItem(item); });
}

void ListBox::Clear()
{
    quietly(quiet_, [&] { clear(); });
}

QString ListBox::List(int i) const
{
    const QListWidgetItem* it = item(i);
    return it ? it->text() : QString();
}

void ListBox::focusInEvent(QFocusEvent* e)
{
    QListWidget::focusInEvent(e);
    // Qt makes the first row current when the list takes the focus; nothing
    // was chosen, so nothing is marked either.
    if (ListIndex() < 0 && currentIndex().isValid())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this] {
        if (!quiet_)
            fire(this, Click, "Click");
    });
    connect(this, &QComboBox::editTextChanged, this, [this] {
        if (!quiet_ && isEditable())
            fire(this, Change, "Change");
    });
}

void ComboBox::focusInEvent(QFocusEvent* e)
{
    QComboBox::focusInEvent(e);
    if (isEditable() && lineEdit() && e->reason() != Qt::MouseFocusReason)
        lineEdit()->selectAll();
}

void ComboBox::setListIndex(int i)
{
    if (i < -1 || i >= count())
        rt::raise(rt::ErrInvalidPropertyValue);
    if (i != currentIndex())
        setCurrentIndex(i);
}

void ComboBox::AddItem(const QString& item)
{
    const bool none = currentIndex() < 0;
    const QString typed = currentText();
    quietly(quiet_, [&] {
        addItem(item);
        // Qt chooses the first entry of a list that had none; the program's
        // lists show no choice until one is made.
        if (none && currentIndex() >= 0) {
            setCurrentIndex(-1);
            if (isEditable())
                setEditText(typed);
        }
    });
}

void ComboBox::Clear()
{
    quietly(quiet_, [&] { clear(); });
}

QString ComboBox::List(int i) const { return i >= 0 && i < count() ? itemText(i) : QString(); }

void ComboBox::setText(const QString& t)
{
    if (isEditable()) {
        if (t != currentText())
            setEditText(t);
        return;
    }
    const int i = findText(t, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (i < 0)
        rt::raise(rt::ErrInvalidPropertyValue);
    setListIndex(i);
}

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
{
    connect(this, &QCheckBox::toggled, this, [this] { fire(this, Click, "Click"); });
}

void CheckBox::setValue(int v) { setChecked(v != 0); }

OptionButton::OptionButton(const QString& caption, QWidget* parent) : QRadioButton(caption, parent)
{
    connect(this, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            fire(this, Click, "Click");
    });
}

void OptionButton::setValue(bool on)
{
    if (on == isChecked())
        return;
    if (on) {
        setChecked(true);
        return;
    }
    // Qt keeps the chosen option of a group checked; code may clear it.
    const bool exclusive = autoExclusive();
    setAutoExclusive(false);
    setChecked(false);
    setAutoExclusive(exclusive);
}

TextBox::TextBox(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, [this] { fire(this, Change, "Change"); });
    auto* tap = ctl::tapOf(this);
    tap->gotFocus = [this] { if (GotFocus) GotFocus(); };
    tap->lostFocus = [this] { if (LostFocus) LostFocus(); };
    tap->keyPress = [this](int& k) { if (KeyPress) KeyPress(k); };
}

void TextBox::setText(const QString& t)
{
    if (t != text())
        QLineEdit::setText(t);
}

namespace color {
QColor toQColor(quint32 c)
{
    if (c & 0x80000000u) {
        // System colours: the window background and the button face.
        return QApplication::palette().color(c == WindowBackground ? QPalette::Base : QPalette::Button);
    }
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
} // namespace color

Shape::Shape(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setMinimumSize(16, 16);
}

void Shape::setFillColor(quint32 c)
{
    // Lamps are set again on every timer tick; only a change repaints.
    if (c == fill_)
        return;
    fill_ = c;
    update();
}

void Shape::setKind(Kind k)
{
    kind_ = k;
    setFrameShape(k == Circle ? QFrame::NoFrame : QFrame::Box);
    update();
}

void Shape::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (kind_ == Circle) {
        // The largest circle the control holds, centred, with a thin border.
        const int d = qMin(width(), height()) - 1;
        const QRect r((width() - d) / 2, (height() - d) / 2, d, d);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1));
        p.setBrush(color::toQColor(fill_));
        p.drawEllipse(r);
        return;
    }
    p.fillRect(rect(), color::toQColor(fill_));
    p.end();
    QFrame::paintEvent(e);
}

CommandButton::CommandButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

QRect CommandButton::captionRect() const
{
    QStyleOptionButton opt;
    initStyleOption(&opt);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this).adjusted(2, 0, -2, 0);
}

QFont CommandButton::captionFont() const
{
    QFont f = font();
    const qreal designed = f.pointSizeF();
    if (designed <= 0)
        return f; // a face sized in pixels is drawn as set
    const QRect room = captionRect();
    const QString text = captionText();
    constexpr qreal kStep = 0.5;
    for (qreal size = designed;; size -= kStep) {
        f.setPointSizeF(size);
        const QSize need = QFontMetrics(f).boundingRect(room, kCaptionFlags, text).size();
        if ((need.width() <= room.width() && need.height() <= room.height()) || size - kStep < designed * 0.75)
            return f;
    }
}

void CommandButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    p.setFont(captionFont());
    p.drawItemText(captionRect(), kCaptionFlags, opt.palette, isEnabled(), captionText(), QPalette::ButtonText);
}

Timer::Timer(int intervalMs, std::function<void()> onTick, QObject* parent)
    : QObject(parent), onTick_(std::move(onTick))
{
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

void Timer::tick()
{
    if (!onTick_)
        return;
    QWidget* owner = qobject_cast<QWidget*>(parent());
    if (owner)
        owner = owner->window();
    QString routine = routine_;
    if (routine.isEmpty()) {
        routine = (objectName().isEmpty() ? QStringLiteral("Timer") : objectName()) + QStringLiteral("_Timer");
        if (owner && !owner->objectName().isEmpty())
            routine = owner->objectName() + QLatin1Char('.') + routine;
    }
    box_.guard(owner, routine, onTick_);
}

void Timer::setEnabled(bool on)
{
    enabled_ = on;
    if (on)
        timer_.start();
    else
        timer_.stop();
}

void Timer::setInterval(int ms)
{
    timer_.setInterval(ms);
    if (enabled_)
        timer_.start();
}

namespace Screen {
namespace {
int gPointer = Default;
}
void setMousePointer(int p)
{
    if (p == gPointer)
        return;
    if (gPointer == Hourglass && QGuiApplication::instance())
        QGuiApplication::restoreOverrideCursor();
    gPointer = p;
    if (p == Hourglass && QGuiApplication::instance())
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}
int mousePointer() { return gPointer; }
} // namespace Screen
