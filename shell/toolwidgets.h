#pragma once
// What the register, "Zarn Link", terminal and set-up tools share: their
// common labels and fields, the write password check, the refusals they make before anything
// is sent, and the trace boxes that show characters as they arrive.
#include <QLabel>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>

#include "platform/controls.h"
#include "platform/form.h"

namespace tool {

// The tools' own labels, placed in twips: the title across the top of the
// form, "Demo Mode" (hidden until the form shows it), the error line and
// the instruction text.
QLabel* TitleLabel(QWidget* parent, const QString& text);
QLabel* DemoLabel(QWidget* parent);
QLabel* ErrorLabel(QWidget* parent, int left, int top, int width);
QLabel* Instruction(QWidget* parent, const QString& text, int left, int top, int width, int height);
// A text box that shows "*" for each character typed.
TextBox* PasswordBox(QWidget* parent, const QString& name, int left, int top, int width);

// Compares the entry with the write password (blanks at both ends and letter
// case do not count). A wrong entry is told in a box owned by `owner`.
bool PasswordAccepted(const QLineEdit* entry, QWidget* owner);

// The value a write sends: the text wholly a number of the form chosen
// (decimal, or one to four hexadecimal digits as a signed 16-bit pattern),
// whole, and within lower..upper, what the register carries. Anything else
// is told in a box owned by `owner`, and nothing is to be sent (false).
bool WriteValue(const QString& text, bool hex, float lower, float upper, QWidget* owner, float& value);

// The register or command a write goes to, named by `what` ("The register
// number"): wholly a whole number of the form chosen, hexadecimal digits
// with or without a trailing "H". Anything else is told in a box titled
// `title`, and nothing is to be sent (false).
bool WriteTarget(const QString& text, bool hex, const QString& what, const QString& title, QWidget* owner,
                 int& number);

// The error result for a protocol code the tool cannot speak: sending nothing
// and showing 0 would look like a good read of a zero.
void RefuseProtocol(int group, int address, const QString& code, QString& ErrText, int& ErrCode);

// A box that shows received characters, as they arrive, at the insertion
// point (the end of the text unless the user moved the caret). Its length
// counts every line end as the two characters CR LF, as the line delivered
// them; before each character is added, a box that holds kLimit characters
// or more is emptied, so a line without line ends starts over there.
//
// What arrives is shown at most every kShowMs in one edit: a long line is
// laid out again at each edit, so one edit per character would cost more
// the longer the line grew.
class TraceBox : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kLimit = 16000;
    static constexpr int kShowMs = 40;
    // How an STX (character 2) is taken: shown as it is, or as the start of
    // a reply, which begins a line of its own and is not shown.
    enum class Stx { Shown, StartsLine };

    explicit TraceBox(QWidget* parent = nullptr, Stx stx = Stx::Shown);
    // Characters held, shown or still to be shown.
    int length() const;
    // The whole text, with what is still to be shown.
    QString text();
    void clearTrace();
    // Adds the characters one by one: a CR, an LF or a CR LF pair is one
    // line end; every other character is shown as it is.
    void add(const QByteArray& chars);
    // Adds `line` as a line of its own: it starts one unless the insertion
    // point is at the start of a line already, and ends it.
    void addLine(const QByteArray& line);
    // Shows at once what waits to be shown.
    void flush();

private:
    int shownLength() const;
    Stx stx_;
    bool afterCR_ = false;
    QString waiting_;         // added and not yet shown, line ends as LF
    int waitingLength_ = 0;   // its length, line ends counted as two
    bool emptyFirst_ = false; // the box was emptied since the last edit
    QTimer show_;
    QElapsedTimer sinceShown_;
};

// What the register and "Zarn Link" tools share: an instrument address, a
// value, the write password, Read, Write and Close, the error line and the
// demo label.
class AccessForm : public Form {
    Q_OBJECT
public:
    void Form_Activate() override;

    ComboBox* cbxAddress = nullptr;
    TextBox* txtValue = nullptr;
    TextBox* txtPassword = nullptr;
    CommandButton* cmdRead = nullptr;
    CommandButton* cmdWrite = nullptr;
    CommandButton* cmdClose = nullptr;
    QLabel* lblErrorMessageText = nullptr;
    QLabel* lblDemoMode = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblInstruction = nullptr;

    virtual void cmdRead_Click() = 0;
    virtual void cmdWrite_Click() = 0;
    void cmdClose_Click();

protected:
    // Names and sizes (twips) the form and builds its title and demo label.
    AccessForm(const QString& name, const QString& caption, const QString& title, int width, int height);
    // Read and Write at the left of one row, Close at `closeLeft`.
    void buildButtons(int top, int closeLeft);
    // How every load starts: no error, no value, no password, and the
    // address list filled (see FillAddressCombo).
    void startLoad(bool hexAddresses, bool setDefault);
    // The address in the box read in `group`'s form, or false with the error
    // text (naming the text as typed) shown when it is no single
    // instrument's address: nothing is to be sent then.
    bool instrumentAddress(int group, int& address);
};

} // namespace tool
