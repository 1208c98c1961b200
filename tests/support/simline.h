#pragma once
// A test on the instrument simulator's line: the simulator serves a line
// description on a pseudo-terminal that the program opens as COM7.
#include "sim-driver/simulator.h"
#include "support/testenv.h"

class SimLineTest : public QxTest {
protected:
    void startLine(const char* description, int pollTimeoutMs = 150, const std::vector<std::string>& options = {})
    {
        ASSERT_TRUE(sim_.start(description, options)) << sim_.errorText();
        openLine(7, sim_.ptyPath(), pollTimeoutMs);
    }
    QByteArray lastRequest() const
    {
        const auto r = sim_.requests();
        return r.empty() ? QByteArray() : r.back();
    }

    SimProcess sim_;
};
