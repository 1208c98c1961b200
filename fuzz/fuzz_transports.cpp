// Feeds arbitrary bytes as instrument replies to each read and write routine.
// The program's port is opened on the slave side of a pseudo-terminal; a
// thread on the master side answers every request with the next reply the
// input scripts. An application-error box counts as a finding: with value
// arrays of the right size no reply may cause one.
//
// Input: routine, type/group, count/command, split, then the reply bytes; the
// bytes before `split` answer the first attempt, the rest the second.
#include <QCoreApplication>
#include <QVector>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

#include "core/state.h"
#include "core/transports.h"
#include "platform/msgbox.h"
#include "platform/serialport.h"

using namespace modZarn;

namespace {

int gMaster = -1;
std::mutex gMutex;
std::deque<QByteArray> gReplies;

void Responder()
{
    char buf[512];
    for (;;) {
        pollfd p{gMaster, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0)
            continue;
        if (read(gMaster, buf, sizeof buf) <= 0)
            continue;
        QByteArray reply;
        {
            std::lock_guard<std::mutex> lock(gMutex);
            if (!gReplies.empty()) {
                reply = gReplies.front();
                gReplies.pop_front();
            }
        }
        for (qsizetype done = 0; done < reply.size();) {
            const ssize_t n = write(gMaster, reply.constData() + done, size_t(reply.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
    }
}

const int kCommands[] = {0, 5, 0x12, 0x101, 0x150, 0x199, 0x201, 0x301, 0x400, 0x700, 0x701, 0x702, 0x730, 0x735};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    int slave = -1;
    char name[256];
    if (openpty(&gMaster, &slave, name, nullptr, nullptr) != 0)
        std::abort();
    qputenv("QUINREX3_COM1", name);
    CommPort().setCommPort(1);
    CommPort().setPortOpen(true);
    gCommOK = true;
    gPollTimeoutMs = 10;
    mb::setHandler([](const mb::Call& c) -> int {
        std::fprintf(stderr, "application error box: %s\n", qPrintable(c.text));
        std::abort();
    });
    std::thread(Responder).detach();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const int routine = data[0] % 7;
    const int type = 1 + data[1] % 5;
    const int group = (data[1] >> 4) % 3;
    const int count = 1 + data[2] % 20;
    const int cmd = kCommands[data[2] % std::size(kCommands)];
    const QByteArray replies(reinterpret_cast<const char*>(data + 4), qsizetype(size - 4));
    const qsizetype split = replies.isEmpty() ? 0 : data[3] % (replies.size() + 1);
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gReplies = {replies.left(split), replies.mid(split)};
    }

    QString text, valueText, unit, format;
    int code = 0, alarm1 = 0, alarm2 = 0;
    float value = 0, divisor = 0, raw = 0;
    QByteArray reply;
    QVector<float> values(count + 1, float(data[3]) - 100);
    switch (routine) {
    case 0: ModbusRead_R(group, 1, text, code, 1, 258, type, count, values); break;
    case 1: ModbusWrite_R(group, 1, text, code, 1, 258, type == 1 ? 1 : 3, count, values); break;
    case 2: ModbusRead_A(group, 1, text, code, 1, 258, type, count, values); break;
    case 3: ModbusWrite_A(group, 1, text, code, 1, 258, type == 1 ? 1 : 3, count, values); break;
    case 4:
        ZarnLinkRead(text, code, 0x32, cmd, valueText, unit, format, value, divisor, alarm1, alarm2,
                     2, reply, raw);
        break;
    case 5: ZarnLinkWrite(text, code, 0x32, cmd, float(data[3]) - 100, 2, reply, type & 1); break;
    default: Decode(replies.left(6), value, divisor, unit, format); break;
    }
    // A success must carry no text, a failure must say why.
    if ((code == 0) != text.isEmpty()) {
        std::fprintf(stderr, "code %d with text \"%s\"\n", code, qPrintable(text));
        std::abort();
    }
    return 0;
}
