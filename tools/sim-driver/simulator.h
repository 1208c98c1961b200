#pragma once
// The instrument simulator on a fresh pseudo-terminal, driven through its control channel.
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

    // Starts it on a line description ("" for its demonstration line) with
    // further command-line options (e.g. "--wire"); false with errorText()
    // when it did not come up.
    bool start(const std::string& config = {}, const std::vector<std::string>& options = {});
    void stop();

    const std::string& ptyPath() const { return pty_; }
    void bindCom(int n) const;

    // One statement; its answer line ("OK [value]", "ERR ...", "" on time-out).
    std::string command(const std::string& statement, int timeoutMs = 3000);
    // command() that must succeed; returns the value after "OK ".
    std::string must(const std::string& statement);

    std::vector<QByteArray> requests() const { return frames("RX"); }
    std::vector<QByteArray> replies() const { return frames("TX"); }
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
