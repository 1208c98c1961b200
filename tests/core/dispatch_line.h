#pragma once
// The simulator serving one instrument per register path, with the sample
// definition tables loaded: 32H group 0 "Zarn Link", 33H and 34H (no register
// 795) group 0 Modbus RTU, 001 group 1 RTU and ASCII, 002 group 2 ASCII, 003
// group 1 without a status word.
#include "core/deffiles.h"
#include "core/dispatch.h"
#include "support/simline.h"

inline const char* const kDispatchLine = R"(
instrument 50 group 0 protocol Z
zcmd 50 0x00 "08140123"
zcmd 50 0x08 "13"
zcmd 50 0x122 -12.3
zcmd 50 0x123 -12.3
zcmd 50 0x124 0.53
zcmd 50 0x30F "12"
# register 350, two bits per read in bits 6-7 of the status byte: 2 1 3 0 1 2 3 1
zcmd 50 0x160 "800000"
zcmd 50 0x162 "400000"
zcmd 50 0x164 "C00000"
zcmd 50 0x166 "000000"
zcmd 50 0x168 "400000"
zcmd 50 0x16A "800000"
zcmd 50 0x16C "C00000"
zcmd 50 0x16E "400000"
# register 351 stops answering after three reads
zcmd 50 0x170 "400000"
zcmd 50 0x172 "400000"
zcmd 50 0x174 "400000"
instrument 51 group 0 protocol R
reg 51 1 12345
reg 51 2 0x0021
reg 51 256 500
reg 51 794 2
instrument 52 group 0 protocol R
reg 52 1 12345
reg 52 2 0x0021
reg 52 256 500
instrument 1 group 1 protocol RA
reg 1 0x1000 255
reg 1 0x1001 0xCFC7
reg 1 0x102A 0x0014
preg 1 0x12 1
dinput 1 0x810 1
coil 1 0x810 0
instrument 2 group 2 protocol A
reg 2 0x4700 255
reg 2 0x4701 100
reg 2 0x472B 0x0014
reg 2 0x4730 0x1234
instrument 3 group 1 protocol R
reg 3 0x1000 255
)";

class DispatchLineTest : public SimLineTest {
protected:
    void SetUp() override
    {
        SimLineTest::SetUp();
        copySampleData();
        modZarn::ReadZarnXrefFile();
        modZarn::ReadxxGXrefFile();
        modZarn::ReadxxHXrefFile();
        startLine(kDispatchLine);
    }

    float read(int group, const char* code, int address, int reg)
    {
        value = 7;
        modZarn::ReadInstrumentRegister(group, code, text, err, address, reg, value);
        return value;
    }
    void write(int group, const char* code, int address, int reg, float v)
    {
        modZarn::WriteInstrumentRegister(group, code, text, err, address, reg, v);
    }
    QString text;
    int err = 0;
    float value = 7;
};
