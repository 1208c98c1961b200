#pragma once
// Drives the instrument simulator (tools/instrument-sim) from a test: starts
// it on a fresh pseudo-terminal with a line description, sends statements
// through its control channel and reads back the frames it received.
#include <QByteArray>
#include <string>
#include <sys/types.h>
#include <vector>

struct SimLogEntry {
    double time = 0;  // seconds since the simulator started
    std::string kind; // "RX", "TX" or "--" (a note)
    QByteArray bytes; // the frame (RX, TX)
    std::string note; // the note ("--")
};

class SimProcess {
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator with a line description (see the simulator's
    // README); an empty text serves its demonstration line. `extraArgs` are
    // passed on (e.g. {"--gap", "5"}). False when it did not come up; then
    // errorText() tells why.
    bool start(const std::string& config = {}, const std::vector<std::string>& extraArgs = {});
    void stop();
    bool running() const { return pid_ > 0; }

    // The pseudo-terminal the program should open.
    const std::string& ptyPath() const { return pty_; }
    // Points COM<n> of the program at the simulator (QUINREX3_COM<n>).
    void bindCom(int n) const;

    // Sends one statement of the description language and returns the
    // simulator's answer line ("OK", "OK <value>", "ERR <message>"; "" when
    // no answer came within the time).
    std::string command(const std::string& statement, int timeoutMs = 3000);
    // command() that must succeed; returns the value after "OK " ("" for none).
    std::string must(const std::string& statement);

    // Everything logged so far, and the frames received (RX) / sent (TX).
    std::vector<SimLogEntry> log() const;
    std::vector<QByteArray> requests() const;
    std::vector<QByteArray> replies() const;
    // Forgets the log so far.
    void clearLog() const;
    const std::string& errorText() const { return error_; }

private:
    std::string readLine(int timeoutMs);

    pid_t pid_ = -1;
    int toSim_ = -1;
    int fromSim_ = -1;
    std::string dir_;
    std::string pty_;
    std::string pending_;
    std::string error_;
};
