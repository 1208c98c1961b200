#include "core/exchange.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "core/helpers.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/clock.h"
#include "platform/rterror.h"
#include "platform/runtime.h"
#include "platform/serialport.h"

namespace modZarn::xchg {

void SendRequest(const QByteArray& request)
{
    SerialPortControl& port = CommPort();
    port.setInputLen(0);
    if (port.portOpen()) {
        port.input();
        port.output(request);
    }
}

Collect CollectReply(const std::function<bool(char)>& onChar, const std::function<bool()>& onIdle)
{
    SerialPortControl& port = CommPort();
    const double start = Clock::timer();
    const double limit = gPollTimeoutMs / 1000.0;
    QDeadlineTimer deadline(std::max(gPollTimeoutMs, 0));
    port.setInputLen(1);
    for (;;) {
        if (port.inBufferCount() < 1 || !port.portOpen()) {
            if (onIdle && onIdle())
                return Collect::Stopped;
            if (ElapsedSeconds(start) > limit || deadline.hasExpired())
                return Collect::TimedOut;
            const int ms = int(std::max<qint64>(1, deadline.remainingTime()));
            if (port.portOpen())
                port.waitForInput(ms);
            else
                QThread::msleep(ms); // nothing can arrive on a closed port
            continue;
        }
        const QByteArray got = port.input();
        for (char c : got)
            if (onChar(c))
                return Collect::Complete;
    }
}

void WaitUntilElapsed(double start, double seconds)
{
    QDeadlineTimer deadline(qint64(std::ceil(seconds * 1000)));
    while (!(ElapsedSeconds(start) > seconds) && !deadline.hasExpired()) {
        double d = Clock::timer() - start;
        if (d < 0)
            d += 86400;
        const qint64 clockMs = qint64(std::ceil((seconds - d) * 1000)) + 1;
        QThread::msleep(ulong(std::clamp<qint64>(clockMs, 1, std::max<qint64>(1, deadline.remainingTime()))));
    }
}

float& Item(QVector<float>& values, int i)
{
    if (i < 0 || i >= values.size())
        rt::raise(rt::ErrSubscript);
    return values[i];
}

bool TwoAttempts(const std::function<Attempt(QString& msg)>& attempt,
                 const std::function<void(const QString& msg, bool last)>& failed)
{
    for (int n = 1;; ++n) {
        QString msg;
        switch (attempt(msg)) {
        case Attempt::Good:
            return true;
        case Attempt::Refused:
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

// The register tail of Modbus error texts: " 258" in group 0, " 102H" or
// " 102H (258)" in groups 1 and 2.
QString RegisterText(int group, int userReg, int reg)
{
    if (group == 0)
        return QStringLiteral(" ") + rt::CStr(reg);
    QString t = QStringLiteral(" ") + rt::Hex(reg) + QStringLiteral("H");
    if (userReg > 0)
        t += QStringLiteral(" (") + rt::CStr(userReg) + QStringLiteral(")");
    return t;
}

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
    x.prefix = QStringLiteral("Address ") + AddressToText(group, address);
    if (!gCommOK) {
        ErrCode = -1;
        ErrText = x.prefix + QStringLiteral(":Selected comm port is not open.");
        return false;
    }
    x.regText = RegisterText(group, userReg, reg);
    if (reg < 1) {
        ErrCode = -1;
        ErrText = x.prefix + QStringLiteral(":Invalid Modbus Register >") + x.regText;
        return false;
    }
    return true;
}

bool InvalidRegisterType(const Exchange& x, int regType, QString& ErrText, int& ErrCode)
{
    ErrCode = -1;
    ErrText = x.prefix + QStringLiteral(":Invalid Register Type") + rt::Str(regType);
    return false;
}

// Address, function and the register field (one less than the register in
// group 0).
QByteArray RequestHead(const Exchange& x, int group, int reg)
{
    QByteArray bytes;
    bytes.append(char(x.address & 0xFF));
    bytes.append(char(x.function));
    PutWord(bytes, group == 0 ? reg - 1 : reg);
    return bytes;
}

} // namespace

bool RunModbus(const Exchange& x, const std::function<Attempt(QString& msg, int& code)>& attempt,
               QString& ErrText, int& ErrCode)
{
    return TwoAttempts(
        [&](QString& msg) {
            int code = 0;
            const Attempt a = attempt(msg, code);
            if (a == Attempt::Refused) {
                // A code of 0 is no success: the instrument refused the request.
                ErrCode = code == 0 ? -1 : code;
                QString text = x.prefix + ExceptionMessage(code) + x.regText;
                if (code == 3 && x.valueTail)
                    text += x.valueTail();
                ErrText = text;
            }
            return a;
        },
        [&](const QString& msg, bool last) {
            ErrText = x.prefix + msg + x.regText;
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
        if (!(v >= -32768.0f && v <= 32767.0f)) {
            ErrCode = -1;
            ErrText = x.prefix + QStringLiteral(":Invalid Modbus Write Value") + rt::StrSingle(v)
                + QStringLiteral(" at Register >") + x.regText;
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
