#include "shell/toolwidgets.h"

#include <QFont>
#include <QTextCursor>

#include "core/helpers.h"
#include "core/state.h"
#include "platform/builders.h"
#include "platform/twips.h"
#include "shell/addresslist.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"

namespace tool {

QLabel* TitleLabel(QWidget* parent, const QString& text)
{
    QLabel* l = ctl::label(parent, text, 0, 150, parent->width() * tw::kTwipsPerPixel, 450);
    l->setAlignment(Qt::AlignCenter);
    QFont f = l->font();
    f.setPointSize(14);
    f.setBold(true);
    l->setFont(f);
    return l;
}

QLabel* DemoLabel(QWidget* parent)
{
    QLabel* l = ctl::label(parent, QStringLiteral("Demo Mode"), 150, 150, 1650, 330);
    l->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    l->setVisible(false);
    return l;
}

QLabel* ErrorLabel(QWidget* parent, int left, int top, int width)
{
    QLabel* l = ctl::label(parent, QString(), left, top, width, 600);
    l->setWordWrap(true);
    l->setStyleSheet(QStringLiteral("color: #a00000"));
    return l;
}

QLabel* Instruction(QWidget* parent, const QString& text, int left, int top, int width, int height)
{
    QLabel* l = ctl::label(parent, text, left, top, width, height);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

TextBox* PasswordBox(QWidget* parent, const QString& name, int left, int top, int width)
{
    TextBox* t = ctl::textBox(parent, name, left, top, width, 360);
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

AccessForm::AccessForm(const QString& name, const QString& caption, const QString& title, int width, int height)
{
    setObjectName(name);
    setWindowTitle(caption);
    setFixedSize(tw::px(width), tw::px(height));
    setEnterMovesFocus(true);
    lblTitle = TitleLabel(this, title);
    lblDemoMode = DemoLabel(this);
}

void AccessForm::buildButtons(int top, int closeLeft)
{
    cmdRead = ctl::button(this, QStringLiteral("cmdRead"), QStringLiteral("&Read"), 300, top, 1500, 450);
    cmdWrite = ctl::button(this, QStringLiteral("cmdWrite"), QStringLiteral("&Write"), 2100, top, 1500, 450);
    cmdClose = ctl::button(this, QStringLiteral("cmdClose"), QStringLiteral("C&lose"), closeLeft, top, 1500, 450);
    ctl::on(cmdRead, &QPushButton::clicked, "Click", [this] { cmdRead_Click(); });
    ctl::on(cmdWrite, &QPushButton::clicked, "Click", [this] { cmdWrite_Click(); });
    ctl::on(cmdClose, &QPushButton::clicked, "Click", [this] { cmdClose_Click(); });
}

void AccessForm::startLoad(bool hexAddresses, bool setDefault)
{
    lblErrorMessageText->clear();
    txtValue->clear();
    txtPassword->clear();
    modZarn::FillAddressCombo(cbxAddress, hexAddresses, setDefault);
}

bool AccessForm::instrumentAddress(int group, int& address)
{
    address = modZarn::AddressToNumber(group, cbxAddress->currentText());
    if (modZarn::AddressOnLine(address))
        return true;
    lblErrorMessageText->setText(modZarn::AddressRangeText(group, cbxAddress->currentText()));
    return false;
}

void AccessForm::Form_Activate() { lblDemoMode->setVisible(modZarn::gDemoMode); }

void AccessForm::cmdClose_Click() { Unload(); }

} // namespace tool
