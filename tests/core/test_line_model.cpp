// The program's serial line, drivers and all, against a model line of
// instruments that answer late, serve their requests in turn, are switched
// off or noisy, on the fake clock. Seeded random sequences of what the
// screens send; QX_LINE_SEED=<n> replays one sequence and prints its calls.
#include <QDateTime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>

#include "core/exchange.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/clock.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

// ---- The wire, written here on its own ----
constexpr char STX = 2, ACK = 6;

QByteArray Crc(const QByteArray& bytes, quint8 spoil)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    const char two[] = {char((crc & 0xFF) ^ spoil), char(crc >> 8)};
    return QByteArray(two, 2);
}
quint8 ByteSum(const QByteArray& bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    return sum;
}
QByteArray Hex(quint8 byte) { return QByteArray(1, char(byte)).toHex().toUpper(); }

// Every register of every instrument holds its own value, 100 to 9099.
int ValueOf(int address, int reg) { return 100 + (address * 7919 + reg * 104729) % 9000; }

struct Instrument {
    char protocol = 'R'; // 'R' Modbus RTU, 'A' Modbus ASCII, 'Z' "Zarn Link"
    int address = 1;
    bool on = true;
    double noise = 0;   // share of answers with a bad CRC, LRC or checksum
    double slowest = 0; // the most time-outs it takes over a request (at most 2.5)
    bool onTheBeat = false; // it takes whole quarters of a time-out: answers come as attempts end
    qint64 busyUntil = 0;
};

// What the model knows of each request the program sent.
struct Sent {
    qint64 at = 0;
    qint64 attemptMs = 0;
    qint64 over = -1;     // the attempt ended: the next request or the call's end
    int instrument = -1;  // -1: no instrument hears it
    int head = -1;        // the function (Modbus), 0 ("Zarn Link")
    QByteArray request;
    qint64 answerAt = -1; // the answer leaves then (-1: never)
    bool noisy = false;
};

// The line: requests go to the instrument they name, answers come whole at
// their time, on the fake clock.
class ModelPort : public xchg::LinePort {
public:
    std::vector<Instrument> line;
    std::vector<Sent> sent;
    std::mt19937* rng = nullptr;
    bool verbose = false;

    qint64 nowMs() const override { return now_; }
    void advance(qint64 ms) { now_ += ms; }
    bool isOpen() override { return true; }
    bool discardInput() override
    {
        deliver();
        rx_.clear();
        return true;
    }
    bool send(const QByteArray& data, qint64) override
    {
        callOver();
        Sent s;
        s.at = now_;
        s.attemptMs = xchg::AttemptMs();
        s.request = data;
        serve(s);
        if (verbose)
            std::printf("  %8lld    sent %s -> %s, answer at %lld%s\n", static_cast<long long>(now_),
                        data.toHex().constData(), s.instrument < 0 ? "nobody" : "instrument",
                        static_cast<long long>(s.answerAt), s.noisy ? " (noisy)" : "");
        sent.push_back(s);
        return true;
    }
    void discardOutput() override {}
    bool waitForInput(int ms) override
    {
        deliver();
        if (!rx_.isEmpty())
            return true;
        if (!coming_.empty() && coming_.begin()->first <= now_ + ms) {
            now_ = std::max(now_, coming_.begin()->first);
            deliver();
            return true;
        }
        now_ += ms;
        return false;
    }
    QByteArray take(int max) override
    {
        deliver();
        const QByteArray got = rx_.left(max);
        rx_.remove(0, got.size());
        return got;
    }
    bool takeNoise() override { return false; }
    int openings() const override { return openings_; }

    // Setup OK, a search probe or a new time-out: what waits in the port's
    // buffer is gone, and the instruments answer on.
    void reopen()
    {
        ++openings_;
        discardInput();
    }
    void callOver()
    {
        if (!sent.empty() && sent.back().over < 0)
            sent.back().over = now_;
    }

private:
    void deliver()
    {
        while (!coming_.empty() && coming_.begin()->first <= now_) {
            rx_ += coming_.begin()->second;
            coming_.erase(coming_.begin());
        }
    }

    // Finds who is asked; an instrument that is on queues its answer.
    void serve(Sent& s)
    {
        const QByteArray& r = s.request;
        // An RTU request to address 58 starts with ':' too.
        const bool ascii = r.startsWith(':') && r.endsWith("\r\n");
        const char protocol = r.startsWith(STX) && r[1] == 'Z' ? 'Z' : ascii ? 'A' : 'R';
        // Modbus: the request without its check, as bytes.
        const QByteArray pdu = ascii ? QByteArray::fromHex(r.mid(1, r.size() - 5)) : r.left(r.size() - 2);
        if (pdu.size() < 2)
            return;
        const int address = protocol == 'Z' ? r.mid(2, 2).toInt(nullptr, 16) : quint8(pdu[0]);
        s.head = protocol == 'Z' ? 0 : quint8(pdu[1]);
        for (size_t i = 0; i < line.size(); ++i) {
            Instrument& n = line[i];
            if (n.protocol != protocol || n.address != address)
                continue;
            s.instrument = int(i);
            if (!n.on)
                return;
            double late = std::uniform_real_distribution<double>(0, n.slowest)(*rng);
            if (n.onTheBeat)
                late = std::floor(late * 4) / 4;
            n.busyUntil = std::max(s.at, n.busyUntil) + qint64(late * double(s.attemptMs));
            s.answerAt = n.busyUntil;
            s.noisy = std::uniform_real_distribution<double>(0, 1)(*rng) < n.noise;
            coming_.emplace(s.answerAt, answer(protocol, address, r, pdu, s.noisy));
            return;
        }
    }

    // A read answers its register's value; a write, its echo ("Zarn Link":
    // its address alone).
    static QByteArray answer(char protocol, int address, const QByteArray& r, const QByteArray& pdu, bool noisy)
    {
        if (protocol == 'Z') {
            const int cmd = r.mid(4, 4).toInt(nullptr, 16);
            QByteArray body = "Z" + r.mid(2, 2);
            if (cmd < 0x200) // reads 101H..: "00" and four digits
                body += "00" + QByteArray::number(ValueOf(address, cmd)).rightJustified(4, '0');
            return STX + body + Hex(quint8(ByteSum(body) ^ noisy)) + ACK;
        }
        QByteArray a = pdu.left(6);
        if (pdu[1] == 3) {
            const int v = ValueOf(address, quint8(pdu[2]) * 256 + quint8(pdu[3]));
            a = pdu.left(2) + char(2) + char(v >> 8) + char(v & 0xFF);
        }
        if (protocol == 'A')
            return ":" + a.toHex().toUpper() + Hex(quint8(-ByteSum(a) ^ noisy)) + "\r\n";
        return a + Crc(a, noisy ? 0x5A : 0);
    }

    qint64 now_ = 0;
    QByteArray rx_;
    std::multimap<qint64, QByteArray> coming_;
    int openings_ = 1;
};

// ---- What the screens send ----

// A sequence mixes everything the screens send, or dwells on one pattern a
// screen repeats with instruments that are on, sound and slow (its name
// says which in a failure).
enum class Kind { Mixed, TwoInstruments, SameReadTwice, VaryingLateness, Reopens, WriteThenRead, Count };
const char* const kKindNames[] = {"mixed", "two instruments, one slow", "the same read twice, then the other",
                                  "lateness varying per request", "reopens", "a write, then a read of it"};

enum class Fault { WrongValue, NeedlessWait, AnswerMissed };
const char* const kFaultNames[] = {"another request's value", "a needless wait", "its own answer missed"};

class Sequence {
public:
    Sequence(unsigned seed, bool verbose) : seed_(seed), rng_(seed), verbose_(verbose) {}

    // Runs the sequence; "" when every call held, else what went wrong.
    std::string run()
    {
        port_.rng = &rng_;
        port_.verbose = verbose_;
        kind_ = Kind(pick(0, int(Kind::Count) - 1));
        build();
        const std::unique_ptr<xchg::Line> line = xchg::MakeSerialLine(port_);
        xchg::UseLine(line.get());
        gPollTimeoutMs = kTimeOuts[pick(0, 3)];
        for (int a = kind_ == Kind::Mixed ? 14 : 8; a > 0; --a)
            action();
        xchg::UseLine(nullptr);
        if (failure_.empty())
            return {};
        return "seed " + std::to_string(seed_) + " (" + kKindNames[int(kind_)] + "): " + failure_;
    }
    // Which pattern, and what went wrong first.
    std::pair<Kind, Fault> what() const { return {kind_, fault_}; }

private:
    static constexpr int kTimeOuts[] = {20, 100, 500, 2000};

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

    // Up to eight instruments in all three protocols, unique addresses (2
    // among them: an RTU address that is STX).
    void build()
    {
        const int n = kind_ == Kind::Mixed ? pick(1, 8) : kind_ == Kind::TwoInstruments ? 2 : 1;
        std::vector<int> addresses = {1, 2, 3, 5, 17, 50, 51, 100, 200, 255};
        std::shuffle(addresses.begin(), addresses.end(), rng_);
        for (int i = 0; i < n; ++i) {
            Instrument m{"RAZ"[pick(0, 2)], addresses[size_t(i)]};
            m.slowest = chance(0.3) ? 0.4 : 2.5 * std::uniform_real_distribution<double>(0, 1)(rng_);
            m.on = !chance(0.2);
            m.noise = chance(0.2) ? 0.3 : 0;
            m.onTheBeat = chance(0.3);
            if (kind_ != Kind::Mixed) {
                m.on = true;
                m.noise = 0;
                m.slowest = 2.5;
            }
            if (kind_ == Kind::WriteThenRead)
                m.protocol = "RA"[pick(0, 1)];
            if (kind_ == Kind::TwoInstruments && i == 1) { // quick, and off or noisy
                m.on = chance(0.5);
                m.noise = m.on ? 0.5 : 0;
                m.slowest = 0.3;
            }
            port_.line.push_back(m);
        }
    }

    void action()
    {
        const int n = int(port_.line.size());
        switch (kind_) {
        case Kind::TwoInstruments: return monitorPass();
        case Kind::SameReadTwice:
            read(0, 0);
            read(0, 0);
            read(0, 1);
            return;
        case Kind::VaryingLateness:
        case Kind::Reopens:
            read(0, a_++ % 2);
            if (kind_ == Kind::Reopens && chance(0.7))
                reopen(chance(0.3));
            return;
        case Kind::WriteThenRead:
            ask(port_.line[0].protocol, port_.line[0].address, 0, true);
            read(0, 0);
            return;
        default: break;
        }
        idle();
        switch (pick(0, 6)) {
        case 0: return monitorPass();
        case 1: { // graph pens
            const int pens = pick(1, std::min(4, n));
            for (int s = pick(1, 4); s > 0; --s) {
                for (int p = 0; p < pens; ++p)
                    read(p, 0);
                idle();
            }
            return;
        }
        case 2: // logging
            for (int s = pick(1, 4); s > 0; --s) {
                read(pick(0, n - 1), 0);
                idle();
            }
            return;
        case 3: { // register access: reads, repeated reads and writes
            const Instrument& m = port_.line[size_t(pick(0, n - 1))];
            for (int s = pick(1, 5); s > 0; --s) {
                const int reg = pick(0, 3);
                if (chance(0.3))
                    ask(m.protocol, m.address, reg, true);
                else
                    for (int r = pick(1, 3); r > 0; --r)
                        ask(m.protocol, m.address, reg);
            }
            return;
        }
        case 4: { // a search: each probe reopens the port
            const char protocol = "RAZ"[pick(0, 2)];
            for (int probe = pick(2, 6); probe > 0; --probe) {
                reopen(false);
                ask(protocol, chance(0.5) ? port_.line[size_t(pick(0, n - 1))].address : pick(1, 255), 0);
            }
            return;
        }
        default: // Setup OK: the port reopens, maybe with a new time-out
            return reopen(chance(0.5));
        }
    }

    // Each row reads its set point only after its process value.
    void monitorPass()
    {
        for (int i = 0; i < int(port_.line.size()); ++i)
            if (read(i, 0))
                read(i, 1);
    }
    void idle()
    {
        if (chance(0.5))
            port_.advance(qint64(pick(0, 30)) * gPollTimeoutMs / 10);
    }
    void reopen(bool newTimeOut)
    {
        if (newTimeOut)
            gPollTimeoutMs = kTimeOuts[pick(0, 3)];
        note("reopen, time-out " + std::to_string(gPollTimeoutMs));
        port_.reopen();
    }
    bool read(int i, int which) { return ask(port_.line[size_t(i)].protocol, port_.line[size_t(i)].address, which); }

    // One read or write through the program's drivers, checked against the
    // model; true when it was good.
    bool ask(char protocol, int address, int which, bool writing = false)
    {
        const int reg = 0x101 + which;
        const float value = float(ValueOf(address, reg));
        QString text;
        int code = 99;
        float got = -1;
        QByteArray reply;
        QVector<float> values(2, writing ? value : -1.0f);
        const size_t before = port_.sent.size();
        const qint64 start = port_.nowMs();
        const int attemptMs = xchg::AttemptMs();
        if (protocol == 'Z' && writing) {
            ZarnLinkWrite(text, code, address, reg + 0x100, value, 0, reply, false);
        } else if (protocol == 'Z') {
            QString valueText, unit, format;
            float divisor = 0, raw = 0;
            int alarm1 = 0, alarm2 = 0;
            ZarnLinkRead(text, code, address, reg, valueText, unit, format, got, divisor, alarm1, alarm2, 0, reply,
                         raw);
        } else {
            if (protocol == 'R')
                (writing ? ModbusWrite_R : ModbusRead_R)(1, 0, text, code, address, reg, 3, 1, values);
            else
                (writing ? ModbusWrite_A : ModbusRead_A)(2, 0, text, code, address, reg, 3, 1, values);
            got = values[1];
        }
        port_.callOver();
        const std::string what = (writing ? "write of " : "read of ") + std::string(1, protocol) + " "
                                 + std::to_string(address) + "/" + QByteArray::number(reg, 16).toStdString();
        note(what + ": " + (code == 0 ? "good" : text.toStdString()));
        if (!writing && code == 0 && got != value)
            fail(Fault::WrongValue, what + " returned " + std::to_string(got) + " as good, its value is "
                                        + std::to_string(ValueOf(address, reg)));
        if (port_.sent.size() == before)
            return code == 0;
        // Nothing owed could pass for its reply but the answers to requests
        // identical to it: it goes out at once.
        bool nothingElse = true;
        owedBefore(before, &nothingElse);
        if (nothingElse && port_.sent[before].at - start > attemptMs / 2)
            fail(Fault::NeedlessWait, what + " waited " + std::to_string(port_.sent[before].at - start)
                                          + " ms with nothing owed that could pass for its reply");
        // An attempt's own answer came whole and sound within its time, with
        // nothing owed before it that could pass for it: the call is good,
        // whatever answers to other requests came first.
        for (size_t k = before; k < port_.sent.size(); ++k) {
            const Sent& a = port_.sent[k];
            if (a.answerAt >= 0 && !a.noisy && a.answerAt < a.at + a.attemptMs && !owedBefore(k) && code != 0)
                fail(Fault::AnswerMissed, what + " failed (" + text.toStdString() + ") though its answer came in time");
        }
        return code == 0;
    }

    // Whether the instrument of request `k` may still owe, when it is sent,
    // an answer of the same head: an earlier request not answered within
    // its attempt. `nothingElse` is cleared when one of them asked
    // something else (those identical to request k ask the same).
    bool owedBefore(size_t k, bool* nothingElse = nullptr) const
    {
        const Sent& r = port_.sent[k];
        bool owed = false;
        for (size_t i = 0; i < k; ++i) {
            const Sent& e = port_.sent[i];
            if (r.instrument < 0 || e.instrument != r.instrument || e.head != r.head)
                continue;
            if (e.answerAt >= 0 && e.answerAt < std::min(e.over, e.at + e.attemptMs))
                continue;
            owed = true;
            if (nothingElse && e.request != r.request)
                *nothingElse = false;
        }
        return owed;
    }

    void note(const std::string& s)
    {
        if (verbose_)
            std::printf("  %8lld  %s\n", static_cast<long long>(port_.nowMs()), s.c_str());
    }
    void fail(Fault f, const std::string& s)
    {
        if (!failure_.empty())
            return;
        fault_ = f;
        failure_ = s;
    }

    unsigned seed_;
    std::mt19937 rng_;
    bool verbose_;
    Kind kind_ = Kind::Mixed;
    ModelPort port_;
    std::string failure_;
    Fault fault_ = Fault::WrongValue;
    int a_ = 0;
};

class LineModelTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        gCommOK = true;
        Clock::setFake(QDateTime(QDate(2026, 12, 10), QTime(8, 0), Qt::UTC));
    }
};

unsigned FromEnvironment(const char* name, unsigned otherwise)
{
    const char* value = std::getenv(name);
    return value ? unsigned(std::strtoul(value, nullptr, 10)) : otherwise;
}

// Every value returned as good is its own register's, no request waits
// where no owed answer could pass for its reply, and an answer that comes
// in time with nothing owed before it is taken.
TEST_F(LineModelTest, NoValueOfAnotherRequestAndNoNeedlessWait)
{
    if (std::getenv("QX_LINE_SEED")) {
        EXPECT_EQ(Sequence(FromEnvironment("QX_LINE_SEED", 0), true).run(), "");
        return;
    }
    const unsigned sequences = FromEnvironment("QX_LINE_SEQUENCES", 10000), base = FromEnvironment("QX_LINE_BASE", 1);
    unsigned failed = 0;
    std::map<std::pair<Kind, Fault>, int> counts; // two failures of each are shown
    for (unsigned seed = base; seed < base + sequences; ++seed) {
        Sequence sequence(seed, false);
        const std::string failure = sequence.run();
        if (failure.empty())
            continue;
        ++failed;
        if (counts[sequence.what()]++ < 2)
            ADD_FAILURE() << failure << "\n  replay: QX_LINE_SEED=" << seed;
    }
    for (const auto& [what, count] : counts)
        std::printf("%s: %s in %d sequences\n", kKindNames[int(what.first)], kFaultNames[int(what.second)], count);
    EXPECT_EQ(failed, 0u) << "of " << sequences << " sequences";
}

} // namespace
