#pragma once
// What the register, "Zarn Link", terminal and set-up tools share: their
// common labels and fields, the write password check, the refusals they make before anything
// is sent, and the trace boxes that show characters as they arrive.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>

namespace tool {

QLabel* Label(QWidget* parent, const QString& text, int x, int y, int w, int h = 22);
QLabel* TitleLabel(QWidget* parent, const QString& text);
QLabel* DemoLabel(QWidget* parent);
QLabel* ErrorLabel(QWidget* parent, int x, int y, int w);
QLabel* Instruction(QWidget* parent, const QString& text, int x, int y, int w, int h);
QLineEdit* TextBox(QWidget* parent, int x, int y, int w);
// A list box that also takes typed text; typing adds nothing to the list.
QComboBox* EditCombo(QWidget* parent, int x, int y, int w);
// Shows "*" for each character typed.
QLineEdit* PasswordBox(QWidget* parent, int x, int y, int w);

// Compares the entry with the write password (blanks at both ends and letter
// case do not count). A wrong entry is told in a box owned by `owner`.
bool PasswordAccepted(const QLineEdit* entry, QWidget* owner);

// The error text for an address box that names no single instrument.
QString AddressRangeText(int group, const QString& addressText);
// The error result for a protocol code the tool cannot speak: sending nothing
// and showing 0 would look like a good read of a zero.
void RefuseProtocol(int group, int address, const QString& code, QString& ErrText, int& ErrCode);

// A box that shows received characters. Its length counts every line end as
// the two characters CR LF, as the line delivered them.
class TraceBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TraceBox(QWidget* parent = nullptr);
    int length() const;
    void clearTrace();
    // Adds one character at the insertion point: a CR, an LF or a CR LF pair
    // is one line end; every other character is shown as it is.
    void addChar(char c);
    // Adds a line end at the insertion point.
    void addLineEnd();

private:
    void insert(const QString& s);
    bool afterCR_ = false;
};

} // namespace tool
