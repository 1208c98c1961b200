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
#include <set>
#include <sstream>

#include "core/exchange.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/clock.h"
#include "support/testenv.h"

using namespace modZarn;

namespace {

// ---- The wire, written here on its own ----
constexpr char STX = 2, ETX = 3, ACK = 6;

QByteArray Crc(const QByteArray& bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    QByteArray two;
    two.append(char(crc & 0xFF));
    two.append(char(crc >> 8));
    return two;
}
QByteArray HexOf(const QByteArray& bytes) { return bytes.toHex().toUpper(); }
QByteArray Lrc(const QByteArray& bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum += quint8(c);
    return HexOf(QByteArray(1, char(quint8(-sum))));
}
QByteArray Sum(const QByteArray& text)
{
    quint8 sum = 0;
    for (char c : text)
        sum += quint8(c);
    return HexOf(QByteArray(1, char(sum)));
}
int Word(const QByteArray& b, int at) { return quint8(b[at]) * 256 + quint8(b[at + 1]); }

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
    qint64 over = 0;       // the attempt ended: the next request or the call's end
    int instrument = -1;   // -1: no instrument hears it
    int head = -1;         // the function (Modbus), 0 ("Zarn Link")
    QByteArray request;
    qint64 answerAt = -1;  // the answer leaves then (-1: never)
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
        const qint64 now = now_;
        if (!sent.empty() && sent.back().over < 0)
            sent.back().over = now;
        Sent s;
        s.at = now;
        s.attemptMs = xchg::AttemptMs();
        s.over = -1;
        s.request = data;
        serve(s);
        if (verbose)
            std::printf("  %8lld    sent %s -> %s, answer at %lld%s\n", static_cast<long long>(now),
                        s.request.toHex().constData(), s.instrument < 0 ? "nobody" : "instrument",
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
        const qint64 now = now_;
        if (!coming_.empty() && coming_.begin()->first <= now + ms) {
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
        deliver();
        rx_.clear();
    }
    void callOver()
    {
        if (!sent.empty() && sent.back().over < 0)
            sent.back().over = now_;
    }

private:
    void deliver()
    {
        const qint64 now = now_;
        while (!coming_.empty() && coming_.begin()->first <= now) {
            rx_ += coming_.begin()->second;
            coming_.erase(coming_.begin());
        }
    }

    // Finds who is asked; an instrument that is on queues the answer.
    void serve(Sent& s)
    {
        const QByteArray& r = s.request;
        char protocol = 'R';
        int address = 0;
        if (r.size() > 4 && r[0] == STX && r[1] == 'Z') {
            protocol = 'Z';
            address = r.mid(2, 2).toInt(nullptr, 16);
            s.head = 0;
        } else if (r.startsWith(':') && r.endsWith("\r\n")) {
            protocol = 'A';
            const QByteArray bytes = QByteArray::fromHex(r.mid(1, r.size() - 3));
            if (bytes.size() < 2)
                return;
            address = quint8(bytes[0]);
            s.head = quint8(bytes[1]);
        } else {
            address = quint8(r[0]);
            s.head = quint8(r[1]);
        }
        for (int i = 0; i < int(line.size()); ++i) {
            Instrument& n = line[size_t(i)];
            if (n.protocol != protocol || n.address != address)
                continue;
            s.instrument = i;
            if (!n.on)
                return;
            double late = std::uniform_real_distribution<double>(0, n.slowest)(*rng);
            if (n.onTheBeat)
                late = std::floor(late * 4) / 4;
            const qint64 start = std::max(s.at, n.busyUntil);
            n.busyUntil = start + qint64(late * double(s.attemptMs));
            s.answerAt = n.busyUntil;
            s.noisy = std::uniform_real_distribution<double>(0, 1)(*rng) < n.noise;
            coming_.emplace(s.answerAt, answer(protocol, r, s.noisy));
            return;
        }
    }

    static QByteArray answer(char protocol, const QByteArray& r, bool noisy)
    {
        QByteArray a;
        if (protocol == 'Z') {
            // Reads 101H.. answer "00" and four digits; writes nothing.
            const int cmd = r.mid(4, 4).toInt(nullptr, 16);
            QByteArray body = "Z" + r.mid(2, 2);
            if (cmd < 0x200)
                body += "00" + QByteArray::number(ValueOf(r.mid(2, 2).toInt(nullptr, 16), cmd)).rightJustified(4, '0');
            QByteArray sum = Sum(body);
            if (noisy)
                sum[1] = sum[1] == '0' ? '1' : '0';
            return STX + body + sum + ACK;
        }
        const QByteArray req = protocol == 'A' ? QByteArray::fromHex(r.mid(1, r.size() - 3)) : r.left(r.size() - 2);
        const int fn = quint8(req[1]);
        if (fn == 3) {
            a = req.left(2) + char(2);
            const int v = ValueOf(quint8(req[0]), Word(req, 2));
            a += char(v >> 8);
            a += char(v & 0xFF);
        } else {
            a = req.left(6); // the echo of a write
        }
        if (protocol == 'A') {
            QByteArray lrc = Lrc(a);
            if (noisy)
                lrc[1] = lrc[1] == '0' ? '1' : '0';
            return ":" + HexOf(a) + lrc + "\r\n";
        }
        QByteArray crc = Crc(a);
        if (noisy)
            crc[0] = char(crc[0] ^ 0x5A);
        return a + crc;
    }

    qint64 now_ = 0;
    QByteArray rx_;
    std::multimap<qint64, QByteArray> coming_;
    int openings_ = 1;
};

// ---- What the screens send ----

// A sequence mixes everything the screens send, or dwells on one pattern a
// screen repeats (its name says which in a failure).
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
        xchg_ = xchg::MakeSerialLine(port_);
        xchg::UseLine(xchg_.get());
        gPollTimeoutMs = timeOuts_[size_t(pick(0, 3))];
        const int actions = kind_ == Kind::Mixed ? 14 : 8;
        for (int a = 0; a < actions; ++a)
            action();
        xchg::UseLine(nullptr);
        if (failure_.empty())
            return {};
        std::ostringstream out;
        out << "seed " << seed_ << " (" << kKindNames[int(kind_)] << "): " << failure_;
        return out.str();
    }
    Kind kind() const { return kind_; }
    const std::set<int>& faults() const { return faults_; }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

    // The line: up to eight instruments in all three protocols, unique
    // addresses (2 among them: an RTU address that is STX).
    void build()
    {
        const int n = kind_ == Kind::Mixed ? pick(1, 8) : kind_ == Kind::TwoInstruments ? 2 : 1;
        std::vector<int> addresses = {1, 2, 3, 5, 17, 50, 51, 100, 200, 255};
        std::shuffle(addresses.begin(), addresses.end(), rng_);
        const char protocols[] = {'R', 'A', 'Z'};
        for (int i = 0; i < n; ++i) {
            Instrument m;
            m.protocol = protocols[pick(0, 2)];
            m.address = addresses[size_t(i)];
            m.slowest = chance(0.3) ? 0.4 : 2.5 * std::uniform_real_distribution<double>(0, 1)(rng_);
            m.on = !chance(0.2);
            m.noise = chance(0.2) ? 0.3 : 0;
            m.onTheBeat = chance(0.3);
            switch (kind_) {
            case Kind::TwoInstruments:
                // One slow; the other off or noisy.
                if (i == 0) {
                    m.on = true;
                    m.noise = 0;
                    m.slowest = 2.5;
                } else {
                    m.on = chance(0.5);
                    m.noise = m.on ? 0.5 : 0;
                    m.slowest = 0.3;
                }
                break;
            case Kind::SameReadTwice:
            case Kind::VaryingLateness:
            case Kind::Reopens:
                m.on = true;
                m.noise = 0;
                m.slowest = 2.5;
                break;
            case Kind::WriteThenRead:
                m.protocol = chance(0.5) ? 'R' : 'A';
                m.on = true;
                m.noise = 0;
                m.slowest = 2.5;
                break;
            default: break;
            }
            port_.line.push_back(m);
        }
    }

    void action()
    {
        const int n = int(port_.line.size());
        switch (kind_) {
        case Kind::TwoInstruments:
            // The monitor: the slow one's process value and set point, the other's.
            for (int i = 0; i < 2; ++i)
                if (read(i, 0))
                    read(i, 1);
            return;
        case Kind::SameReadTwice:
            read(0, 0);
            read(0, 0);
            read(0, 1);
            return;
        case Kind::VaryingLateness:
            read(0, a_++ % 2);
            return;
        case Kind::Reopens:
            read(0, a_++ % 2);
            if (chance(0.7))
                reopen(chance(0.3));
            return;
        case Kind::WriteThenRead:
            write(0, 0);
            read(0, 0);
            return;
        default: break;
        }
        idle();
        switch (pick(0, 6)) {
        case 0: // a monitor pass: each row stops at its first failure
            for (int i = 0; i < n; ++i)
                if (read(i, 0))
                    read(i, 1);
            return;
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
            const int i = pick(0, n - 1);
            for (int s = pick(1, 5); s > 0; --s) {
                const int reg = pick(0, 3);
                if (chance(0.3))
                    write(i, reg);
                else
                    for (int r = pick(1, 3); r > 0; --r)
                        read(i, reg);
            }
            return;
        }
        case 4: { // a search: each probe reopens the port
            const char protocol = "RAZ"[pick(0, 2)];
            for (int probe = pick(2, 6); probe > 0; --probe) {
                reopen(false);
                const int address = chance(0.5) ? port_.line[size_t(pick(0, n - 1))].address : pick(1, 255);
                readAt(protocol, address, 0);
            }
            return;
        }
        default: // Setup OK: the port reopens, maybe with a new time-out
            reopen(chance(0.5));
            return;
        }
    }

    void idle()
    {
        if (chance(0.5))
            port_.advance(qint64(pick(0, 30)) * gPollTimeoutMs / 10);
    }
    void reopen(bool newTimeOut)
    {
        if (newTimeOut)
            gPollTimeoutMs = timeOuts_[size_t(pick(0, 3))];
        note("reopen, time-out " + std::to_string(gPollTimeoutMs));
        port_.reopen();
    }

    bool read(int i, int reg)
    {
        const Instrument& m = port_.line[size_t(i)];
        return readAt(m.protocol, m.address, reg);
    }

    // One read through the program's drivers; true when it was good.
    bool readAt(char protocol, int address, int which)
    {
        const int reg = 0x101 + which;
        QString text;
        int code = 99;
        float got = -1;
        call([&] {
            if (protocol == 'Z') {
                QString valueText, unit, format;
                float divisor = 0, raw = 0;
                int alarm1 = 0, alarm2 = 0;
                QByteArray reply;
                ZarnLinkRead(text, code, address, reg, valueText, unit, format, got, divisor, alarm1, alarm2, 0,
                             reply, raw);
            } else {
                QVector<float> values(2, -1.0f);
                if (protocol == 'R')
                    ModbusRead_R(1, 0, text, code, address, reg, 3, 1, values);
                else
                    ModbusRead_A(2, 0, text, code, address, reg, 3, 1, values);
                got = values[1];
            }
        }, protocol, address, reg, code, text);
        if (code == 0 && got != float(ValueOf(address, reg)))
            fail(Fault::WrongValue, "read of " + who(protocol, address, reg) + " returned " + std::to_string(got)
                                        + " as good, its value is " + std::to_string(ValueOf(address, reg)));
        return code == 0;
    }

    void write(int i, int which)
    {
        const Instrument& m = port_.line[size_t(i)];
        const int reg = 0x101 + which;
        QString text;
        int code = 99;
        call([&] {
            if (m.protocol == 'Z') {
                QByteArray reply;
                ZarnLinkWrite(text, code, m.address, reg + 0x100, float(ValueOf(m.address, reg)), 0, reply, false);
            } else {
                QVector<float> values(2, float(ValueOf(m.address, reg)));
                if (m.protocol == 'R')
                    ModbusWrite_R(1, 0, text, code, m.address, reg, 3, 1, values);
                else
                    ModbusWrite_A(2, 0, text, code, m.address, reg, 3, 1, values);
            }
        }, m.protocol, m.address, reg, code, text, true);
    }

    // Runs one driver call and checks how long its request waited and that
    // an answer of its own that came in time was taken.
    template <class F>
    void call(F&& f, char protocol, int address, int reg, const int& code, const QString& text, bool writing = false)
    {
        const size_t before = port_.sent.size();
        const qint64 start = port_.nowMs();
        const int attemptMs = xchg::AttemptMs();
        f();
        port_.callOver();
        const std::string what = std::string(writing ? "write of " : "read of ") + who(protocol, address, reg);
        note(what + ": " + (code == 0 ? std::string("good") : text.toStdString()));
        if (port_.sent.size() == before)
            return;
        const Sent& first = port_.sent[before];
        // Nothing owed could pass for its reply but the answers to requests
        // identical to it: it goes out at once.
        bool nothingElse = true;
        owedBefore(before, &nothingElse);
        if (nothingElse && first.at - start > attemptMs / 2)
            fail(Fault::NeedlessWait, what + " waited " + std::to_string(first.at - start)
                                          + " ms with nothing owed that could pass for its reply");
        // An attempt's own answer came whole and sound within its time, with
        // nothing owed before it that could pass for it: the call is good,
        // whatever answers to other requests came first.
        for (size_t k = before; k < port_.sent.size(); ++k) {
            const Sent& a = port_.sent[k];
            if (a.answerAt >= 0 && !a.noisy && a.answerAt < a.at + a.attemptMs && !owedBefore(k) && code != 0)
                fail(Fault::AnswerMissed,
                     what + " failed (" + text.toStdString() + ") though its answer came in time");
        }
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

    std::string who(char protocol, int address, int reg) const
    {
        std::ostringstream out;
        out << protocol << " " << address << "/" << std::hex << reg;
        return out.str();
    }
    void note(const std::string& s)
    {
        if (verbose_)
            std::printf("  %8lld  %s\n", static_cast<long long>(port_.nowMs()), s.c_str());
    }
    void fail(Fault f, const std::string& s)
    {
        faults_.insert(int(f));
        if (failure_.empty())
            failure_ = s;
    }

    unsigned seed_;
    std::mt19937 rng_;
    bool verbose_;
    Kind kind_ = Kind::Mixed;
    ModelPort port_;
    std::unique_ptr<xchg::Line> xchg_;
    std::string failure_;
    std::set<int> faults_;
    int a_ = 0;
    const std::vector<int> timeOuts_ = {20, 100, 500, 2000};
};

class LineModelTest : public QxTest {
protected:
    void SetUp() override
    {
        QxTest::SetUp();
        gCommOK = true;
        Clock::setFake(QDateTime(QDate(2026, 12, 10), QTime(8, 0), Qt::UTC));
    }
    void TearDown() override
    {
        xchg::UseLine(nullptr);
        QxTest::TearDown();
    }
};

// Every value returned as good is its own register's, no request waits
// where no owed answer could pass for its reply, and an answer that comes
// in time with nothing owed before it is taken.
TEST_F(LineModelTest, NoValueOfAnotherRequestAndNoNeedlessWait)
{
    if (const char* replay = std::getenv("QX_LINE_SEED")) {
        const unsigned seed = unsigned(std::strtoul(replay, nullptr, 10));
        const std::string failure = Sequence(seed, true).run();
        EXPECT_EQ(failure, "");
        return;
    }
    const int sequences = std::getenv("QX_LINE_SEQUENCES") ? std::atoi(std::getenv("QX_LINE_SEQUENCES")) : 10000;
    const unsigned base = std::getenv("QX_LINE_BASE") ? unsigned(std::atoi(std::getenv("QX_LINE_BASE"))) : 1;
    int failed = 0;
    std::map<std::pair<int, int>, int> byKind;
    for (int s = 0; s < sequences; ++s) {
        Sequence sequence(base + unsigned(s), false);
        const std::string failure = sequence.run();
        if (failure.empty())
            continue;
        bool shown = false;
        for (int f : sequence.faults())
            if (byKind[{int(sequence.kind()), f}]++ < 2 && !shown) {
                ADD_FAILURE() << failure << "\n  replay: QX_LINE_SEED=" << base + unsigned(s);
                shown = true;
            }
        ++failed;
    }
    for (const auto& [which, count] : byKind)
        std::printf("%s: %s in %d sequences\n", kKindNames[which.first], kFaultNames[which.second], count);
    EXPECT_EQ(failed, 0) << "of " << sequences << " sequences";
}

} // namespace
