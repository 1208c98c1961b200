#pragma once
// Test support: a program folder of the test's own (optionally filled with the
// shipped sample files), answered message boxes and file dialogs, and an end
// of the program that throws instead of exiting.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

#include "core/state.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"

// Failure messages show texts as text.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Thrown by App::end() during tests.
struct ProgramEnded {
    int code;
};

// Answers message boxes in order from a queue; when the queue is empty the
// default answer is given. Every box is recorded in mb::calls().
class MsgBoxAnswers {
public:
    MsgBoxAnswers();
    ~MsgBoxAnswers();
    void push(int answer) { answers_.push_back(answer); }
    const std::vector<mb::Call>& calls() const { return mb::calls(); }
    // The last box, or an empty call when none was shown.
    mb::Call last() const;
    int count() const { return int(mb::calls().size()); }
    void clear() { mb::clearCalls(); }

private:
    std::deque<int> answers_;
};

// Base fixture: a fresh program folder, shared state reset, boxes answered;
// afterwards every window is discarded and the program's line closed.
class QxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Copies the shipped sample files (data/) into the program folder.
    void copySampleData();
    QString programDir() const { return dir_.path(); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void writeFile(const QString& name, const QByteArray& content) const;
    QByteArray readFile(const QString& name) const;

    QTemporaryDir dir_;
    MsgBoxAnswers boxes_;
};

QString sourceDir();

// The number of the run-time error `f` raises; 0 when it raises none.
template <class F>
int rtErrorOf(F&& f)
{
    try {
        f();
    } catch (const rt::RtError& e) {
        return e.number();
    }
    return 0;
}

// A Modbus RTU frame given in hex with its CRC appended (the CRC routine
// itself is pinned by a test).
QByteArray Rtu(const char* hex);

// Appends an instrument to the table and returns it.
modZarn::InstrumentRecord& addInstrument(const char* address, const char* protocol, int group,
                                         const QString& name = QString());

// Opens the program's line as COM<com> on `device` at 9600,N,8,1 and marks it
// usable, with a short poll time-out.
void openLine(int com, const std::string& device, int pollTimeoutMs = 150);

// Runs the program's events until `cond` holds; false once `ms` milliseconds
// have passed without it.
template <class F>
bool runEventsUntil(F cond, int ms = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}
