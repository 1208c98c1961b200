// Feeds arbitrary bytes as instrument replies to each read and write routine,
// through the drivers' line seam: a line of ours hands each attempt's reply
// to the driver's framer at once, so no input waits on a port or a clock. An
// application-error box counts as a finding: with value arrays of the right
// size no reply may cause one.
//
// Input: routine, type/group, count/command, split, then the reply bytes; the
// bytes before `split` answer the first attempt, the rest the second. Some
// routine bytes make the line lose its device at the second attempt.
#include <QCoreApplication>
#include <QVector>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "core/exchange.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/msgbox.h"

using namespace modZarn;
using xchg::Collect;
using xchg::ReplyFramer;

namespace {

// Answers each exchange with the next scripted reply, as a line would
// deliver it: character by character until the framer has a whole reply.
class ScriptedLine : public xchg::Line {
public:
    std::deque<QByteArray> replies;
    bool goneAtSecond = false;
    int attempt = 0;

    Collect exchange(const QByteArray&, ReplyFramer& framer) override
    {
        if (++attempt == 2 && goneAtSecond)
            return Collect::Gone;
        QByteArray reply;
        if (!replies.empty()) {
            reply = replies.front();
            replies.pop_front();
        }
        for (char c : reply) {
            switch (framer.take(c)) {
            case ReplyFramer::Step::Complete: return Collect::Complete;
            case ReplyFramer::Step::TooLong: return Collect::TooLong;
            case ReplyFramer::Step::More: break;
            }
        }
        // The line falls silent: a reply complete when idle ends here, any
        // other runs into the time-out.
        return framer.completeWhenIdle() ? Collect::Stopped : Collect::TimedOut;
    }
};

ScriptedLine gLine;

const int kCommands[] = {0, 5, 0x12, 0x101, 0x150, 0x199, 0x201, 0x301, 0x400, 0x700, 0x701, 0x702, 0x730, 0x735};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    xchg::UseLine(&gLine);
    gCommOK = true;
    mb::setHandler([](const mb::Call& c) -> int {
        std::fprintf(stderr, "application error box: %s\n", qPrintable(c.text));
        std::abort();
    });
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
    gLine.replies = {replies.left(split), replies.mid(split)};
    gLine.attempt = 0;
    gLine.goneAtSecond = (data[0] / 7) % 8 == 7;
    xchg::SetLineGone(false);
    gCommOK = true;

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
