// The serial port control on the slave side of a pseudo-terminal.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <thread>

#include "platform/serialport.h"
#include "support/pty.h"
#include "support/testenv.h"

namespace {

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        qputenv("QUINREX3_COM7", QByteArray::fromStdString(pty.slavePath()));
        port.setCommPort(7);
        port.setSettings(QStringLiteral("9600,N,8,1"));
        port.setRTSEnable(true); // pseudo-terminals refuse modem lines: must not matter
    }
    void TearDown() override { qunsetenv("QUINREX3_COM7"); }

    PtyPair pty;
    SerialPortControl port;
};

} // namespace

TEST_F(SerialPortTest, OpensClosesAndReopens)
{
    EXPECT_FALSE(port.portOpen());
    port.setPortOpen(true);
    EXPECT_TRUE(port.portOpen());
    EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), rt::ErrCommPortOpen);
    EXPECT_EQ(rtErrorOf([&] { port.setCommPort(3); }), rt::ErrCommPortOpen);

    port.setPortOpen(false);
    port.setPortOpen(false); // closing a closed port is harmless
    EXPECT_EQ(rtErrorOf([&] { port.output("x"); }), rt::ErrCommNotOpen);
    EXPECT_EQ(rtErrorOf([&] { port.input(); }), rt::ErrCommNotOpen);
    EXPECT_EQ(port.inBufferCount(), 0);
}

TEST_F(SerialPortTest, SettingsTextIsCheckedAndKeptOnError)
{
    for (const char* good : {"4800,o,8,1.5", "115200,S,6,2"}) {
        EXPECT_EQ(rtErrorOf([&] { port.setSettings(QString::fromLatin1(good)); }), 0) << good;
        EXPECT_EQ(port.settings(), QString::fromLatin1(good));
    }
    port.setSettings(QStringLiteral("9600,N,8,1"));
    for (const char* bad : {"", "9600", "9600,N,8", "9600,N,8,1,1", "fast,N,8,1", "0,N,8,1", "9600,X,8,1",
                            "9600,NN,8,1", "9600,N,9,1", "9600,N,4,1", "9600,N,8,3", "9600,N,8,"}) {
        EXPECT_EQ(rtErrorOf([&] { port.setSettings(QString::fromLatin1(bad)); }), rt::ErrInvalidPropertyValue) << bad;
        EXPECT_EQ(port.settings(), QStringLiteral("9600,N,8,1")) << bad;
    }
    // A change while open is applied to the open port.
    port.setPortOpen(true);
    EXPECT_EQ(rtErrorOf([&] { port.setSettings(QStringLiteral("19200,E,8,1")); }), 0);
    EXPECT_TRUE(port.portOpen());
    port.output("ok");
    EXPECT_EQ(pty.read(2, 1000), QByteArray("ok"));
}

TEST_F(SerialPortTest, CountSeesInputWithoutAnEventLoop)
{
    port.setPortOpen(true);
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_EQ(port.input(), QByteArray());

    ASSERT_TRUE(pty.write("abc"));
    ASSERT_TRUE(port.waitForInput(2000));
    // No event loop runs here: the count must still see every byte.
    EXPECT_EQ(port.inBufferCount(), 3);
}

TEST_F(SerialPortTest, WaitForInputBlocksUntilDataOrTimeOut)
{
    port.setPortOpen(true);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(port.waitForInput(150));
    EXPECT_GE(t.elapsed(), 140);

    // Data arriving while the wait blocks ends it long before the time-out.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.write("Z");
    });
    t.start();
    EXPECT_TRUE(port.waitForInput(10000));
    EXPECT_LT(t.elapsed(), 5000);
    writer.join();

    // Data already waiting: true at once; a closed port: false at once.
    t.start();
    EXPECT_TRUE(port.waitForInput(10000));
    port.setPortOpen(false);
    EXPECT_FALSE(port.waitForInput(10000));
    EXPECT_LT(t.elapsed(), 1000);
}

TEST_F(SerialPortTest, HangUpEndsAWaitInProgress)
{
    port.setPortOpen(true);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.closeMaster();
    });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(port.waitForInput(10000));
    EXPECT_LT(t.elapsed(), 5000);
    closer.join();
    EXPECT_FALSE(port.portOpen());
}

TEST_F(SerialPortTest, VanishedDeviceReadsAsClosedPort)
{
    port.setPortOpen(true);
    pty.write("pending");
    pty.closeMaster();
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_FALSE(port.waitForInput(10000));
    EXPECT_EQ(rtErrorOf([&] { port.input(); }), rt::ErrCommNotOpen);

    // Also when the hang-up is first met by the event loop.
    PtyPair other;
    qputenv("QUINREX3_COM8", QByteArray::fromStdString(other.slavePath()));
    SerialPortControl second;
    second.setCommPort(8);
    second.setPortOpen(true);
    other.closeMaster();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    EXPECT_FALSE(second.portOpen());
    qunsetenv("QUINREX3_COM8");
}

TEST_F(SerialPortTest, OpeningErrorsAreNumbered)
{
    // A device that is held by another opener.
    SerialPortControl other;
    other.setCommPort(7);
    other.setPortOpen(true);
    EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), rt::ErrCommHardware);
    EXPECT_FALSE(port.portOpen());
    other.setPortOpen(false);
    EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), 0);
    port.setPortOpen(false);

    // A missing device.
    qputenv("QUINREX3_COM9", "/dev/quinrex3-no-such-port");
    port.setCommPort(9);
    EXPECT_EQ(rtErrorOf([&] { port.setPortOpen(true); }), rt::ErrCommInvalidPort);
    EXPECT_FALSE(port.portOpen());
    qunsetenv("QUINREX3_COM9");

    EXPECT_EQ(rtErrorOf([&] { port.setCommPort(0); }), rt::ErrCommInvalidPort);
    EXPECT_EQ(rtErrorOf([&] { port.setCommPort(17); }), rt::ErrCommInvalidPort);
    EXPECT_EQ(port.commPort(), 9);
    EXPECT_EQ(SerialPortControl::devicePath(3), QStringLiteral("/dev/ttyS2"));
}
