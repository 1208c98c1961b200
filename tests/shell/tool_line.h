#pragma once
// The tools' line: the simulator on COM7, with the sample definition tables loaded.
#include "core/deffiles.h"
#include "core/transports.h"
#include "support/simline.h"
#include "support/typed_sweep.h"

inline const char* const kToolLine = R"(
instrument 50 group 0 protocol Z
zcmd 50 0x00 "0C110123"
instrument 51 group 0 protocol R
reg 51 1 1234
instrument 1 group 1 protocol R
preg 1 0x12 7
dinput 1 0x810 1
coil 1 0x810 0
reg 1 0x1000 0xFFFF
instrument 5 group 2 protocol A
reg 5 0x1001 0
)";

class ToolLineTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        copySampleData();
        modZarn::ReadxxGXrefFile();
        startLine(kToolLine);
        modZarn::gPassword = "QX3admin";
    }
};
