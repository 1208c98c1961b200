#pragma once
// What the register, "Zarn Link", terminal and set-up tools share: their
// common labels and fields, the write password check, the refusals they make before anything
// is sent, and the trace boxes that show characters as they arrive.
#include <QLabel>
#include <QPlainTextEdit>
#include <QString>

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
