#pragma once
// What the three drivers share: the line they exchange frames on, telling a
// reply complete, the second attempt after a failed one, item access to
// 1-based value arrays, and the Modbus exchange with its register, failure
// and exception texts.
#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

namespace modZarn::xchg {

// ---- The seam between frames and the line ----
// Everything below the line (building a request, telling a reply complete,
// checking and decoding it) works on bytes alone; only a Line touches the
// port. The serial port is the program's line; the fuzzer puts its own in.

// Who a reply comes from and what it repeats of its request, by which
// replies to different requests are told apart.
struct ReplyName {
    char protocol = 0; // 'R' Modbus RTU, 'A' Modbus ASCII, 'Z' "Zarn Link"; 0: names nothing
    int address = 0;
    int function = -1; // Modbus: the request's function; -1 ("Zarn Link"): a reply names no command

    // The instrument that answers: its address in its protocol.
    bool sameInstrument(const ReplyName& o) const { return protocol == o.protocol && address == o.address; }
    // A reply of one can never pass for a reply of the other: another
    // instrument, or another function.
    bool toldApart(const ReplyName& o) const
    {
        return protocol != 0 && o.protocol != 0
            && (!sameInstrument(o) || (function >= 0 && o.function >= 0 && function != o.function));
    }
    enum class Fit { No, Partly, Reply, Exception };
    // How the first characters of what arrives fit the start of a reply of
    // this name: not, so far, as a reply or as a Modbus exception reply.
    Fit fits(const QByteArray& start) const;
    // The most characters the start of a reply spans.
    int headLength() const;
};

// Tells, character by character, when one attempt's reply is complete. Knows
// nothing of the line or the clock.
class ReplyFramer {
public:
    enum class Step { More, Complete, TooLong };
    // A reply of `length` characters (Modbus RTU). Five characters that start
    // with `address` and `exceptionFunction` are a complete exception reply
    // once nothing more follows them.
    static ReplyFramer Length(int length, int address, int exceptionFunction);
    // A reply that ends with `end`, which is not kept. A reply of more than
    // `maxLength` characters without it is longer than any its protocol
    // sends: too long.
    static ReplyFramer Terminated(char end, int maxLength);

    Step take(char c);
    // What has arrived is a complete reply if no further character follows.
    bool completeWhenIdle() const;
    // The most characters the reply can still take before it ends either way.
    int room() const;
    const QByteArray& reply() const { return reply_; }
    void clear() { reply_.clear(); }

    // Who the reply comes from and what it repeats of its request; unnamed,
    // everything that arrives is taken for the reply.
    ReplyFramer& naming(const ReplyName& name)
    {
        name_ = name;
        return *this;
    }
    const ReplyName& name() const { return name_; }

private:
    QByteArray reply_;
    int length_ = 0;    // Length: the reply's length; Terminated: its limit
    char end_ = 0;
    bool terminated_ = false;
    int excAddress_ = -1;
    int excFunction_ = -1;
    ReplyName name_;
};

enum class Collect {
    Complete, // the framer reports the reply complete
    Stopped,  // nothing more came after a reply complete when idle
    TimedOut, // the poll time-out passed first
    TooLong,  // more came than the protocol's longest reply
    Gone,     // the port's device has gone (or it was found closed)
    Noise,    // complete, but a character of it came with a parity error
};

// Outcome of one attempt at an exchange.
enum class Attempt { Good, Refused, Failed, Gone };

class Line {
public:
    virtual ~Line() = default;
    // Sends `request` after discarding waiting input and collects the reply
    // into `framer` until it is complete or the attempt's time, counted from
    // before the send, passes.
    virtual Collect exchange(const QByteArray& request, ReplyFramer& framer) = 0;
    // Told how the attempt that the last exchange() served ended, once it
    // has been judged.
    virtual void ended(Attempt) {}
};
// What a SerialLine needs of its port: the program's serial port, or a model
// of a line in the tests. Times are in milliseconds on the port's clock.
class LinePort {
public:
    virtual ~LinePort() = default;
    // The port's clock: the program's steady clock (Clock::steadyMs), or a
    // model's own, which only its waits move on.
    virtual qint64 nowMs() const = 0;
    // Reads as closed once the device has gone.
    virtual bool isOpen() = 0;
    // The most characters a read of the port's input takes (0: all).
    virtual void setInputLen(int) {}
    // Drops every character received; false when the port is closed.
    virtual bool discardInput() = 0;
    // Sends the whole of `data` by `untilMs`, or none of it: false.
    virtual bool send(const QByteArray& data, qint64 untilMs) = 0;
    // Drops what was written and has not left yet.
    virtual void discardOutput() = 0;
    // Waits up to `ms` for a received character; true when one waits.
    virtual bool waitForInput(int ms) = 0;
    // Takes at most `max` waiting characters without waiting.
    virtual QByteArray take(int max) = 0;
    // A character with a parity or framing error came since the last call.
    virtual bool takeNoise() = 0;
    // Counts the openings of the port.
    virtual int openings() const = 0;
};

// The line over `port` that the program runs on its serial port; a test puts
// one over a model port in with UseLine.
std::unique_ptr<Line> MakeSerialLine(LinePort& port);

// The line the drivers use: the program's serial port unless another is in.
Line& TheLine();
// Puts `line` in place of the serial port (nullptr: the serial port again).
void UseLine(Line* line);
// The program's line owes nothing, as when the program starts (a test's
// fresh line of instruments).
void ForgetOwedAnswers();

// The device of the opened port has gone (an adapter pulled out): set when
// an exchange finds so, cleared when the port opens again. Exchanges then
// fail at once with kLineGone.
bool LineGone();
void SetLineGone(bool gone);
// Runs once each time an exchange finds the device gone (start-up puts the
// program's reaction here: lamp, error line, reopening).
void OnLineGone(void (*reaction)());

// The failure text of an exchange on a line whose device has gone.
inline const QString kLineGone = QStringLiteral(":Communications Disabled - the comm port's device has gone");

// The entry test of every exchange: false (ErrCode -1 and the text after
// `prefix`) when the port is not open.
bool PortReady(const QString& prefix, QString& ErrText, int& ErrCode);

// Blocks (without yielding) until more than `seconds` have passed on the
// program's clock since `start`, or as long in real time. With a test's fake
// clock the wait moves that clock on instead of sleeping.
void WaitUntilElapsed(double start, double seconds);

// The program's clock reads differences under this as none, so no wait on
// it ends sooner: an attempt lasts at least this long, whatever shorter
// time-out is set.
constexpr int kClockStepMs = 20;
// How long one attempt waits for its reply, in milliseconds.
int AttemptMs();

// Values(i) of a 1-based array; a missing index is a subscript error.
float& Item(QVector<float>& values, int i);
// Puts items[0..] into Values(1..); the whole range must exist before
// anything is stored.
void StoreItems(QVector<float>& values, const QVector<float>& items);

// Runs `attempt` and repeats it once when it fails. Good: true. Refused: the
// attempt has reported the refusal; false at once. Failed: `failed` reports
// the attempt's message (`last` on the second failure); false after two.
// Gone: ErrCode -1 and `prefix`() & kLineGone; false at once.
bool TwoAttempts(const std::function<QString()>& prefix, QString& ErrText, int& ErrCode,
                 const std::function<Attempt(QString& msg)>& attempt,
                 const std::function<void(const QString& msg, bool last)>& failed);

// Appends `v` as two bytes, high byte first.
void PutWord(QByteArray& bytes, int v);

// ---- Modbus (RTU and ASCII) ----

// Failure texts; each stands between the address prefix and the register text.
inline const QString kNoResponse = QStringLiteral(":No response from instrument at register");
inline const QString kTooShort = QStringLiteral(":Too short of response from instrument at register");
inline const QString kBadAddress = QStringLiteral(":Incorrect Address Returned from instrument at register");
inline const QString kBadCode = QStringLiteral(":Incorrect Modbus Code Returned from instrument at register");
inline const QString kBadRegister = QStringLiteral(":Incorrect Register Number Returned from instrument at register");
inline const QString kBadCount = QStringLiteral(":Incorrect Register Count Returned from instrument at register");
// Ours: more characters came than the longest reply of the protocol.
inline const QString kTooLong = QStringLiteral(":Response too long from instrument at register");

// The `count` items of a read reply from its data bytes (`dataByte(k)`, k
// from 0), the same in both framings: coils and inputs (`bits`) one bit per
// item, packed low bit first; registers one signed 16-bit word per item,
// high byte first.
QVector<float> UnpackItems(bool bits, int count, const std::function<int(int k)>& dataByte);

// Everything a Modbus exchange needs besides the framing.
struct Exchange {
    int group = 0;
    int userReg = 0;
    int reg = 0;
    int address = 0;
    int function = 0;
    QByteArray request; // as built, for the echo checks
    // Returns "" when the complete reply is good, else the failure message.
    std::function<QString(const QByteArray&)> check;
    // Appended to the text of exception 3 (the write names its value).
    std::function<QString()> valueTail;

    // The head and the register tail of every text, made only when a text is
    // (a good exchange needs neither). The tail is " 258" in group 0, " 102H"
    // or " 102H (258)" in groups 1 and 2.
    QString prefix() const;
    QString regText() const;
};

// One attempt judged from what the line delivered.
struct Verdict {
    Attempt attempt = Attempt::Good;
    QString msg; // Failed: the message
    int code = 0; // Refused: the instrument's exception or refusal code
};

// Up to two attempts of a Modbus exchange: each sends `wire` on the line,
// collects with a fresh copy of `framer` (named with its protocol; the
// exchange adds address and function) and takes `judge`'s verdict on what
// came; Refused ends the call at once with the exception's text. True: the
// reply (left in `reply`) passed every check (the caller decodes it). False:
// ErrCode and ErrText hold the outcome.
bool RunModbus(const Exchange& x, const QByteArray& wire, const ReplyFramer& framer,
               const std::function<Verdict(Collect, const QByteArray&)>& judge,
               QByteArray& reply, QString& ErrText, int& ErrCode);

// Entry of a Modbus read: clears the outputs, then ends the call (false) in
// demo mode, when the port is not open, when the address is off the line
// (AddressAccepted), when the register is below 1 or when
// the register type is none of 1..5. Otherwise fills the exchange (function
// 1..4 as the type, 5: 103) and `bytes` with the request before its check:
// address, function, register field and count.
bool ModbusReadEntry(int group, int userReg, QString& ErrText, int& ErrCode, int address,
                     int reg, int regType, int count, Exchange& x, QByteArray& bytes);
// Entry of a Modbus write: as the read's, and Values(1)..Values(Count) must
// all fit 16 bits; only types 1 (coil, function 5) and 3 (register,
// `registerFunction`) are written. `bytes` receives address, function and
// register field, for a coil also its FF00 / 0000; the caller adds a
// register's data.
bool ModbusWriteEntry(int group, int userReg, QString& ErrText, int& ErrCode, int address,
                      int reg, int regType, int registerFunction, int count,
                      QVector<float>& values, Exchange& x, QByteArray& bytes);

} // namespace modZarn::xchg
