// "Zarn Link": the maker's ASCII protocol. Requests are STX "Z" address
// command [data] checksum ETX; replies end with ACK. One exchange per call,
// at most two attempts, refusals reported at once.
#include <cmath>

#include "core/exchange.h"
#include "core/helpers.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

namespace modZarn {

namespace {

using namespace xchg;

constexpr char STX = 2;
constexpr char ETX = 3;
constexpr char ACK = 6;

// Characters `from`..`to` (counted from 1) of a reply as text.
QString Chars(const QByteArray& reply, int from, int to)
{
    return QString::fromLatin1(reply.mid(from - 1, std::max(0, to - from + 1)));
}
double DecValue(const QByteArray& reply, int from, int to) { return rt::Val(Chars(reply, from, to)); }
double HexValue(const QByteArray& reply, int from, int to)
{
    return rt::Val(QStringLiteral("&H") + Chars(reply, from, to));
}

// A refusal: exactly seven characters with "N" in the fifth place.
bool IsRefusal(const QByteArray& reply)
{
    return reply.size() == 7 && (reply[4] == 'N' || reply[4] == 'n');
}

// The error code and message of a refusal code.
int RefusalCode(int code, QString& msg)
{
    switch (code) {
    case 1: msg = QStringLiteral(":Illegal Data Address response from instrument"); return 2;
    case 2: msg = QStringLiteral(":Check-sum error on received data from Host from instrument"); return 1;
    case 3: msg = QStringLiteral(":Illegal Data Value response from instrument"); return 3;
    case 4: msg = QStringLiteral(":Illegal ASCII characters received in command from instrument"); return 4;
    case 5: msg = QStringLiteral(":Data field error from instrument"); return 5;
    case 6: msg = QStringLiteral(":Undefined command from instrument"); return 6;
    case 8: case 9:
        msg = QStringLiteral(":Hardware fault. Return to factory for service from instrument");
        return code;
    case 10: msg = QStringLiteral(":Undefined command from instrument"); return 2;
    default:
        msg = QStringLiteral(":Unknown or unused error code: ") + rt::Str(code)
            + QStringLiteral(" from instrument");
        // A refusal is never a success, whatever its code says.
        return code == 0 ? -1 : code;
    }
}

// No reply of the protocol comes near this many characters before its ACK
// (the fixed layouts take at most sixteen); more is a line that never ends.
constexpr int kLongestReply = 255;

// Judges one attempt from the reply collected up to its ACK. Failed: `msg`
// holds the message.
Attempt Judge(Collect got, const QByteArray& reply, QString& msg)
{
    if (got == Collect::Gone)
        return Attempt::Gone;
    const QString badSum = QStringLiteral(":Check-sum error on received data from instrument");
    if (got == Collect::Noise) { // a character failed its parity
        msg = badSum;
        return Attempt::Failed;
    }
    if (got != Collect::Complete) {
        msg = reply.isEmpty() ? QStringLiteral(":No response from instrument")
                              : QStringLiteral(":Response but no <ACK> received");
        return Attempt::Failed;
    }
    if (IsRefusal(reply))
        return Attempt::Refused;
    if (reply.size() < 4) {
        msg = QStringLiteral(":Length of received data from instrument is too short");
        return Attempt::Failed;
    }
    const int n = int(reply.size());
    if (ZarnLinkChecksum(reply.mid(1, n - 3)) != reply.right(2)) {
        msg = badSum;
        return Attempt::Failed;
    }
    return Attempt::Good;
}

// Sends the request to `address` and collects the reply up to the ACK.
Attempt Transact(int address, const QByteArray& request, QByteArray& reply, QString& msg)
{
    ReplyFramer framer = ReplyFramer::Terminated(ACK, kLongestReply).naming({'Z', address & 0xFF});
    const Collect got = TheLine().exchange(request, framer);
    reply = framer.reply();
    return Judge(got, reply, msg);
}

// Reports a failed attempt; the code is -1 from the first failure on.
auto Failed(QString& ErrText, int& ErrCode, const QString& prefix, int reg, const QString& cmdText)
{
    return [&ErrText, &ErrCode, &prefix, reg, &cmdText](const QString& msg, bool) {
        ErrCode = -1;
        ErrText = prefix + msg + CommandRefText(reg, cmdText);
    };
}

QByteArray Request(int address, const QByteArray& body)
{
    const QByteArray addr = Hex2(address).toLatin1();
    return QByteArray(1, STX) + 'Z' + addr + body + ZarnLinkChecksum(addr + body) + ETX;
}

// Entry of every read and write: clears the outputs, then ends the call
// (false) in demo mode, when the port is not open, when the address is off
// the line or when the command is negative (`invalid` and the command). Otherwise fills `prefix` and returns
// true; `cmdRef` names the command in decimal and hexadecimal.
bool ZarnEntry(QString& ErrText, int& ErrCode, QByteArray& Reply, int address, int cmd,
               const QString& invalid, QString& prefix, QString& cmdRef)
{
    ErrCode = 0;
    ErrText.clear();
    Reply.clear();
    if (gDemoMode)
        return false;
    prefix = AddressPrefix(0, address);
    if (!PortReady(prefix, ErrText, ErrCode))
        return false;
    if (!AddressAccepted(0, address, ErrText, ErrCode))
        return false;
    cmdRef = rt::Str(cmd) + QStringLiteral(" (") + Hex4(float(cmd)) + QStringLiteral(")");
    if (cmd < 0) {
        ErrCode = -1;
        ErrText = prefix + invalid + cmdRef;
        return false;
    }
    return true;
}

int MinimumLength(int cmd)
{
    if (cmd == 0) return 14;
    if (cmd == 5) return 16;
    if (cmd >= 0x100 && cmd <= 0x199) return 12;
    if (cmd == 0x701 || cmd == 0x702 || (cmd >= 0x730 && cmd <= 0x735)) return 16;
    return 8;
}

} // namespace

QByteArray ZarnLinkChecksum(const QByteArray& Text)
{
    unsigned sum = 0;
    for (char c : Text)
        sum = (sum + static_cast<unsigned char>(c)) & 0xFF;
    return Hex2(int(sum)).toLatin1();
}

QString CommandRefText(int Register, const QString& CmdText)
{
    if (Register != 0)
        return QStringLiteral(" for register") + rt::Str(Register) + QStringLiteral(" (") + CmdText
            + QStringLiteral(")");
    return QStringLiteral(" for command ") + CmdText;
}

QString Decode(const QByteArray& Data, float& Value, float& Divisor, QString& UnitText,
               QString& FormatText)
{
    try {
        const int status = int(HexValue(Data, 1, 2));
        const double digits = DecValue(Data, 3, 6);
        switch (status & 6) {
        case 2: UnitText = QString(QChar(0xB0)) + QStringLiteral("F"); break;
        case 4: UnitText = QString(QChar(0xB0)) + QStringLiteral("C"); break;
        case 6: UnitText = QStringLiteral("Er"); break;
        default: UnitText.clear(); break;
        }
        switch (status & 48) {
        case 16: Divisor = 10; FormatText = QStringLiteral("#,##0.0"); break;
        case 32: Divisor = 100; FormatText = QStringLiteral("#,##0.00"); break;
        case 48: Divisor = 1000; FormatText = QStringLiteral("#,##0.000"); break;
        default: Divisor = 1; FormatText = QStringLiteral("#,##0"); break;
        }
        Value = float((status & 1 ? -1 : 1) * digits / Divisor);
        return rt::Format(Value, FormatText);
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.Decode"));
        return {};
    }
}

void ZarnLinkRead(QString& ErrText, int& ErrCode, int Address, int Cmd, QString& ValueText,
                  QString& UnitText, QString& FormatText, float& Value, float& Divisor,
                  int& Alarm1, int& Alarm2, int Register, QByteArray& Reply, float& Raw)
{
    try {
        QString prefix, cmdRef;
        if (!ZarnEntry(ErrText, ErrCode, Reply, Address, Cmd,
                       QStringLiteral(":Invalid Zarn Link Read Register >"), prefix, cmdRef))
            return;
        if ((Cmd >= 0x200 && Cmd <= 0x299) || (Cmd >= 0x400 && Cmd <= 0x499)) {
            ErrCode = -1;
            ErrText = prefix + QStringLiteral(":Invalid Zarn Link Read Register (It is a write command.) >")
                + cmdRef;
            return;
        }
        const QString cmdText = Cmd < 0x100 ? Hex2(Cmd) : Hex4(float(Cmd));
        const QByteArray request = Request(Address, cmdText.toLatin1());

        const auto attempt = [&](QString& msg) {
            if (gCmdGapRequired) {
                // Some line adapters lose a command sent too soon after the
                // previous one to the same instrument.
                if (gLastZarnReadAddress == Address && Cmd != 0)
                    WaitUntilElapsed(gLastZarnReadTime, 0.1);
                gLastZarnReadTime = Clock::timer();
                gLastZarnReadAddress = Address;
            }
            const Attempt a = Transact(Address, request, Reply, msg);
            if (a == Attempt::Refused) {
                ErrCode = RefusalCode(int(DecValue(Reply, 6, 7)), msg);
                ErrText = prefix + msg + CommandRefText(Register, cmdText);
            } else if (a == Attempt::Good && Reply.size() < MinimumLength(Cmd)) {
                msg = QStringLiteral(":Returned message too short for reading");
                return Attempt::Failed;
            }
            return a;
        };
        if (!TwoAttempts([&prefix] { return prefix; }, ErrText, ErrCode, attempt, Failed(ErrText, ErrCode, prefix, Register, cmdText)))
            return;

        const int n = int(Reply.size());
        if (Cmd == 0) {
            const int status = int(HexValue(Reply, 5, 6));
            Alarm1 = status & 8 ? -1 : 0;
            Alarm2 = status & 4 ? -1 : 0;
            ValueText = Decode(Reply.mid(6, 6), Value, Divisor, UnitText, FormatText);
            Raw = float(HexValue(Reply, 5, 8));
        } else if (Cmd == 5) {
            Value = 0;
            Divisor = 1;
            Raw = float(HexValue(Reply, 5, 8));
        } else if (Cmd >= 0x100 && Cmd <= 0x199) {
            ValueText = Decode(Reply.mid(4, 6), Value, Divisor, UnitText, FormatText);
            Raw = float(HexValue(Reply, 5, 6));
        } else if (Cmd == 0x700) {
            ValueText = Chars(Reply, 5, n - 2);
            Value = 0;
            Divisor = 1;
            Raw = 0;
        } else if (Cmd == 0x701) {
            Value = float(DecValue(Reply, 7, 10));
            Divisor = 1;
            Raw = float(HexValue(Reply, 7, 10));
        } else if (Cmd == 0x702) {
            ValueText = Chars(Reply, 5, 10);
            Value = 0;
            Divisor = 1;
            Raw = 0;
        } else if (Cmd >= 0x730 && Cmd <= 0x735) {
            Value = float(DecValue(Reply, 5, 8));
            Divisor = 1;
            Raw = float(HexValue(Reply, 5, 8));
        } else {
            Value = float(DecValue(Reply, 5, 6));
            Divisor = 1;
            Raw = float(HexValue(Reply, 5, 6));
        }
        ErrCode = 0;
        ErrText.clear();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ZarnLinkRead"));
    }
}

void ZarnLinkWrite(QString& ErrText, int& ErrCode, int Address, int Cmd, float Value, int Register,
                   QByteArray& Reply, bool HexData)
{
    try {
        QString prefix, cmdRef;
        if (!ZarnEntry(ErrText, ErrCode, Reply, Address, Cmd,
                       QStringLiteral(":Invalid Write Zarn Link Register >"), prefix, cmdRef))
            return;
        float lower = 0, upper = 0;
        ZarnWriteLimits(HexData, lower, upper);
        if (!(Value >= lower && Value <= upper)) {
            ErrCode = 3;
            ErrText = prefix + QStringLiteral(":Invalid Zarn Link Write Data Value for Register >") + cmdRef
                + QStringLiteral(". Value=") + rt::StrSingle(Value);
            return;
        }
        const QString cmdText = Hex4(float(Cmd));
        QString data;
        if (Cmd < 0x400) {
            if (HexData)
                data = Hex4(Value) + QStringLiteral("00");
            else
                data = rt::Format(std::fabs(double(Value)), QStringLiteral("0000"))
                    + (Value < 0 ? QStringLiteral("FF") : QStringLiteral("00"));
        }
        const QByteArray request = Request(Address, (cmdText + data).toLatin1());

        const auto attempt = [&](QString& msg) {
            const Attempt a = Transact(Address, request, Reply, msg);
            if (a == Attempt::Refused) {
                const int code = int(DecValue(Reply, 6, 7));
                ErrCode = RefusalCode(code, msg);
                QString text = prefix + msg + CommandRefText(Register, cmdText);
                if (code == 3)
                    text += QStringLiteral(". Value=") + rt::StrSingle(Value);
                ErrText = text;
            }
            return a;
        };
        if (!TwoAttempts([&prefix] { return prefix; }, ErrText, ErrCode, attempt, Failed(ErrText, ErrCode, prefix, Register, cmdText)))
            return;
        ErrCode = 0;
        ErrText.clear();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ZarnLinkWrite"));
    }
}

} // namespace modZarn
