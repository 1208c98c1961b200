// Modbus RTU driver on a scripted pseudo-terminal line.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/clock.h"
#include "transport_line.h"

using namespace modZarn;

namespace {

class RtuTest : public LineTest {
protected:
    void read(int group, int userReg, int address, int reg, int type, int count)
    {
        ModbusRead_R(group, userReg, text, code, address, reg, type, count, values);
    }
    void write(int group, int userReg, int address, int reg, int type, int count)
    {
        ModbusWrite_R(group, userReg, text, code, address, reg, type, count, values);
    }
    QString text = QStringLiteral("old");
    int code = 99;
    QVector<float> values = QVector<float>(12, 7.0f);
};

TEST_F(RtuTest, ReadsWordsAndBitsWithTheExactFrame)
{
    EXPECT_EQ(ModbusCRC16(Bytes("320300010001")), Bytes("d009"));
    line_.reply(Rtu("3203020102"));
    line_.reply(Rtu("320306ffff7fff8000"));
    read(0, 2, 50, 2, 3, 1);
    // Group 0 sends the register less one.
    EXPECT_EQ(line_.requests().value(0), Bytes("320300010001d009"));
    EXPECT_EQ(values[1], 258.0f);
    read(0, 2, 50, 2, 3, 3);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(values.mid(1, 4), (QVector<float>{-1, 32767, -32768, 7}));

    // Group 1 sends the register as it is; bits come least significant first.
    line_.reply(Rtu("0101020d02"));
    read(1, 258, 1, 0x102, 1, 10);
    EXPECT_EQ(line_.requests().value(2), Rtu("01010102000a"));
    EXPECT_EQ(values.mid(1, 10), (QVector<float>{1, 0, 1, 1, 0, 0, 0, 0, 0, 1}));
}

TEST_F(RtuTest, EachFailedCheckIsRetriedOnceThenReportedWithItsText)
{
    // A stopped program clock must not keep the wait going.
    Clock::setFake(QDateTime::currentDateTimeUtc());
    const std::pair<QByteArray, const char*> cases[] = {
        {Bytes("3203020102ffff"), ":Bad CRC or communications noise from instrument at register"},
        {Rtu("3204020102"), ":Incorrect Modbus Code Returned from instrument at register"},
        {Rtu("3203030102"), ":Incorrect Byte Count Returned from instrument at register"},
        {QByteArray(), ":No response from instrument at register"},
    };
    int sent = 0;
    for (const auto& [bad, message] : cases) {
        line_.reply(bad);
        line_.reply(bad);
        read(1, 258, 50, 0x102, 3, 1);
        EXPECT_EQ(code, -1);
        EXPECT_EQ(text, QStringLiteral("Address 050") + message + " 102H (258)");
        EXPECT_EQ(values[1], 7.0f);
        EXPECT_EQ(line_.requests().size(), sent += 2);
    }
}

TEST_F(RtuTest, ExceptionRepliesEndTheCallAtOnce)
{
    line_.reply(Rtu("328302"));
    read(1, 0, 50, 0x102, 3, 1);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(text, "Address 050:Illegal Data Address response from instrument for register 102H");

    // Code 0 is a refusal, not a success.
    line_.reply(Rtu("328300"));
    read(0, 0, 50, 2, 3, 1);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(text, "Address 32:Unknown Error 0 response from instrument for register 2");
    EXPECT_EQ(line_.requests().size(), 2);

    // An exception with a bad CRC is a failed attempt.
    line_.reply(Bytes("3283020000"));
    line_.reply(Rtu("3203020001"));
    read(0, 0, 50, 2, 3, 1);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(line_.requests().size(), 4);

    values[1] = 12.5f;
    line_.reply(Rtu("329003"));
    write(1, 258, 50, 0x102, 3, 1);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(text, "Address 050:Illegal Data Value response from instrument for register 102H (258). Value= 12.5");
}

TEST_F(RtuTest, WritesSendTheSixteenBitPatternAndCheckTheEcho)
{
    values[1] = -1;
    values[2] = 255.5f; // rounds to 256 before the bytes are taken
    values[3] = 254.5f; // half to even: 254
    line_.reply(Rtu("321001020003"));
    write(1, 0, 50, 0x102, 3, 3);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(line_.requests().value(0), Rtu("32100102000306ffff010000fe"));

    values[1] = 3;
    line_.reply(Rtu("32050001ff00"));
    write(0, 0, 50, 2, 1, 1);
    EXPECT_EQ(line_.requests().value(1), Rtu("32050001ff00"));
    values[1] = 0;
    line_.reply(Rtu("32050001ff00"));
    line_.reply(Rtu("320500010000"));
    write(0, 0, 50, 2, 1, 1);
    EXPECT_EQ(line_.requests().value(2), Rtu("320500010000"));
    EXPECT_EQ(code, 0); // the first echo did not match, the second did

    const int before = line_.requests().size();
    values[2] = 32768;
    write(1, 258, 50, 0x102, 3, 2);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(text, "Address 050:Invalid Modbus Write Value 32768 at Register > 102H (258)");
    EXPECT_EQ(line_.requests().size(), before);
}

TEST_F(RtuTest, WhatWaitsBeforeARequestIsDiscarded)
{
    // Bytes after a complete reply stay in the port's buffer; bytes that come
    // between two exchanges wait in the driver. The next exchange sees none.
    line_.reply(Rtu("3203020102") + "xx");
    read(0, 2, 50, 2, 3, 1);
    EXPECT_EQ(values[1], 258.0f);
    pty_.write("late junk");
    // Until the driver has it (a look that takes nothing away).
    const int look = ::open(pty_.slavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    pollfd p{look, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    ::close(look);
    line_.reply(Rtu("3203020007"));
    read(0, 2, 50, 2, 3, 1);
    EXPECT_EQ(text, "");
    EXPECT_EQ(values[1], 7.0f);
    EXPECT_EQ(line_.requests().mid(1), QList<QByteArray>{Rtu("320300010001")}); // no second attempt
}

TEST_F(RtuTest, RefusalsBeforeSendingAndDemoMode)
{
    read(0, 0, 50, 0, 3, 1);
    EXPECT_EQ(text, "Address 32:Invalid Modbus Register > 0");
    read(1, 0, 50, 5, 6, 1);
    EXPECT_EQ(text, "Address 050:Invalid Register Type 6");
    write(1, 0, 50, 5, 2, 1);
    EXPECT_EQ(text, "Address 050:Invalid Register Type 2");
    EXPECT_EQ(code, -1);

    gCommOK = false;
    read(2, 0, 7, 5, 3, 1);
    EXPECT_EQ(text, "Address 007:Selected comm port is not open.");
    gDemoMode = true;
    read(2, 0, 7, 5, 3, 1);
    write(2, 0, 7, 5, 3, 1);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(values[1], 7.0f);
    EXPECT_TRUE(line_.requests().isEmpty());
}

// A line that stops taking output: the far end of the pseudo-terminal reads
// nothing, its buffer full but for a little room. The requests that went
// into that room are still unsent when their attempts fail: once the far
// end reads again, none of them reaches it, and each read that follows gets
// its own answer. The line stays stuck for hours of reads first, on the
// program's fake clock: the reads after it wait for nothing that far back
// (a wait as long would outlast the suite's time-out).
class StalledLineTest : public QxTest {
protected:
    PtyPair pty_;
    ScriptedLine line_{pty_};
};

TEST_F(StalledLineTest, NothingUnsentGoesOutLaterAndTheReadsAfterWaitOnlyForThemselves)
{
    ASSERT_TRUE(pty_.ok());
    ASSERT_TRUE(pty_.stall());
    EXPECT_EQ(pty_.read(64, 1000), QByteArray(64, 'x')); // room for a request or two
    openLine(7, pty_.slavePath(), 200);
    Clock::setFake(QDateTime(QDate(2026, 12, 10), QTime(8, 0), Qt::UTC));

    QString text;
    int code = 99;
    QVector<float> values(2, 7.0f);
    for (int hour = 0; hour < 2; ++hour) {
        ModbusRead_R(1, 0, text, code, 1, 0x102, 3, 1, values);
        EXPECT_EQ(code, -1);
        EXPECT_EQ(text, "Address 001:No response from instrument at register 102H");
        Clock::advanceMs(3600 * 1000);
    }

    const QByteArray stale = pty_.readUntilQuiet(100, 10000);
    EXPECT_FALSE(stale.isEmpty());
    EXPECT_EQ(stale.count('x'), stale.size()) << "a request the line could not take went out later";

    // The first read after the line moves is the stuck one again, then
    // others; each is asked once and answered.
    QList<QByteArray> asked;
    for (int i = 2; i <= 5; ++i) {
        line_.reply(Rtu(QByteArray("010302000" + QByteArray::number(i)).constData()));
        asked << Rtu(QByteArray("0103010" + QByteArray::number(i) + "0001").constData());
    }
    line_.start();
    for (int i = 2; i <= 5; ++i) {
        ModbusRead_R(1, 0, text, code, 1, 0x100 + i, 3, 1, values);
        EXPECT_EQ(code, 0) << text.toStdString();
        EXPECT_EQ(values[1], float(i));
    }
    line_.stop();
    EXPECT_EQ(line_.requests(), asked);
}

} // namespace
