#include "platform/msgbox.h"

#include <QMessageBox>
#include <QPushButton>

#include "platform/form.h"
#include "platform/rterror.h"

namespace mb {
namespace {
// A box stands centred over the window it belongs to, frame included, and
// whole on the screen; its size is known only once it is being shown.
class Box : public QMessageBox {
public:
    explicit Box(QWidget* owner) : QMessageBox(owner) {}

protected:
    void showEvent(QShowEvent* e) override
    {
        QMessageBox::showEvent(e);
        Forms::centre(this, parentWidget() ? parentWidget()->window() : nullptr);
    }
};

// A box the caller gave no window belongs to the program's active window.
QWidget* ownerOf(QWidget* owner)
{
    if (owner)
        return owner;
    Form* active = Forms::active();
    return active && active->isVisible() ? active->window() : nullptr;
}

Handler gHandler;
std::vector<Call> gCalls;
int gOpen = 0;

struct OpenGuard {
    OpenGuard() { ++gOpen; }
    ~OpenGuard() { --gOpen; }
};
} // namespace

int defaultAnswer(int style)
{
    const int buttons = style & 7;
    const bool second = (style & DefaultButton2) != 0;
    switch (buttons) {
    case OKCancel: return second ? Cancel : OK;
    case YesNoCancel: return second ? No : Yes;
    case YesNo: return second ? No : Yes;
    default: return OK;
    }
}

int MsgBox(const QString& text, int style, const QString& title, QWidget* owner)
{
    gCalls.push_back(Call{text, title, style, owner != nullptr});
    OpenGuard open;
    if (gHandler)
        return gHandler(gCalls.back());

    Box box(ownerOf(owner));
    box.setWindowTitle(title);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    switch (style & 0x70) {
    case Critical: box.setIcon(QMessageBox::Critical); break;
    case Question: box.setIcon(QMessageBox::Question); break;
    case Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Information: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    const bool second = (style & DefaultButton2) != 0;
    QAbstractButton* def = nullptr;
    std::vector<std::pair<QAbstractButton*, int>> map;
    auto add = [&](QMessageBox::StandardButton b, int answer, bool isDefault) {
        QAbstractButton* btn = box.addButton(b);
        map.emplace_back(btn, answer);
        if (isDefault)
            def = btn;
    };
    switch (style & 7) {
    case OKCancel:
        add(QMessageBox::Ok, OK, !second);
        add(QMessageBox::Cancel, Cancel, second);
        break;
    case YesNoCancel:
        add(QMessageBox::Yes, Yes, !second);
        add(QMessageBox::No, No, second);
        add(QMessageBox::Cancel, Cancel, false);
        break;
    case YesNo:
        add(QMessageBox::Yes, Yes, !second);
        add(QMessageBox::No, No, second);
        break;
    default:
        add(QMessageBox::Ok, OK, true);
        break;
    }
    if (def)
        box.setDefaultButton(qobject_cast<QPushButton*>(def));
    box.exec();
    for (auto& [btn, answer] : map)
        if (box.clickedButton() == btn)
            return answer;
    // Closed without a button: the escape answer.
    return (style & 7) == YesNo ? No : ((style & 7) == OKOnly ? OK : Cancel);
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
int openCount() { return gOpen; }

} // namespace mb
