#pragma once
// The instrument simulator (tools/instrument-sim) as a child process on a
// pseudo-terminal of its own. The line is described one instrument a line:
//   <address> <group> <protocol Z|R|A> <settings|*> <model ID|refuse>
// e.g. "5 1 A 9600,E,7,1 XG". See tools/instrument-sim/main.cpp.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class SimProcess {
public:
    explicit SimProcess(const QStringList& instruments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ok() const { return !path_.isEmpty(); }
    // The slave side of the simulator's pseudo-terminal.
    const QString& path() const { return path_; }
    // One line per request received: "<protocol> <address> <baud>,<odd|even-or-none>,<stop> <answered>".
    QStringList requests() const;

private:
    QTemporaryDir dir_;
    QProcess proc_;
    QString path_;
};
