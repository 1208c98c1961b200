#pragma once
// The register and "Zarn Link" tools' line: the instrument simulator on a
// pseudo-terminal, opened as COM7, with the sample definition tables loaded.
#include "core/commport.h"
#include "core/deffiles.h"
#include "core/state.h"
#include "core/transports.h"
#include "support/simulator.h"
#include "support/testenv.h"

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

class ToolLineTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        copySampleData();
        modZarn::ReadxxGXrefFile();
        ASSERT_TRUE(sim_.start(kToolLine)) << sim_.errorText();
        sim_.bindCom(7);
        SerialPortControl& port = modZarn::CommPort();
        if (port.portOpen())
            port.setPortOpen(false);
        port.setCommPort(7);
        port.setPortOpen(true);
        modZarn::gCommOK = true;
        modZarn::gPollTimeoutMs = 150;
        modZarn::gPassword = "QX3admin";
    }
    void TearDown() override
    {
        Forms::discardAll();
        modZarn::CommPort().setPortOpen(false);
        sim_.stop();
        QxTest::TearDown();
    }
    QByteArray lastRequest() const
    {
        const auto r = sim_.requests();
        return r.empty() ? QByteArray() : r.back();
    }
    static QByteArray Rtu(const char* hex)
    {
        const QByteArray b = QByteArray::fromHex(hex);
        return b + modZarn::ModbusCRC16(b);
    }

    SimProcess sim_;
};
