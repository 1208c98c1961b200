#include "core/exchange.h"

#include <QDeadlineTimer>
#include <algorithm>
#include <climits>
#include <cmath>

#include "core/helpers.h"
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

void (*gOnGone)() = nullptr;
bool gGone = false;

// The program's serial port.
//
// Every answer belongs to its own request. An attempt that ends without its
// answer leaves its request on the line, and the instrument may still answer
// it after the time-out; that answer must never pass for the answer to
// another request. So:
//  - What a failed attempt left unsent is discarded at once: a line that has
//    stalled must not deliver stale requests when it moves again.
//  - The same request sent again goes out at once: a late answer to it asks
//    the same question and is as good.
//  - A request whose reply names something the owed request's does not (in
//    Modbus another address or function) goes out at once too: its checks
//    refuse a late answer to the other.
//  - Before any other request the line must fall quiet (OwedRead): whatever
//    arrives is discarded until no answer of the owed read can come any more.
//  - An opening of the port starts a new line with nothing owed on it.
class SerialLine : public Line {
public:
    Collect exchange(const QByteArray& request, ReplyFramer& framer) override
    {
        SerialPortControl& port = CommPort();
        port.setInputLen(0);
        if (owed_ && port.openings() != owedOpening_)
            owed_ = false;
        if (owed_ && request != owedRequest_ && !ToldApart(framer.head(), owedHead_))
            settle(port);
        // Nothing stands between the flush and the request: a device that
        // has gone shows itself in the write or in the wait.
        if (!port.discardInput())
            return Gone();

        // The attempt's time runs from before the send: a line that does not
        // take the request fails the attempt within that time.
        QDeadlineTimer deadline(AttemptMs());
        lastRequest_ = request;
        lastHead_ = framer.head();
        lastSend_ = Clock::steadyMs();
        replyStart_ = -1;
        if (!port.send(request, deadline))
            return port.portOpen() ? Collect::TimedOut : Gone();

        port.setInputLen(1);
        for (;;) {
            const bool waiting = port.waitForInput(int(std::max<qint64>(0, deadline.remainingTime())));
            // What came is taken first, also what was read just before the
            // device went away. The time-out bounds the whole reply: a line
            // that never stops sending is checked on every character as well
            // as when it pauses.
            const QByteArray got = port.take(framer.room());
            if (!got.isEmpty() && replyStart_ < 0)
                replyStart_ = Clock::steadyMs();
            for (char c : got) {
                switch (framer.take(c)) {
                case ReplyFramer::Step::Complete: return Heard(port, Collect::Complete);
                case ReplyFramer::Step::TooLong: return Collect::TooLong;
                case ReplyFramer::Step::More: break;
                }
                if (deadline.hasExpired())
                    return Collect::TimedOut;
            }
            if (!port.portOpen()) {
                if (!got.isEmpty())
                    continue;
                return framer.completeWhenIdle() ? Heard(port, Collect::Stopped) : Gone();
            }
            if (!waiting && got.isEmpty()) {
                if (framer.completeWhenIdle())
                    return Heard(port, Collect::Stopped);
                if (deadline.hasExpired())
                    return Collect::TimedOut;
                continue;
            }
            if (framer.completeWhenIdle() && !port.waitForInput(0) && port.portOpen())
                return Heard(port, Collect::Stopped);
        }
    }

    void ended(Attempt a, int attempt) override
    {
        SerialPortControl& port = CommPort();
        if (a == Attempt::Gone) {
            owed_ = false;
            return;
        }
        if (a == Attempt::Failed)
            port.discardOutput();
        if (attempt == 1) {
            // An answer at once leaves owed what an earlier read may owe.
            if (a == Attempt::Failed)
                firstSend_ = lastSend_;
            return;
        }
        // The read's second attempt: its first went unanswered.
        owed_ = true;
        owedRequest_ = lastRequest_;
        owedHead_ = lastHead_;
        owedOpening_ = port.openings();
        const bool answered = a != Attempt::Failed;
        owedRead_ = {firstSend_, lastSend_, Clock::steadyMs(), answered, answered ? -1 : replyStart_};
    }

private:
    // Two replies can be told apart when both name their request and name it
    // differently.
    static bool ToldApart(const QByteArray& a, const QByteArray& b)
    {
        return !a.isEmpty() && !b.isEmpty() && a != b;
    }

    // A complete reply: spoilt when a character of it failed its parity.
    static Collect Heard(SerialPortControl& port, Collect c) { return port.takeNoise() ? Collect::Noise : c; }

    // Discards what arrives until no answer of the owed read can come.
    void settle(SerialPortControl& port)
    {
        const int attemptMs = AttemptMs();
        // What came too late for the second attempt to take is heard as well.
        qint64 firstHeard = owedRead_.heard, lastHeard = owedRead_.heard;
        for (;;) {
            const qint64 left = owedRead_.quietUntil(attemptMs, firstHeard, lastHeard) - Clock::steadyMs();
            if (left <= 0)
                break;
            if (port.waitForInput(int(std::min<qint64>(left, INT_MAX)))) {
                port.discardInput();
                lastHeard = Clock::steadyMs();
                if (firstHeard < 0)
                    firstHeard = lastHeard;
            } else if (!port.portOpen()) {
                break;
            }
        }
        owed_ = false;
    }

    Collect Gone()
    {
        owed_ = false;
        // Only a port that was opened can lose its device; a port that never
        // opened is the entry test's business.
        if (gCommOK && !gGone) {
            gGone = true;
            if (gOnGone)
                gOnGone();
        }
        return Collect::Gone;
    }

    QByteArray lastRequest_; // the request of the last attempt, sent at lastSend_
    QByteArray lastHead_;
    qint64 lastSend_ = 0;
    qint64 replyStart_ = -1; // when the first character of the last attempt's reply came
    qint64 firstSend_ = 0;   // the first attempt of the read under way, when it failed
    bool owed_ = false;      // a read left its request on the line without its answer
    QByteArray owedRequest_;
    QByteArray owedHead_;
    int owedOpening_ = 0;
    OwedRead owedRead_;
};

SerialLine gSerialLine;
Line* gLine = &gSerialLine;

} // namespace

Line& TheLine() { return *gLine; }
void UseLine(Line* line) { gLine = line ? line : &gSerialLine; }

int AttemptMs() { return std::max(gPollTimeoutMs, kClockStepMs); }

// An instrument that answers late is taken to spend up to two and a half
// time-outs on each request and to serve one request at a time, so that the
// answer to a read's second attempt can come as long after the answer to its
// first as that came after the first attempt. Whatever it answers within that
// is discarded; an instrument slower still is no longer told from one that
// answers on its own.
int QuietMargin(int attemptMs)
{
    // Room for the rest of a frame and for the scheduling of both ends.
    return std::clamp(attemptMs / 2, 50, 2000);
}

qint64 OwedRead::latest(int attemptMs) const
{
    // Both answers, one after the other, each as late as it can be.
    return first + 5 * qint64(attemptMs) + 2 * qint64(QuietMargin(attemptMs));
}

qint64 OwedRead::quietUntil(int attemptMs, qint64 firstHeard, qint64 lastHeard) const
{
    const qint64 margin = QuietMargin(attemptMs);
    qint64 until;
    if (answered) {
        // The answer that came may have been the first attempt's: the
        // second's follows it at the same lateness.
        until = end + (end - first) + margin;
    } else {
        // Nothing came: the second attempt's answer may come as late as any.
        until = second + 5 * qint64(attemptMs) / 2 + margin;
        // What comes first is the first attempt's answer; the second's
        // follows it at the same lateness.
        if (firstHeard >= 0)
            until = std::max(until, firstHeard + (firstHeard - first) + margin);
    }
    if (lastHeard >= 0)
        until = std::max(until, lastHeard + margin);
    return std::min(until, latest(attemptMs));
}

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
        TheLine().ended(a, n);
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
            f.naming(QByteArray{char(x.address & 0xFF), char(x.function & 0xFF)});
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
