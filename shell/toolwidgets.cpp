#include "shell/toolwidgets.h"

#include <QFont>
#include <QTextCursor>

#include "core/helpers.h"
#include "core/state.h"
#include "platform/controls.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"

namespace tool {

QLabel* Label(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

QLabel* TitleLabel(QWidget* parent, const QString& text)
{
    QLabel* l = Label(parent, text, 0, 10, parent->width(), 30);
    l->setAlignment(Qt::AlignCenter);
    QFont f = l->font();
    f.setPointSize(14);
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLabel* DemoLabel(QWidget* parent)
{
    QLabel* l = Label(parent, QStringLiteral("Demo Mode"), 10, 10, 110);
    l->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    l->setVisible(false);
    return l;
}

QLabel* ErrorLabel(QWidget* parent, int x, int y, int w)
{
    QLabel* l = Label(parent, QString(), x, y, w, 40);
    l->setWordWrap(true);
    l->setStyleSheet(QStringLiteral("color: #a00000"));
    return l;
}

QLabel* Instruction(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    QLabel* l = Label(parent, text, x, y, w, h);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QLineEdit* TextBox(QWidget* parent, int x, int y, int w)
{
    auto* t = new ::TextBox(parent);
    t->setGeometry(x, y, w, 24);
    return t;
}

QComboBox* EditCombo(QWidget* parent, int x, int y, int w)
{
    auto* c = new ComboBox(parent);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setGeometry(x, y, w, 24);
    return c;
}

QLineEdit* PasswordBox(QWidget* parent, int x, int y, int w)
{
    QLineEdit* t = TextBox(parent, x, y, w);
    t->setEchoMode(QLineEdit::Password);
    t->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    return t;
}

bool PasswordAccepted(const QLineEdit* entry, QWidget* owner)
{
    if (rt::Trim(entry->text()).toUpper() == rt::Trim(modZarn::gPassword).toUpper())
        return true;
    mb::MsgBox(QStringLiteral("The password entered is not correct to allow writes."),
               mb::OKOnly | mb::Exclamation, QStringLiteral("Password Incorrect"), owner);
    return false;
}

QString AddressRangeText(int group, const QString& addressText)
{
    return QStringLiteral("Address ") + addressText + QStringLiteral(":Invalid instrument address, it must be ")
        + (group == 0 ? QStringLiteral("01 to FF") : QStringLiteral("001 to 255"));
}

void RefuseProtocol(int group, int address, const QString& code, QString& ErrText, int& ErrCode)
{
    ErrCode = 2;
    ErrText = modZarn::AddressPrefix(group, address) + QStringLiteral(":Invalid protocol code >") + code;
}

TraceBox::TraceBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

int TraceBox::length() const { return int(toPlainText().size()) + blockCount() - 1; }

void TraceBox::clearTrace()
{
    clear();
    afterCR_ = false;
}

void TraceBox::insert(const QString& s)
{
    QTextCursor c = textCursor();
    c.insertText(s);
    setTextCursor(c);
}

void TraceBox::addLineEnd()
{
    QTextCursor c = textCursor();
    c.insertBlock();
    setTextCursor(c);
    afterCR_ = false;
}

void TraceBox::addChar(char c)
{
    if (c == '\n' && afterCR_) {
        afterCR_ = false;
        return;
    }
    if (c == '\r' || c == '\n') {
        addLineEnd();
        afterCR_ = c == '\r';
        return;
    }
    afterCR_ = false;
    insert(QString(QChar(uchar(c))));
}

} // namespace tool
