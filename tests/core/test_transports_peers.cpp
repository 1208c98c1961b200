// The Modbus drivers against libmodbus (RTU) and pymodbus (ASCII) slaves on a socat pty pair.
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "core/transports.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

using ReadFn = void (*)(int, int, QString&, int&, int, int, int, int, QVector<float>&);

// Holding register n of both peers starts as n * 10; there are 100 of them
// and 64 coils, all from address 0.
class PeerTest : public QxTest {
protected:
    void startLine()
    {
        if (QStandardPaths::findExecutable("socat").isEmpty())
            GTEST_SKIP() << "socat is not installed";
        ours_ = dir_.filePath("ours");
        theirs_ = dir_.filePath("theirs");
        socat_.start("socat", {"pty,raw,echo=0,link=" + ours_, "pty,raw,echo=0,link=" + theirs_});
        for (int i = 0; i < 500 && !(QFileInfo::exists(ours_) && QFileInfo::exists(theirs_)); ++i)
            QThread::msleep(10);
        ASSERT_TRUE(QFileInfo::exists(ours_) && QFileInfo::exists(theirs_));
        openLine(8, ours_.toStdString(), 1000);
    }
    // Starts the peer; true once it answers a read of register 1.
    bool startPeer(const QString& program, const QStringList& args, ReadFn read)
    {
        peer_.start(program, args + QStringList{theirs_, "1"});
        if (!peer_.waitForStarted(5000))
            return false;
        for (int i = 0; i < 15; ++i) {
            QVector<float> v(2, 0);
            read(1, 0, text, code, 1, 1, 3, 1, v);
            if (code == 0)
                return true;
        }
        return false;
    }
    void TearDown() override
    {
        for (QProcess* p : {&peer_, &socat_}) {
            p->kill();
            p->waitForFinished(3000);
        }
        QxTest::TearDown();
    }

    QString ours_, theirs_, text;
    int code = 99;
    QProcess socat_, peer_;
    QVector<float> values = QVector<float>(10, 0);
};

class RtuPeerTest : public PeerTest {
protected:
    void SetUp() override
    {
        PeerTest::SetUp();
        if (QString(QX_MODBUS_SLAVE_PATH).isEmpty())
            GTEST_SKIP() << "built without libmodbus";
        startLine();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(startPeer(QX_MODBUS_SLAVE_PATH, {}, ModbusRead_R)) << text.toStdString();
    }
};

class AsciiPeerTest : public PeerTest {
protected:
    void SetUp() override
    {
        PeerTest::SetUp();
        QProcess probe;
        probe.start("/usr/bin/python3", {"-c", "import pymodbus, serial"});
        if (!probe.waitForFinished(20000) || probe.exitCode() != 0)
            GTEST_SKIP() << "python3-pymodbus or python3-serial is not installed";
        startLine();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(startPeer("/usr/bin/python3", {QX_PEERS_DIR "/pymodbus_ascii_server.py"}, ModbusRead_A))
            << text.toStdString();
    }
};

// One round trip each way per peer (group 0 sends register - 1).
TEST_F(RtuPeerTest, ReadsAndWritesRegisters)
{
    values[1] = -1;
    values[2] = 1234;
    ModbusWrite_R(1, 0, text, code, 1, 10, 3, 2, values);
    EXPECT_EQ(code, 0) << text.toStdString();
    values.fill(0);
    ModbusRead_R(0, 0, text, code, 1, 11, 3, 3, values);
    EXPECT_EQ(values.mid(1, 3), (QVector<float>{-1, 1234, 120}));
}

TEST_F(AsciiPeerTest, ReadsAndWritesRegisters)
{
    values[1] = -2;
    ModbusWrite_A(1, 0, text, code, 1, 10, 3, 1, values);
    EXPECT_EQ(code, 0) << text.toStdString();
    values.fill(0);
    ModbusRead_A(1, 0, text, code, 1, 10, 3, 2, values);
    EXPECT_EQ(values.mid(1, 2), (QVector<float>{-2, 110}));
}

} // namespace
