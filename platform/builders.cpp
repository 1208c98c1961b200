#include "platform/builders.h"

namespace ctl {

namespace {
template <class T>
T* make(QWidget* parent, Kind kind, const QString& name, const QString& caption, int left, int top, int width,
        int height)
{
    auto* w = static_cast<T*>(create(parent, {0, kind, left, top, width, height, caption}));
    if (!name.isEmpty())
        w->setObjectName(name);
    return w;
}
} // namespace

QLabel* label(QWidget* parent, const QString& caption, int left, int top, int width, int height)
{
    return make<QLabel>(parent, Kind::Label, QString(), caption, left, top, width, height);
}

QGroupBox* frame(QWidget* parent, const QString& caption, int left, int top, int width, int height)
{
    return make<QGroupBox>(parent, Kind::Frame, QString(), caption, left, top, width, height);
}

CommandButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                      int height)
{
    return make<CommandButton>(parent, Kind::CommandButton, name, caption, left, top, width, height);
}

TextBox* textBox(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    return make<TextBox>(parent, Kind::TextBox, name, QString(), left, top, width, height);
}

ComboBox* comboBox(QWidget* parent, const QString& name, int left, int top, int width, int height, bool editable)
{
    auto* c = make<ComboBox>(parent, Kind::ComboBox, name, QString(), left, top, width, height);
    if (editable) {
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        // The box holds what was typed: completing "1" to the first entry
        // that starts with it ("100") would reach another instrument than
        // the one the user means.
        c->setCompleter(nullptr);
    }
    return c;
}

ListBox* listBox(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    return make<ListBox>(parent, Kind::ListBox, name, QString(), left, top, width, height);
}

CheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                   int height)
{
    return make<CheckBox>(parent, Kind::CheckBox, name, caption, left, top, width, height);
}

Shape* shape(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    return make<Shape>(parent, Kind::Shape, name, QString(), left, top, width, height);
}

ArrayEvents clickEvents(std::function<void(int index)> click)
{
    ArrayEvents e;
    e.Click = std::move(click);
    return e;
}

void onClick(QAction* entry, QWidget* form, const QString& name, std::function<void()> handler)
{
    QObject::connect(entry, &QAction::triggered, form, [form, name, handler = std::move(handler)] {
        // The form's name is read when the entry fires: a screen names
        // itself after its base has built the menus.
        press(form, form->objectName() + QLatin1Char('.') + name + QStringLiteral("_Click"), handler);
    });
}

void onKeyPress(QWidget* w, std::function<void(int& keyAscii)> handler)
{
    ArrayEvents events;
    events.KeyPress = [handler = std::move(handler)](int, int& keyAscii) { handler(keyAscii); };
    wire(w, 0, w->objectName(), events);
}

} // namespace ctl
