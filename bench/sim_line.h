#pragma once
// The benchmarks' line: the instrument simulator serving a description on a
// pseudo-terminal, opened by the program as COM7 at 9600,N,8,1.
#include <cstdio>
#include <string>
#include <vector>

#include "core/startup.h"
#include "core/state.h"
#include "sim-driver/simulator.h"

inline bool OpenSimLine(SimProcess& sim, const std::string& description, const std::vector<std::string>& args = {})
{
    if (!sim.start(description, args)) {
        std::fprintf(stderr, "simulator: %s\n", sim.errorText().c_str());
        return false;
    }
    sim.bindCom(7);
    modZarn::gCommPort = 7;
    modZarn::gPollTimeoutMs = 500;
    bool failed = true;
    modZarn::InitComm(QStringLiteral("9600,N,8,1"), failed);
    return !failed;
}
