#include "platform/msgbox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "platform/boxtext.h"
#include "platform/form.h"
#include "platform/rterror.h"

namespace mb {
namespace {
// A box stands centred over the window it belongs to, frame included, and
// whole on the screen; its size is known only once it is being shown. Its
// text is shown by a BoxText in the place of Qt's own label, and Ctrl+C
// copies the whole box (title, text and buttons) where no part of its text
// is selected.
class Box : public QMessageBox {
public:
    Box(QWidget* owner, const QString& text) : QMessageBox(owner), text_(new BoxText(text, this))
    {
        setTextFormat(Qt::PlainText);
        setText(text);
    }

protected:
    void showEvent(QShowEvent* e) override
    {
        placeText();
        QMessageBox::showEvent(e);
        Forms::centre(this, parentWidget() ? parentWidget()->window() : nullptr);
    }

    // A change of style lays the box out anew, with Qt's label in it: the
    // text goes back in its place. Hiding the one and showing the other asks
    // for a new layout, and the box takes its size from it again.
    void changeEvent(QEvent* e) override
    {
        QMessageBox::changeEvent(e);
        placeText();
    }

    void keyPressEvent(QKeyEvent* e) override
    {
        if (!e->matches(QKeySequence::Copy)) {
            QMessageBox::keyPressEvent(e);
            return;
        }
        const QString rule = QStringLiteral("---------------------------\n");
        QStringList buttonTexts;
        for (QAbstractButton* b : buttons())
            buttonTexts << b->text().remove(QLatin1Char('&'));
        QGuiApplication::clipboard()->setText(rule + windowTitle() + QLatin1Char('\n') + rule + text() +
                                              QLatin1Char('\n') + rule + buttonTexts.join(QStringLiteral("   ")) +
                                              QLatin1Char('\n') + rule);
    }

private:
    // Puts the text where Qt's box has its label, where it is not there yet.
    void placeText()
    {
        auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"), Qt::FindDirectChildrenOnly);
        if (!label || !layout() || layout()->indexOf(text_) >= 0)
            return;
        delete layout()->replaceWidget(label, text_);
        label->hide();
        text_->show();
    }

    BoxText* text_;
};

Handler gHandler;
std::vector<Call> gCalls;
int gShown = 0;

struct Button {
    QMessageBox::StandardButton kind;
    int answer;
};

// The buttons of a style, left to right.
std::vector<Button> ButtonsOf(int style)
{
    switch (style & 7) {
    case OKCancel: return {{QMessageBox::Ok, OK}, {QMessageBox::Cancel, Cancel}};
    case YesNoCancel: return {{QMessageBox::Yes, Yes}, {QMessageBox::No, No}, {QMessageBox::Cancel, Cancel}};
    case YesNo: return {{QMessageBox::Yes, Yes}, {QMessageBox::No, No}};
    default: return {{QMessageBox::Ok, OK}};
    }
}

std::size_t DefaultIndex(int style, std::size_t buttons)
{
    const std::size_t named = std::size_t((style & (DefaultButton2 | DefaultButton3)) >> 8);
    return named < buttons ? named : 0;
}

// Escape and the close box press the last button.
int EscapeAnswer(int style) { return ButtonsOf(style).back().answer; }

// A box quotes what it refuses, and a line read from a file may be of any
// length: laid out whole, a megabyte would hold the program for many
// seconds. A line longer than a box can show is cut in its middle, keeping
// the start and the end of the sentence around what it quotes.
constexpr qsizetype kLineHead = 400, kLineTail = 150;

QString CutLongLines(const QString& text)
{
    if (text.size() <= kLineHead + kLineTail + 1)
        return text;
    QString out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'\r' && text[i] != u'\n')
            continue;
        const qsizetype length = i - start;
        if (length <= kLineHead + kLineTail + 1) {
            out += QStringView(text).mid(start, length);
        } else {
            // Never between the two halves of one character.
            qsizetype head = kLineHead, tail = kLineTail;
            if (text[start + head].isLowSurrogate())
                --head;
            if (text[i - tail].isLowSurrogate())
                --tail;
            out += QStringView(text).mid(start, head);
            out += QChar(0x2026);
            out += QStringView(text).mid(i - tail, tail);
        }
        if (i < text.size())
            out += text[i];
        start = i + 1;
    }
    return out;
}
} // namespace

int defaultAnswer(int style)
{
    const std::vector<Button> buttons = ButtonsOf(style);
    return buttons[DefaultIndex(style, buttons.size())].answer;
}

int MsgBox(const QString& fullText, int style, const QString& title, QWidget* owner)
{
    // The record keeps the latest boxes only: a program left running for
    // days must not keep every box it ever showed.
    constexpr std::size_t kKept = 1000;
    if (gCalls.size() >= kKept)
        gCalls.erase(gCalls.begin(), gCalls.begin() + std::ptrdiff_t(gCalls.size() - kKept + 1));
    const QString text = CutLongLines(fullText);
    gCalls.push_back(Call{text, title, style, owner != nullptr});
    ++gShown;
    // A box the caller gave no window belongs to the program's active window.
    owner = Forms::ownerFor(owner);
    if (gHandler) {
        const Forms::ModalScope open(owner, nullptr);
        return gHandler(gCalls.back());
    }

    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // On the heap and watched: the box is its owner's child, and should the
    // owner go while the box is open the box goes with it.
    QPointer<Box> box = new Box(owner, shown);
    box->setWindowTitle(title);
    switch (style & 0x70) {
    case Critical: box->setIcon(QMessageBox::Critical); break;
    case Question: box->setIcon(QMessageBox::Question); break;
    case Exclamation: box->setIcon(QMessageBox::Warning); break;
    case Information: box->setIcon(QMessageBox::Information); break;
    default: box->setIcon(QMessageBox::NoIcon); break;
    }
    const std::vector<Button> buttons = ButtonsOf(style);
    std::vector<QAbstractButton*> shownButtons;
    for (const Button& b : buttons)
        shownButtons.push_back(box->addButton(b.kind));
    box->setDefaultButton(qobject_cast<QPushButton*>(shownButtons[DefaultIndex(style, buttons.size())]));
    box->setEscapeButton(shownButtons.back());
    {
        const Forms::ModalScope open(owner, box);
        box->exec();
    }
    // A box closed by its owner's unload, or gone with its owner, answers
    // as Escape would.
    int answer = EscapeAnswer(style);
    if (box) {
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (box->clickedButton() == shownButtons[i])
                answer = buttons[i].answer;
        delete box;
    }
    return answer;
}

void AppError(const rt::RtError& e, const QString& routine, const QString& firstLine)
{
    AppError(e.number(), e.description(), routine, firstLine);
}

namespace {
void ShowAppError(QWidget* owner, int number, const QString& description, const QString& routine,
                  const QString& firstLine)
{
    MsgBox(firstLine + QLatin1Char('\r') + QStringLiteral("Error Code ") + QString::number(number) +
               QStringLiteral(" - ") + description + QLatin1Char('\r') + QStringLiteral("Routine - ") + routine,
           Critical, QStringLiteral("Application Error"), owner);
}
const QString kFirstLine = QStringLiteral("An application error has occurred:");
} // namespace

void AppError(int number, const QString& description, const QString& routine, const QString& firstLine)
{
    ShowAppError(nullptr, number, description, routine, firstLine);
}

void AppError(QWidget* owner, const rt::RtError& e, const QString& routine)
{
    ShowAppError(owner, e.number(), e.description(), routine, kFirstLine);
}

void AppError(QWidget* owner, int number, const QString& description, const QString& routine)
{
    ShowAppError(owner, number, description, routine, kFirstLine);
}

void AppError(QWidget* owner, const rt::RtError& e, const QString& routine, const QString& firstLine)
{
    ShowAppError(owner, e.number(), e.description(), routine, firstLine);
}

void setHandler(Handler h) { gHandler = std::move(h); }
void clearHandler() { gHandler = nullptr; }
const std::vector<Call>& calls() { return gCalls; }
void clearCalls() { gCalls.clear(); }
int shownCount() { return gShown; }

} // namespace mb
