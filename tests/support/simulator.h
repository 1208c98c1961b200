#pragma once
// Drives the instrument simulator (tools/instrument-sim) from a test: starts
// it on a fresh pseudo-terminal with a line description, sends statements
// through its control channel and reads back the frames it received.
#include <QByteArray>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator with a line description (see the simulator's
    // README); an empty text serves its demonstration line. `extraArgs` are
    // passed on (e.g. {"--gap", "5"}). False when it did not come up; then
    // errorText() tells why.
    bool start(const std::string& config = {}, const std::vector<std::string>& extraArgs = {});
    void stop();

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

    // The frames received (RX) and sent (TX) so far, from the simulator's log.
    std::vector<QByteArray> requests() const { return frames("RX"); }
    std::vector<QByteArray> replies() const { return frames("TX"); }
    // Forgets the log so far.
    void clearLog() const;
    const std::string& errorText() const { return error_; }

private:
    std::string readLine(int timeoutMs);
    std::vector<QByteArray> frames(const char* kind) const;

    std::unique_ptr<QProcess> proc_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::string pty_;
    std::string error_;
};
