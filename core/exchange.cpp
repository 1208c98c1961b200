#include "core/exchange.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <climits>
#include <cctype>
#include <cmath>
#include <optional>
#include <utility>

#include "core/helpers.h"
#include "core/owed.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/clock.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/serialport.h"

namespace modZarn::xchg {

ReplyFramer ReplyFramer::Length(int length, int address, int exceptionFunction)
{
    ReplyFramer f;
    f.length_ = length;
    f.excAddress_ = address & 0xFF;
    f.excFunction_ = exceptionFunction & 0xFF;
    return f;
}

ReplyFramer ReplyFramer::Terminated(char end, int maxLength)
{
    ReplyFramer f;
    f.terminated_ = true;
    f.end_ = end;
    f.length_ = maxLength;
    return f;
}

ReplyFramer::Step ReplyFramer::take(char c)
{
    if (terminated_) {
        if (c == end_)
            return Step::Complete;
        if (reply_.size() >= length_)
            return Step::TooLong;
        reply_.append(c);
        return Step::More;
    }
    reply_.append(c);
    return reply_.size() >= length_ ? Step::Complete : Step::More;
}

bool ReplyFramer::completeWhenIdle() const
{
    return !terminated_ && reply_.size() >= 5 && static_cast<unsigned char>(reply_[0]) == excAddress_
        && static_cast<unsigned char>(reply_[1]) == excFunction_;
}

int ReplyFramer::room() const
{
    // A terminated reply may take one past its limit: the terminator, or the
    // character that makes it too long.
    return std::max(1, int(length_ - reply_.size()) + (terminated_ ? 1 : 0));
}

namespace {

QByteArray HexPair(int v) { return Hex2(v & 0xFF).toLatin1(); }

} // namespace

int ReplyName::headLength() const
{
    switch (protocol) {
    case 'R': return 2; // address, function
    case 'A': return 5; // colon, address, function
    case 'Z': return 4; // STX, "Z", address
    default: return 0;
    }
}

ReplyName::Fit ReplyName::fits(const QByteArray& start) const
{
    QByteArray heads[2];
    switch (protocol) {
    case 'R':
        heads[0] = QByteArray(1, char(address)) + char(function);
        heads[1] = QByteArray(1, char(address)) + char(function | 0x80);
        break;
    case 'A':
        heads[0] = ':' + HexPair(address) + HexPair(function);
        heads[1] = ':' + HexPair(address) + HexPair(function | 0x80);
        break;
    case 'Z': heads[0] = QByteArray("\x02Z") + HexPair(address); break;
    default: return Fit::Reply;
    }
    // The text protocols' hexadecimal digits come in either case.
    const bool text = protocol != 'R';
    bool partly = false;
    for (int h = 0; h < 2; ++h) {
        const QByteArray& head = heads[h];
        if (head.isEmpty())
            continue;
        const qsizetype n = std::min(start.size(), head.size());
        bool same = true;
        for (qsizetype k = 0; k < n && same; ++k)
            same = (text ? char(std::toupper(static_cast<unsigned char>(start[k]))) : start[k]) == head[k];
        if (!same)
            continue;
        if (start.size() < head.size())
            partly = true;
        else
            return h == 0 ? Fit::Reply : Fit::Exception;
    }
    return partly ? Fit::Partly : Fit::No;
}

namespace {

void (*gOnGone)() = nullptr;
bool gGone = false;

// Sorts what arrives, character by character, into replies: the attempt's
// own, handed to its framer; answers owed to other requests, known by how
// they start and discarded whole; and what starts like no reply that can
// come. In an attempt the last goes to the attempt's framer, whose checks
// refuse it; without an attempt it is dropped.
class Sorter {
public:
    enum class Got { Nothing, Own, Other, Unknown };
    struct Result {
        Got got = Got::Nothing;
        ReplyFramer::Step step = ReplyFramer::Step::More; // Own: the framer's step
        ReplyName name;                                   // Other: whose answer it was
    };

    Sorter(ReplyFramer* own, std::vector<ReplyFramer> others) : own_(own), others_(std::move(others))
    {
        for (const ReplyFramer& f : others_)
            headLength_ = std::max(headLength_, f.name().headLength());
        if (own_)
            headLength_ = std::max(headLength_, own_->name().headLength());
        // Nothing else may come: everything is the attempt's.
        if (own_ && others_.empty())
            mode_ = Mode::Own;
    }

    Result take(char c)
    {
        switch (mode_) {
        case Mode::Own: return {Got::Own, own_->take(c), {}};
        case Mode::Unknown: return {};
        case Mode::Other: return skip(c);
        case Mode::Start: break;
        }
        start_ += c;
        bool more = false;
        if (own_) {
            const ReplyName::Fit fit = own_->name().fits(start_);
            if (fit == ReplyName::Fit::Reply || fit == ReplyName::Fit::Exception)
                return ownFromStart();
            more = fit == ReplyName::Fit::Partly;
        }
        for (const ReplyFramer& f : others_) {
            const ReplyName::Fit fit = f.name().fits(start_);
            if (fit == ReplyName::Fit::Partly)
                more = true;
            if (more || fit == ReplyName::Fit::No)
                continue;
            // The whole start of another request's answer: skipped to its
            // end. A Modbus RTU exception reply is five characters.
            mode_ = Mode::Other;
            skip_ = fit == ReplyName::Fit::Exception && f.name().protocol == 'R'
                ? ReplyFramer::Length(5, -1, -1).naming(f.name())
                : f;
            skip_.clear();
            const QByteArray start = std::exchange(start_, {});
            Result r;
            for (char s : start)
                r = skip(s);
            return r;
        }
        if (more)
            return {};
        if (own_)
            return ownFromStart();
        mode_ = Mode::Unknown;
        return {Got::Unknown, ReplyFramer::Step::More, {}};
    }

    // The most characters to take before the next can change what they are.
    int room() const
    {
        switch (mode_) {
        case Mode::Own: return own_->room();
        case Mode::Other: return skip_.room();
        case Mode::Unknown: return 4096;
        case Mode::Start: break;
        }
        return std::max<int>(1, headLength_ - int(start_.size()));
    }

    // Part of a reply came and was not yet told: it goes to the attempt.
    void end()
    {
        if (own_ && mode_ == Mode::Start)
            for (char c : std::exchange(start_, {}))
                own_->take(c);
    }
    // Something came that is not whole yet.
    bool midReply() const { return mode_ == Mode::Other || !start_.isEmpty(); }
    // What the attempt took begins as its own reply begins.
    bool named() const
    {
        const ReplyName::Fit fit = own_->name().fits(own_->reply());
        return fit == ReplyName::Fit::Reply || fit == ReplyName::Fit::Exception;
    }

private:
    enum class Mode { Start, Own, Other, Unknown };

    Result ownFromStart()
    {
        mode_ = Mode::Own;
        Result r{Got::Own, ReplyFramer::Step::More, {}};
        for (char s : std::exchange(start_, {})) {
            r.step = own_->take(s);
            if (r.step != ReplyFramer::Step::More)
                break;
        }
        return r;
    }

    Result skip(char c)
    {
        switch (skip_.take(c)) {
        case ReplyFramer::Step::More: return {};
        case ReplyFramer::Step::Complete:
            mode_ = Mode::Start;
            return {Got::Other, ReplyFramer::Step::Complete, skip_.name()};
        case ReplyFramer::Step::TooLong: break;
        }
        mode_ = Mode::Unknown;
        return {Got::Unknown, ReplyFramer::Step::More, {}};
    }

    ReplyFramer* own_;
    std::vector<ReplyFramer> others_;
    int headLength_ = 1;
    Mode mode_ = Mode::Start;
    QByteArray start_;
    ReplyFramer skip_;
};

// The program's line on a port.
//
// Every answer belongs to its own request, and the ledger of what the
// instruments still owe (OwedAnswers) decides when a request may go out and
// what stays owed. The line does the port's work:
//  - What arrives before a request, or while it waits, is sorted into the
//    answers owed, which count as given, and then discarded.
//  - An attempt discards whole every answer owed to another request that
//    it tells apart, and listens on for its own within its time.
//  - What a failed attempt left unsent is discarded at once: a line that
//    has stalled must not deliver stale requests when it moves again.
//  - The ledger outlives every opening of the port: a reopened port, new
//    settings or a new time-out do not stop an instrument answering.
class SerialLine : public Line {
public:
    explicit SerialLine(LinePort& port) : port_(port) {}

    Collect exchange(const QByteArray& request, ReplyFramer& framer) override
    {
        port_.setInputLen(0);
        close();
        // A reopened port has dropped what came before: answers may have
        // come unseen.
        const int openings = port_.openings();
        if (std::exchange(openings_, openings) != openings)
            owed_.heardUnknown(port_.nowMs());
        waitForClear(request, framer.name());
        // Nothing stands between the flush and the request: a device that
        // has gone shows itself in the write or in the wait.
        if (!port_.discardInput())
            return Gone();

        // The attempt's time runs from before the send: a line that does not
        // take the request fails the attempt within that time.
        const int attemptMs = AttemptMs();
        const qint64 sent = port_.nowMs();
        const qint64 deadline = sent + attemptMs;
        const auto expired = [this, deadline] { return port_.nowMs() >= deadline; };
        if (!port_.send(request, deadline))
            return port_.isOpen() ? Collect::TimedOut : Gone();
        attempt_ = Sent{request, framer, sent, attemptMs, -1};

        port_.setInputLen(1);
        Sorter sorter(&framer, owed_.coming(sent, &framer.name()));
        // An attempt that ends without a whole reply may have cut an answer
        // short, its own or another's: something came that is told by no one.
        bool heard = false;
        const auto cut = [&](Collect c) {
            sorter.end();
            if (heard)
                owed_.heardUnknown(port_.nowMs());
            return c;
        };
        for (;;) {
            const bool waiting = port_.waitForInput(int(std::max<qint64>(0, deadline - port_.nowMs())));
            // What came is taken first, also what was read just before the
            // device went away. The time-out bounds the whole reply: a line
            // that never stops sending is checked on every character as well
            // as when it pauses.
            const QByteArray got = port_.take(sorter.room());
            heard = heard || !got.isEmpty();
            for (qsizetype k = 0; k < got.size(); ++k) {
                const Sorter::Result r = sorter.take(got[k]);
                if (r.got == Sorter::Got::Other) {
                    owed_.heard(r.name, port_.nowMs());
                    port_.takeNoise(); // a spoilt character of it spoils nothing of ours
                } else if (r.got == Sorter::Got::Own) {
                    if (r.step == ReplyFramer::Step::Complete) {
                        // What came after it in the same take is another's.
                        if (k + 1 < got.size())
                            owed_.heardUnknown(port_.nowMs());
                        return Heard(sorter, Collect::Complete);
                    }
                    if (r.step == ReplyFramer::Step::TooLong)
                        return cut(Collect::TooLong);
                }
                if (expired())
                    return cut(Collect::TimedOut);
            }
            if (!port_.isOpen()) {
                if (!got.isEmpty())
                    continue;
                return framer.completeWhenIdle() ? Heard(sorter, Collect::Stopped) : Gone();
            }
            if (!waiting && got.isEmpty()) {
                if (framer.completeWhenIdle())
                    return Heard(sorter, Collect::Stopped);
                if (expired())
                    return cut(Collect::TimedOut);
                continue;
            }
            if (framer.completeWhenIdle() && !port_.waitForInput(0) && port_.isOpen())
                return Heard(sorter, Collect::Stopped);
        }
    }

    void ended(Attempt a) override
    {
        if (a == Attempt::Failed)
            port_.discardOutput();
        close();
    }

    // Nothing owed, as when the program starts.
    void forget()
    {
        owed_ = {};
        attempt_.reset();
    }

private:
    struct Sent {
        QByteArray request;
        ReplyFramer framer;
        qint64 at = 0;
        int attemptMs = 0;
        qint64 answered = -1; // a reply of its own came then
    };

    // A complete reply of the attempt: spoilt when a character of it failed
    // its parity. Begun as its own begins, it is the instrument's answer
    // either way; anything else came from no one known.
    Collect Heard(const Sorter& sorter, Collect c)
    {
        if (sorter.named())
            attempt_->answered = port_.nowMs();
        else
            owed_.heardUnknown(port_.nowMs());
        return port_.takeNoise() ? Collect::Noise : c;
    }

    // The attempt under way is over: what it owes goes into the ledger.
    void close()
    {
        if (!attempt_)
            return;
        const Sent a = *std::exchange(attempt_, std::nullopt);
        owed_.attemptEnded(a.request, a.framer, a.at, a.attemptMs, a.answered);
    }

    // Sorts what arrives until no answer that could pass for the reply to
    // `request` can come any more.
    void waitForClear(const QByteArray& request, const ReplyName& name)
    {
        if (owed_.empty())
            return; // what waits is discarded
        Sorter sorter(nullptr, owed_.coming(port_.nowMs()));
        sortWaiting(sorter);
        for (;;) {
            const qint64 now = port_.nowMs();
            qint64 recheck = LLONG_MAX;
            if (owed_.clearFrom(request, name, now, &recheck) <= now)
                break;
            // Each answer that does not come in its time shortens the wait.
            if (port_.waitForInput(int(std::clamp<qint64>(recheck + 1 - now, 1, INT_MAX))))
                sortWaiting(sorter);
            else if (!port_.isOpen())
                break;
        }
        if (sorter.midReply())
            owed_.heardUnknown(port_.nowMs());
    }

    // Sorts what waits now; a line that keeps sending is left to the wait.
    void sortWaiting(Sorter& sorter)
    {
        constexpr int kChunk = 4096;
        for (int n = 0; n < 16; ++n) {
            const QByteArray got = port_.take(kChunk);
            for (char c : got) {
                const Sorter::Result r = sorter.take(c);
                if (r.got == Sorter::Got::Other)
                    owed_.heard(r.name, port_.nowMs());
                else if (r.got == Sorter::Got::Unknown)
                    owed_.heardUnknown(port_.nowMs());
            }
            if (got.size() < kChunk)
                return;
        }
    }

    Collect Gone()
    {
        // Only a port that was opened can lose its device; a port that never
        // opened is the entry test's business.
        if (gCommOK && !gGone) {
            gGone = true;
            if (gOnGone)
                gOnGone();
        }
        return Collect::Gone;
    }

    LinePort& port_;
    OwedAnswers owed_;
    int openings_ = 0;  // the port's openings when it was last looked at
    std::optional<Sent> attempt_; // went out; its end is not yet in the ledger
};

// The program's serial port as the line's port.
class CommLinePort : public LinePort {
public:
    qint64 nowMs() const override { return Clock::steadyMs(); }
    bool isOpen() override { return CommPort().portOpen(); }
    void setInputLen(int n) override { CommPort().setInputLen(n); }
    bool discardInput() override { return CommPort().discardInput(); }
    bool send(const QByteArray& data, qint64 untilMs) override
    {
        return CommPort().send(data, QDeadlineTimer(std::max<qint64>(0, untilMs - nowMs())));
    }
    void discardOutput() override { CommPort().discardOutput(); }
    bool waitForInput(int ms) override { return CommPort().waitForInput(ms); }
    QByteArray take(int max) override { return CommPort().take(max); }
    bool takeNoise() override { return CommPort().takeNoise(); }
    int openings() const override { return CommPort().openings(); }
};

SerialLine& ProgramLine()
{
    static CommLinePort port;
    static SerialLine line(port);
    return line;
}
Line* gLine = nullptr;

} // namespace

std::unique_ptr<Line> MakeSerialLine(LinePort& port) { return std::make_unique<SerialLine>(port); }

Line& TheLine() { return gLine ? *gLine : ProgramLine(); }
void UseLine(Line* line) { gLine = line; }
void ForgetOwedAnswers() { ProgramLine().forget(); }

int AttemptMs() { return std::max(gPollTimeoutMs, kClockStepMs); }

bool LineGone() { return gGone; }
void SetLineGone(bool gone) { gGone = gone; }
void OnLineGone(void (*reaction)()) { gOnGone = reaction; }

bool PortReady(const QString& prefix, QString& ErrText, int& ErrCode)
{
    if (gCommOK)
        return true;
    ErrCode = -1;
    ErrText = prefix + (gGone ? kLineGone : QStringLiteral(":Selected comm port is not open."));
    return false;
}

void WaitUntilElapsed(double start, double seconds)
{
    QDeadlineTimer deadline(qint64(std::ceil(seconds * 1000)));
    while (!(ElapsedSeconds(start) > seconds) && !deadline.hasExpired()) {
        double d = Clock::timer() - start;
        if (d < 0)
            d += 86400;
        const qint64 clockMs = qint64(std::ceil((seconds - d) * 1000)) + 1;
        Clock::wait(double(std::clamp<qint64>(clockMs, 1, std::max<qint64>(1, deadline.remainingTime()))) / 1000);
    }
}

float& Item(QVector<float>& values, int i)
{
    if (i < 0 || i >= values.size())
        rt::raise(rt::ErrSubscript);
    return values[i];
}

void StoreItems(QVector<float>& values, const QVector<float>& items)
{
    const int count = int(items.size());
    if (count >= 1)
        Item(values, count);
    for (int i = 1; i <= count; ++i)
        Item(values, i) = items[i - 1];
}

bool TwoAttempts(const std::function<QString()>& prefix, QString& ErrText, int& ErrCode,
                 const std::function<Attempt(QString& msg)>& attempt,
                 const std::function<void(const QString& msg, bool last)>& failed)
{
    for (int n = 1;; ++n) {
        QString msg;
        const Attempt a = attempt(msg);
        TheLine().ended(a);
        switch (a) {
        case Attempt::Good:
            return true;
        case Attempt::Refused:
            return false;
        case Attempt::Gone:
            // No second attempt: nothing can be sent until the port is back.
            ErrCode = -1;
            ErrText = prefix() + kLineGone;
            return false;
        case Attempt::Failed:
            failed(msg, n == 2);
            if (n == 2)
                return false;
        }
    }
}

void PutWord(QByteArray& bytes, int v)
{
    bytes.append(char((v >> 8) & 0xFF));
    bytes.append(char(v & 0xFF));
}

namespace {

// The message of a Modbus exception code (without address and register text).
QString ExceptionMessage(int code)
{
    switch (code) {
    case 1: return QStringLiteral(":Illegal Function response from instrument for register");
    case 2: return QStringLiteral(":Illegal Data Address response from instrument for register");
    case 3: return QStringLiteral(":Illegal Data Value response from instrument for register");
    case 4: return QStringLiteral(":Slave Device Failure response from instrument for register");
    case 5: return QStringLiteral(":Acknowledged But Long Processing response from instrument for register");
    case 6: return QStringLiteral(":Slave Device Is Busy response from instrument for register");
    case 7: return QStringLiteral(":Negative Acknowledge response from instrument for register");
    case 8: return QStringLiteral(":Memory Parity Error response from instrument for register");
    default:
        return QStringLiteral(":Unknown Error") + rt::Str(code)
            + QStringLiteral(" response from instrument for register");
    }
}

// What every Modbus read and write checks first; fills the exchange's
// address, prefix and register text.
bool ModbusEntry(int group, int userReg, QString& ErrText, int& ErrCode, int address, int reg,
                 Exchange& x)
{
    ErrCode = 0;
    ErrText.clear();
    if (gDemoMode)
        return false;
    x.address = address;
    x.group = group;
    x.userReg = userReg;
    x.reg = reg;
    if (!gCommOK)
        return PortReady(x.prefix(), ErrText, ErrCode);
    if (!AddressAccepted(group, address, ErrText, ErrCode))
        return false;
    if (reg < 1) {
        ErrCode = -1;
        ErrText = x.prefix() + QStringLiteral(":Invalid Modbus Register >") + x.regText();
        return false;
    }
    return true;
}

bool InvalidRegisterType(const Exchange& x, int regType, QString& ErrText, int& ErrCode)
{
    ErrCode = -1;
    ErrText = x.prefix() + QStringLiteral(":Invalid Register Type") + rt::Str(regType);
    return false;
}

// Address, function and the register field (one less than the register in
// group 0).
QByteArray RequestHead(const Exchange& x, int group, int reg)
{
    QByteArray bytes;
    bytes.append(char(x.address)); // 1..255: the entry has refused any other
    bytes.append(char(x.function));
    PutWord(bytes, group == 0 ? reg - 1 : reg);
    return bytes;
}

} // namespace

QVector<float> UnpackItems(bool bits, int count, const std::function<int(int k)>& dataByte)
{
    QVector<float> items;
    items.reserve(std::max(count, 0));
    for (int i = 1; i <= count; ++i) {
        if (bits) {
            items.append(float((dataByte((i - 1) / 8) >> ((i - 1) % 8)) & 1));
        } else {
            int v = 256 * dataByte(2 * i - 2) + dataByte(2 * i - 1);
            if (v > 32767)
                v -= 65536;
            items.append(float(v));
        }
    }
    return items;
}

QString Exchange::prefix() const { return AddressPrefix(group, address); }
QString Exchange::regText() const
{
    if (group == 0)
        return QStringLiteral(" ") + rt::CStr(reg);
    QString t = QStringLiteral(" ") + rt::Hex(reg) + QStringLiteral("H");
    if (userReg > 0)
        t += QStringLiteral(" (") + rt::CStr(userReg) + QStringLiteral(")");
    return t;
}

bool RunModbus(const Exchange& x, const QByteArray& wire, const ReplyFramer& framer,
               const std::function<Verdict(Collect, const QByteArray&)>& judge,
               QByteArray& reply, QString& ErrText, int& ErrCode)
{
    return TwoAttempts(
        [&x] { return x.prefix(); }, ErrText, ErrCode,
        [&](QString& msg) {
            ReplyFramer f = framer;
            f.naming({framer.name().protocol, x.address & 0xFF, x.function & 0xFF});
            const Collect got = TheLine().exchange(wire, f);
            reply = f.reply();
            const Verdict v = got == Collect::Gone ? Verdict{Attempt::Gone, {}, 0} : judge(got, reply);
            msg = v.msg;
            if (v.attempt == Attempt::Refused) {
                // A code of 0 is no success: the instrument refused the request.
                ErrCode = v.code == 0 ? -1 : v.code;
                QString text = x.prefix() + ExceptionMessage(v.code) + x.regText();
                if (v.code == 3 && x.valueTail)
                    text += x.valueTail();
                ErrText = text;
            }
            return v.attempt;
        },
        [&](const QString& msg, bool last) {
            ErrText = x.prefix() + msg + x.regText();
            if (last)
                ErrCode = -1;
        });
}

bool ModbusReadEntry(int group, int userReg, QString& ErrText, int& ErrCode, int address,
                     int reg, int regType, int count, Exchange& x, QByteArray& bytes)
{
    if (!ModbusEntry(group, userReg, ErrText, ErrCode, address, reg, x))
        return false;
    switch (regType) {
    case 1: case 2: case 3: case 4: x.function = regType; break;
    case 5: x.function = 103; break;
    default: return InvalidRegisterType(x, regType, ErrText, ErrCode);
    }
    bytes = RequestHead(x, group, reg);
    PutWord(bytes, count);
    return true;
}

bool ModbusWriteEntry(int group, int userReg, QString& ErrText, int& ErrCode, int address,
                      int reg, int regType, int registerFunction, int count,
                      QVector<float>& values, Exchange& x, QByteArray& bytes)
{
    if (!ModbusEntry(group, userReg, ErrText, ErrCode, address, reg, x))
        return false;
    for (int i = 1; i <= count; ++i) {
        const float v = Item(values, i);
        if (!(v >= kModbusLowest && v <= kModbusHighest)) {
            ErrCode = -1;
            ErrText = x.prefix() + QStringLiteral(":Invalid Modbus Write Value") + rt::StrSingle(v)
                + QStringLiteral(" at Register >") + x.regText();
            return false;
        }
    }
    if (regType == 1)
        x.function = 5;
    else if (regType == 3)
        x.function = registerFunction;
    else
        return InvalidRegisterType(x, regType, ErrText, ErrCode);
    bytes = RequestHead(x, group, reg);
    // The caller's value stays as it was; only the wire carries FF00.
    if (regType == 1)
        PutWord(bytes, Item(values, 1) != 0 ? 0xFF00 : 0x0000);
    x.valueTail = [&values] { return QStringLiteral(". Value=") + rt::StrSingle(Item(values, 1)); };
    return true;
}

} // namespace modZarn::xchg
