#include "shell/toolwidgets.h"

#include <QFont>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <utility>

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

namespace {

// Why `text`, named by `what`, is not a whole number of the form chosen;
// empty when it is one, the number then in `v`.
QString NotWhole(const QString& text, bool hex, const QString& what, double& v)
{
    int pattern = 0;
    if (hex) {
        if (!rt::TypedHex16(text, pattern))
            return what + QStringLiteral(" is not a hexadecimal number.  Enter one to four hexadecimal digits (0 to "
                                         "9 and A to F).");
        v = pattern;
        return QString();
    }
    if (!rt::TypedNumber(text, v))
        return what + QStringLiteral(" is not a number.  Enter it as decimal digits, with a minus sign before a "
                                     "negative value.");
    if (v != std::floor(v))
        return what + QStringLiteral(" must be a whole number: an instrument register holds no fraction.");
    return QString();
}

bool Refused(const QString& why, const QString& title, QWidget* owner)
{
    if (why.isEmpty())
        return false;
    mb::MsgBox(why + QStringLiteral("  Nothing was sent."), mb::OKOnly | mb::Exclamation, title, owner);
    return true;
}

} // namespace

bool WriteValue(const QString& text, bool hex, float lower, float upper, QWidget* owner, float& value)
{
    const QString what = QStringLiteral("The value to write");
    double v = 0;
    QString why = NotWhole(text, hex, what, v);
    if (why.isEmpty() && !(v >= double(lower) && v <= double(upper)))
        why = what + QStringLiteral(" must lie within ") + rt::CStr(lower) + QStringLiteral(" to ") + rt::CStr(upper)
            + QStringLiteral(" for this register.");
    if (Refused(why, QStringLiteral("Invalid Write Value"), owner))
        return false;
    value = float(v);
    return true;
}

bool WriteTarget(const QString& text, bool hex, const QString& what, const QString& title, QWidget* owner,
                 int& number)
{
    // Register lists write hexadecimal numbers as "1000H".
    QString digits = rt::Trim(text);
    if (hex && digits.size() > 1 && digits.endsWith(u'H', Qt::CaseInsensitive))
        digits.chop(1);
    double v = 0;
    if (Refused(NotWhole(digits, hex, what, v), title, owner))
        return false;
    number = rt::CInt(v);
    return true;
}

void RefuseProtocol(int group, int address, const QString& code, QString& ErrText, int& ErrCode)
{
    ErrCode = 2;
    ErrText = modZarn::AddressPrefix(group, address) + QStringLiteral(":Invalid protocol code >") + code;
}

TraceBox::TraceBox(QWidget* parent, Stx stx) : QPlainTextEdit(parent), stx_(stx)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    show_.setSingleShot(true);
    connect(&show_, &QTimer::timeout, this, &TraceBox::flush);
    sinceShown_.start();
}

// Each block is one line; all but the last end in a line end of two.
int TraceBox::shownLength() const
{
    const QTextDocument* d = document();
    return d->characterCount() - 1 + d->blockCount() - 1;
}

int TraceBox::length() const { return (emptyFirst_ ? 0 : shownLength()) + waitingLength_; }

QString TraceBox::text()
{
    flush();
    return toPlainText();
}

void TraceBox::clearTrace()
{
    show_.stop();
    waiting_.clear();
    waitingLength_ = 0;
    emptyFirst_ = false;
    afterCR_ = false;
    clear();
}

void TraceBox::add(const QByteArray& chars)
{
    constexpr char STX = 2;
    int held = length();
    const auto lineEnd = [&] {
        waiting_ += QLatin1Char('\n');
        waitingLength_ += 2;
        held += 2;
        afterCR_ = false;
    };
    for (const char c : chars) {
        if (held >= kLimit) {
            waiting_.clear();
            waitingLength_ = 0;
            emptyFirst_ = true;
            afterCR_ = false;
            held = 0;
        }
        if (c == STX && stx_ == Stx::StartsLine) {
            if (held > 0)
                lineEnd();
        } else if (c == '\n' && afterCR_) {
            afterCR_ = false;
        } else if (c == '\r' || c == '\n') {
            lineEnd();
            afterCR_ = c == '\r';
        } else {
            waiting_ += QChar(uchar(c));
            ++waitingLength_;
            ++held;
            afterCR_ = false;
        }
    }
    if ((emptyFirst_ || !waiting_.isEmpty()) && !show_.isActive())
        show_.start(int(std::max<qint64>(0, kShowMs - sinceShown_.elapsed())));
}

void TraceBox::addLine(const QByteArray& line)
{
    const bool atLineStart =
        !waiting_.isEmpty() ? waiting_.endsWith(QLatin1Char('\n')) : emptyFirst_ || textCursor().atBlockStart();
    add((atLineStart ? QByteArray() : QByteArrayLiteral("\r\n")) + line + "\r\n");
}

void TraceBox::flush()
{
    show_.stop();
    if (!emptyFirst_ && waiting_.isEmpty())
        return;
    // One edit: what was emptied goes with the same step.
    QTextCursor c = textCursor();
    if (std::exchange(emptyFirst_, false))
        c.select(QTextCursor::Document);
    if (waiting_.isEmpty())
        c.removeSelectedText();
    else
        c.insertText(waiting_);
    setTextCursor(c);
    waiting_.clear();
    waitingLength_ = 0;
    sinceShown_.start();
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
    address = modZarn::AddressBoxNumber(group, cbxAddress->currentText());
    if (modZarn::AddressOnLine(address))
        return true;
    lblErrorMessageText->setText(modZarn::AddressRangeText(group, cbxAddress->currentText()));
    return false;
}

void AccessForm::Form_Activate() { lblDemoMode->setVisible(modZarn::gDemoMode); }

void AccessForm::cmdClose_Click() { Unload(); }

} // namespace tool
