#pragma once
// A program folder per test, answered boxes and dialogs, an end that throws.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
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

// Answers boxes from a queue, then with their default; every box is recorded.
class MsgBoxAnswers {
public:
    MsgBoxAnswers();
    ~MsgBoxAnswers();
    void push(int answer) { answers_.push_back(answer); }
    const std::vector<mb::Call>& calls() const { return mb::calls(); }
    mb::Call last() const;
    int count() const { return int(mb::calls().size()); }
    void clear() { mb::clearCalls(); }

    // Boxes are answered from the queue again (after RealBoxKeys).
    void install();

private:
    std::deque<int> answers_;
};

class QMessageBox;

// While it lives boxes are real, and `meet` is given each box once, when
// the box is shown and has the focus, as the user meets it; it answers the
// box. Afterwards boxes are answered from the queue again.
class RealBoxes {
public:
    explicit RealBoxes(std::function<void(QMessageBox*)> meet);
    ~RealBoxes();

private:
    QTimer timer_;
};

// Real boxes, each answered by pressing `key` where the focus is, as the
// user does; the titles of the boxes answered are kept.
class RealBoxKeys {
public:
    explicit RealBoxKeys(Qt::Key key);
    QStringList titles;

private:
    RealBoxes boxes_;
};

// A fresh program folder and shared state; windows and the line closed afterwards.
class QxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The shipped sample files (data/) into the program folder.
    void copySampleData();
    // The sample files copied in, the system configuration and model file read.
    void useSampleProgram();
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

// While it lives, no file of this process can grow beyond `bytes`: writes
// past that fail as on a full disk (the process's file size limit, with its
// signal ignored).
class DiskFull {
public:
    explicit DiskFull(qint64 bytes = 0);
    ~DiskFull();
    DiskFull(const DiskFull&) = delete;
    DiskFull& operator=(const DiskFull&) = delete;

private:
    quint64 saved_;
    void (*handler_)(int);
};

// Runs `f` in a forked copy of this process, started at once; result()
// waits for the copy and returns the text `f` returned (a few lines at
// most). A copy still running after `seconds` is killed, and its text says
// so ("killed by signal 14"), as does one that ends otherwise. With
// `memoryMB` above 0 the copy can take at most that much memory more than
// this process has; with a `uid` other than 0 it runs as that user (and
// group of the same number). Copies that run side by side are all started
// from the test's own thread: a fork while another thread forks can hang
// the copy (in the sanitizers' allocator, for one).
class ForkedCopy {
public:
    explicit ForkedCopy(const std::function<QString()>& f, unsigned seconds = 10, qint64 memoryMB = 0, unsigned uid = 0);
    ~ForkedCopy();
    ForkedCopy(const ForkedCopy&) = delete;
    ForkedCopy& operator=(const ForkedCopy&) = delete;
    QString result();

private:
    int pid_ = -1;
    int out_ = -1;
    QString result_;
};

// One copy, awaited at once.
inline QString InChild(const std::function<QString()>& f, unsigned seconds = 10, qint64 memoryMB = 0,
                       unsigned uid = 0)
{
    return ForkedCopy(f, seconds, memoryMB, uid).result();
}

// What stands where a file is expected, made in `dir`: a named pipe, a
// folder, a file of 8 GB with nothing of it on the disk (`huge`), and
// /dev/zero; each with what a reader of it says after the error's number
// ("75 - Path/File access error (a named pipe, not a file)"), for a reader
// that takes at most `limit` (as "4.0 MB").
struct NotAFile {
    QString path;
    QString says;
};
std::vector<NotAFile> NotFilesIn(const QString& dir, const QString& limit = QStringLiteral("4.0 MB"));

// Takes every write permission from a file.
void MakeReadOnly(const QString& path);

// While it lives, saves fail: with `readOnly` because the files named are
// read-only (they stay so), else as on a disk with room for `room` bytes.
class FailingSaves {
public:
    FailingSaves(bool readOnly, const QStringList& files, qint64 room = 0);

private:
    std::optional<DiskFull> full_;
};

// The user the two-user cases run as beside the superuser (nobody).
constexpr unsigned kOtherUser = 65534;

// The names of the files in a folder, hidden ones included.
QStringList FilesIn(const QString& dir);

// A Modbus RTU frame from hex, with its CRC appended.
QByteArray Rtu(const char* hex);

// Appends an instrument to the table and returns it.
modZarn::InstrumentRecord& addInstrument(const char* address, const char* protocol, int group,
                                         const QString& name = QString());

// The program's line as COM<com> on `device` at 9600,N,8,1, marked usable.
void openLine(int com, const std::string& device, int pollTimeoutMs = 150);

// Runs events until `cond` holds; false after `ms` without it.
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

// Activates `box`'s window, lets it take the focus the way the window gives
// it (its first field on opening, otherwise Tab presses until it is reached)
// and types `text` there with real key events. False when the box never
// got the focus.
bool typeByKeys(QWidget* box, const QString& text);
