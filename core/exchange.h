#pragma once
// What the three drivers share: sending a request on the shared port,
// collecting a reply under the poll time-out, the second attempt after a
// failed one, item access to 1-based value arrays, and the Modbus exchange
// with its register, failure and exception texts.
#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>

namespace modZarn::xchg {

// Discards whatever waits on the port and sends `request` in one write. When
// the port reports itself closed nothing is sent (the wait then runs into its
// time-out).
void SendRequest(const QByteArray& request);

enum class Collect { Complete, Stopped, TimedOut };

// Collects a reply one character at a time, from now (right after the send)
// until `onChar` reports the reply complete, `onIdle` (asked whenever no
// character waits) stops the collection, or the poll time-out passes. The
// time-out follows the program's clock; the blocking wait on the port also
// holds a real deadline, so a stopped clock cannot keep it waiting.
Collect CollectReply(const std::function<bool(char)>& onChar,
                     const std::function<bool()>& onIdle = {});

// Blocks (without yielding) until more than `seconds` have passed on the
// program's clock since `start`, or as long in real time.
void WaitUntilElapsed(double start, double seconds);

// Values(i) of a 1-based array; a missing index is a subscript error.
float& Item(QVector<float>& values, int i);

// Outcome of one attempt at an exchange.
enum class Attempt { Good, Refused, Failed };

// Runs `attempt` and repeats it once when it fails. Good: true. Refused: the
// attempt has reported the refusal; false at once. Failed: `failed` reports
// the attempt's message (`last` on the second failure); false after two.
bool TwoAttempts(const std::function<Attempt(QString& msg)>& attempt,
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

// Everything a Modbus exchange needs besides the framing.
struct Exchange {
    QString prefix;  // "Address " and the address text
    QString regText; // the register tail of every text
    int address = 0;
    int function = 0;
    QByteArray request; // as built, for the echo checks
    // Returns "" when the complete reply is good, else the failure message.
    std::function<QString(const QByteArray&)> check;
    // Appended to the text of exception 3 (the write names its value).
    std::function<QString()> valueTail;
};

// Up to two attempts of a Modbus exchange. `attempt` sends and collects once:
// Good, Failed with `msg`, or Refused with the instrument's exception `code`,
// which ends the call at once with the exception's text. True: the reply
// passed every check (the caller decodes it). False: ErrCode and ErrText hold
// the outcome.
bool RunModbus(const Exchange& x, const std::function<Attempt(QString& msg, int& code)>& attempt,
               QString& ErrText, int& ErrCode);

// Entry of a Modbus read: clears the outputs, then ends the call (false) in
// demo mode, when the port is not open, when the register is below 1 or when
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
