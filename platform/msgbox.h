#pragma once
// Modal message boxes, and the standard "Application Error" box. A style adds
// up one button set, one icon and which button is the default, the first
// unless DefaultButton2 or DefaultButton3 names another (YesNo + Question +
// DefaultButton2 is a confirmation whose default is No); the answer names the
// button pressed. Enter presses the default button; Escape and the close box
// press the last one (Cancel, No on a Yes/No question, or the only OK), and
// a box that its window's unload closes answers the same.
// Tests answer and record every box through the hook.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;

namespace rt { class RtError; }

namespace mb {

enum Style : int {
    OKOnly = 0,
    OKCancel = 1,
    YesNoCancel = 3,
    YesNo = 4,
    Critical = 16,
    Question = 32,
    Exclamation = 48,
    Information = 64,
    DefaultButton2 = 256,
    DefaultButton3 = 512,
};
enum Answer : int { OK = 1, Cancel = 2, Yes = 6, No = 7 };

// Shows a modal box; lines in `text` are separated by "\r" or "\n". A line
// of more than a few hundred characters (one quoting a refused line of a
// file) is shown cut in its middle, at "…".
int MsgBox(const QString& text, int style = OKOnly, const QString& title = QString(),
           QWidget* owner = nullptr);

// The standard error box: three lines separated by one carriage return,
// "<first line>", "Error Code <n> - <description>", "Routine - <routine>",
// critical icon, OK, title "Application Error".
void AppError(const rt::RtError& e, const QString& routine,
              const QString& firstLine = QStringLiteral("An application error has occurred:"));
void AppError(int number, const QString& description, const QString& routine,
              const QString& firstLine = QStringLiteral("An application error has occurred:"));
// The same box owned by a window (a dialog's or the main form's own errors).
void AppError(QWidget* owner, const rt::RtError& e, const QString& routine);
void AppError(QWidget* owner, int number, const QString& description, const QString& routine);
// An owned box that names what the routine was working on in its first line
// ("An application error has occurred reading Graph.val file:").
void AppError(QWidget* owner, const rt::RtError& e, const QString& routine, const QString& firstLine);

// --- test hooks ---
struct Call {
    QString text;
    QString title;
    int style = 0;
    bool hadOwner = false;
};
// When a handler is installed no box is shown: the handler gives the answer.
using Handler = std::function<int(const Call&)>;
void setHandler(Handler h);
void clearHandler();
// Recording is always on (the latest 1,000 boxes); tests read and clear it.
const std::vector<Call>& calls();
void clearCalls();
// The answer of the style's default button (Enter); a default beyond the
// box's buttons falls back to the first.
int defaultAnswer(int style);
// Boxes come up since the program started (those a handler answered too).
int shownCount();

} // namespace mb
