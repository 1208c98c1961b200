#pragma once
// The program itself (the real executable) as a child process: offscreen, in
// a program folder of its own, its boxes reported and answered through
// QX_TEST_BOXES (each box a line "box: <title> | <text>" on its standard
// error, answered by a line on its standard input).
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <sys/types.h>

class ProgramRun {
public:
    ProgramRun();
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Copies the executable into `folder` (the program folder it then runs in).
    static bool install(const QString& folder);
    // The user "nobody": tests run as root, where some locks do not apply.
    static uid_t nobody();

    // Runs as another user (and its group); the folder is opened to it.
    void runAs(uid_t uid) { uid_ = uid; }
    QProcessEnvironment& env() { return env_; }

    bool start(const QString& folder, const QStringList& args);
    // The next box ("<title> | <text>"), "" when the program ended first or
    // nothing came within `ms`.
    QString nextBox(int ms = 30000);
    // Presses a button of the box shown ("Yes", "No", "OK", "" the default).
    void answer(const QString& button);
    // Answers every box by `decide` until the program ends; its exit status,
    // -1 when it crashed or did not end.
    int finish(const std::function<QString(const QString& box)>& decide = {}, int ms = 60000);
    qint64 pid() const { return proc_ ? proc_->processId() : 0; }
    void signal(int sig);
    const QStringList& boxes() const { return boxes_; }
    // Everything the program wrote on standard error.
    QString log() const { return log_; }

private:
    std::unique_ptr<QProcess> proc_;
    QProcessEnvironment env_;
    uid_t uid_ = 0;
    QByteArray pending_;
    QStringList boxes_;
    QString log_;
};

// Another process, as another serial program would be: in the child it runs
// `take` (raw system calls only: it runs between fork and exit), tells the
// test, then waits until the test lets it end.
class OtherProcess {
public:
    explicit OtherProcess(const std::function<void()>& take = {});
    ~OtherProcess() { end(); }
    OtherProcess(const OtherProcess&) = delete;
    OtherProcess& operator=(const OtherProcess&) = delete;
    pid_t pid() const { return pid_; }
    void end();

private:
    pid_t pid_ = -1;
    int go_ = -1;
};

// A PID of a process that has ended.
pid_t DeadPid();

// A lock file as other serial programs write it: the PID as ten ASCII
// characters and a line end, or as the four bytes of a binary integer.
void WriteLockFile(const QString& file, pid_t pid, bool binary = false);
// The folder of lock files the tests use (QUINREX3_LOCK_DIR).
QString LockDir();
