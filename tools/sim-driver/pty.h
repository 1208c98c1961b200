#pragma once
// A raw pseudo-terminal pair: the test keeps the master, the program opens the slave.
#include <QByteArray>
#include <string>

class PtyPair {
public:
    // Keeps a slave descriptor of its own: no hang-up while the program has it closed.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    // Names the slave as the program's port COM<n>.
    void bindCom(int n) const;
    const std::string& slavePath() const { return slavePath_; }

    bool write(const QByteArray& data);
    // Up to `count` bytes within `timeoutMs`.
    QByteArray read(int count, int timeoutMs) { return collect(count, timeoutMs, timeoutMs); }
    // Everything until `quietMs` pass without a byte, `timeoutMs` at most.
    QByteArray readUntilQuiet(int quietMs, int timeoutMs) { return collect(1 << 30, quietMs, timeoutMs); }
    void closeMaster();
    // Fills the line towards the master with 'x' until it takes no more, as
    // a far end that has stopped reading leaves it; reading the master makes
    // room again.
    bool stall();

private:
    QByteArray collect(int count, int quietMs, int timeoutMs);

    int master_ = -1;
    int slaveHold_ = -1;
    std::string slavePath_;
};
