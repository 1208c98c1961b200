#pragma once
// A pseudo-terminal for a benchmark's line, its slave named as COM<n>: the
// benchmark keeps the master (to listen, or to feed the program), the program
// opens the slave through its own serial layer.
#include <QByteArray>
#include <cstdio>
#include <pty.h>
#include <string>
#include <unistd.h>

class BenchLine {
public:
    explicit BenchLine(int com)
    {
        char name[128];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            return;
        }
        name_ = name;
        // The line is raw once the program opens it: the port sets that mode.
        qputenv(("QUINREX3_COM" + std::to_string(com)).c_str(), QByteArray::fromStdString(name_));
    }
    ~BenchLine()
    {
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
    }
    BenchLine(const BenchLine&) = delete;
    BenchLine& operator=(const BenchLine&) = delete;

    bool ok() const { return master_ >= 0; }
    int master() const { return master_; }
    const char* name() const { return name_.c_str(); }

private:
    int master_ = -1, slave_ = -1;
    std::string name_;
};
