#pragma once
// A pseudo-terminal pair for tests: the test keeps the master side and hands
// the slave path to the code under test (e.g. through QUINREX3_COM<n>).
#include <QByteArray>
#include <string>

class PtyPair {
public:
    // Opens a new pair in raw mode. The pair also keeps one descriptor of the
    // slave open so that the master never sees a hang-up while the code under
    // test has the slave closed.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }

    // Writes all of `data` to the master side.
    bool write(const QByteArray& data);
    // Reads what arrives on the master side until `count` bytes are in or
    // `timeoutMs` pass; returns what was read (possibly less).
    QByteArray read(int count, int timeoutMs) { return collect(count, timeoutMs, timeoutMs); }
    // Reads everything that arrives until no byte came for `quietMs` or
    // `timeoutMs` pass in all.
    QByteArray readUntilQuiet(int quietMs, int timeoutMs) { return collect(1 << 30, quietMs, timeoutMs); }
    // Closes the master: the slave side hangs up.
    void closeMaster();

private:
    QByteArray collect(int count, int quietMs, int timeoutMs);

    int master_ = -1;
    int slaveHold_ = -1;
    std::string slavePath_;
};
