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

QString RegisterText(int group, int userReg, int reg)
{
    if (group == 0)
        return QStringLiteral(" ") + rt::CStr(reg);
    QString t = QStringLiteral(" ") + rt::Hex(reg) + QStringLiteral("H");
    if (userReg > 0)
        t += QStringLiteral(" (") + rt::CStr(userReg) + QStringLiteral(")");
    return t;
}

bool ModbusEntry(int group, int userReg, QString& ErrText, int& ErrCode, int address, int reg,
                 QString& prefix, QString& regText)
{
    ErrCode = 0;
    ErrText.clear();
    if (gDemoMode)
        return false;
    prefix = QStringLiteral("Address ") + AddressToText(group, address);
    if (!gCommOK) {
        ErrCode = -1;
        ErrText = prefix + QStringLiteral(":Selected comm port is not open.");
        return false;
    }
    regText = RegisterText(group, userReg, reg);
    if (reg < 1) {
        ErrCode = -1;
        ErrText = prefix + QStringLiteral(":Invalid Modbus Register >") + regText;
        return false;
    }
    return true;
}

void InvalidRegisterType(const QString& prefix, int regType, QString& ErrText, int& ErrCode)
{
    ErrCode = -1;
    ErrText = prefix + QStringLiteral(":Invalid Register Type") + rt::Str(regType);
}

bool WriteValuesFit(const QString& prefix, const QString& regText, int count,
                    QVector<float>& values, QString& ErrText, int& ErrCode)
{
    for (int i = 1; i <= count; ++i) {
        const float v = Item(values, i);
        if (!(v >= -32768.0f && v <= 32767.0f)) {
            ErrCode = -1;
            ErrText = prefix + QStringLiteral(":Invalid Modbus Write Value") + rt::StrSingle(v)
                + QStringLiteral(" at Register >") + regText;
            return false;
        }
    }
    return true;
}

int RegisterField(int group, int reg) { return group == 0 ? reg - 1 : reg; }

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

} // namespace modZarn::xchg
