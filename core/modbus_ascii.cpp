// Modbus ASCII: frames of hexadecimal pairs between ":" and CR LF with an LRC,
// one exchange per call, at most two attempts, exception replies at once.
#include <cmath>
#include <functional>

#include "core/exchange.h"
#include "core/helpers.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

namespace modZarn {

QByteArray ModbusLRC(const QByteArray& Bytes)
{
    unsigned sum = 0;
    for (char c : Bytes)
        sum = (sum + static_cast<unsigned char>(c)) & 0xFF;
    return Hex2(int((0x100 - sum) & 0xFF)).toLatin1();
}

namespace {

using namespace xchg;

const QString kNoResponse = QStringLiteral(":No response from instrument at register");
const QString kTooShort = QStringLiteral(":Too short of response from instrument at register");
const QString kBadAddress = QStringLiteral(":Incorrect Address Returned from instrument at register");
const QString kBadCode = QStringLiteral(":Incorrect Modbus Code Returned from instrument at register");
const QString kBadRegister = QStringLiteral(":Incorrect Register Number Returned from instrument at register");
const QString kBadCount = QStringLiteral(":Incorrect Register Count Returned from instrument at register");
const QString kReplyShort = QStringLiteral(":Response too short from instrument at register");
const QString kBadLrc = QStringLiteral(":Checksum error from instrument at register");

// A reply digit: letters above "9" count from 10 at "A", so replies are
// expected in upper case.
int Digit(const QByteArray& reply, int pos)
{
    const int c = pos >= 1 && pos <= reply.size() ? static_cast<unsigned char>(reply[pos - 1]) : 0;
    return c > '9' ? c - 55 : c - 48;
}

// The byte spelled by the pair at `pos` (counted from 1).
int PairAt(const QByteArray& reply, int pos) { return 16 * Digit(reply, pos) + Digit(reply, pos + 1); }

QByteArray Pair(int v) { return Hex2(v).toLatin1(); }

struct Exchange {
    QString prefix;
    QString regText;
    int function = 0;
    QByteArray request; // without CR LF, kept for the echo checks
    // Checks and decodes a reply whose address and function already match:
    // "" when good, else the failure message.
    std::function<QString(const QByteArray&)> check;
    std::function<QString()> valueTail;
};

bool Run(const Exchange& x, QString& ErrText, int& ErrCode)
{
    const QByteArray wire = x.request + QByteArrayLiteral("\r\n");
    for (int attempts = 0;;) {
        SendRequest(wire);
        QByteArray reply;
        const Collect got = CollectReply([&](char c) {
            if (c == '\n')
                return true;
            reply.append(c);
            return false;
        });
        QString msg;
        if (got != Collect::Complete) {
            msg = reply.isEmpty() ? kNoResponse : kTooShort;
        } else if (reply.mid(1, 2) != x.request.mid(1, 2)) {
            msg = kBadAddress;
        } else if (reply.size() >= 9 && reply[3] == '8' && reply[4] >= '0' && reply[4] <= '9'
                   && reply[4] - '0' == x.function) {
            const int code = Digit(reply, 7);
            // A code of 0 is no success: the instrument refused the request.
            ErrCode = code == 0 ? -1 : code;
            QString text = x.prefix + ExceptionMessage(code) + x.regText;
            if (code == 3 && x.valueTail)
                text += x.valueTail();
            ErrText = text;
            return false;
        } else if (reply.mid(3, 2) != x.request.mid(3, 2)) {
            msg = kBadCode;
        } else {
            msg = x.check(reply);
            if (msg.isEmpty())
                return true;
        }
        ErrText = x.prefix + msg + x.regText;
        if (++attempts >= 2) {
            ErrCode = -1;
            return false;
        }
    }
}

QByteArray Frame(const QByteArray& bytes)
{
    QByteArray f(":");
    for (char c : bytes)
        f += Pair(static_cast<unsigned char>(c));
    return f + ModbusLRC(bytes);
}

void PutWord(QByteArray& bytes, int v)
{
    bytes.append(char((v >> 8) & 0xFF));
    bytes.append(char(v & 0xFF));
}

} // namespace

void ModbusRead_A(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                  int Register, int RegType, int Count, QVector<float>& Values)
{
    try {
        Exchange x;
        if (!ModbusEntry(Group, UserReg, ErrText, ErrCode, Address, Register, x.prefix, x.regText))
            return;
        switch (RegType) {
        case 1: case 2: case 3: case 4: x.function = RegType; break;
        case 5: x.function = 103; break;
        default: InvalidRegisterType(x.prefix, RegType, ErrText, ErrCode); return;
        }
        const bool bits = RegType <= 2;
        QByteArray bytes;
        bytes.append(char(Address & 0xFF));
        bytes.append(char(x.function));
        PutWord(bytes, RegisterField(Group, Register));
        PutWord(bytes, Count);
        x.request = Frame(bytes);

        const int dataBytes = bits ? (Count - 1) / 8 + 1 : 2 * Count;
        QVector<float> items; // stored into Values only once the LRC agrees
        x.check = [&](const QByteArray& r) -> QString {
            if (r.size() < 2 * dataBytes + 9)
                return kReplyShort;
            QByteArray summed;
            summed.append(char(Address & 0xFF));
            summed.append(char(x.function));
            summed.append(char(PairAt(r, 6)));
            for (int k = 0; k < dataBytes; ++k)
                summed.append(char(PairAt(r, 8 + 2 * k)));
            items.clear();
            for (int i = 1; i <= Count; ++i) {
                if (bits) {
                    const int data = PairAt(r, 8 + 2 * ((i - 1) / 8));
                    items.append(float((data >> ((i - 1) % 8)) & 1));
                } else {
                    int v = 256 * PairAt(r, 4 * i + 4) + PairAt(r, 4 * i + 6);
                    if (v > 32767)
                        v -= 65536;
                    items.append(float(v));
                }
            }
            if (r.mid(7 + 2 * dataBytes, 2) != ModbusLRC(summed))
                return kBadLrc;
            return {};
        };
        if (!Run(x, ErrText, ErrCode))
            return;
        if (Count >= 1)
            Item(Values, Count);
        for (int i = 1; i <= Count; ++i)
            Item(Values, i) = items[i - 1];
        ErrCode = 0;
        ErrText.clear();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ModbusRead_A"));
    }
}

void ModbusWrite_A(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                   int Register, int RegType, int Count, QVector<float>& Values)
{
    try {
        Exchange x;
        if (!ModbusEntry(Group, UserReg, ErrText, ErrCode, Address, Register, x.prefix, x.regText))
            return;
        if (!WriteValuesFit(x.prefix, x.regText, Count, Values, ErrText, ErrCode))
            return;
        QByteArray bytes;
        bytes.append(char(Address & 0xFF));
        if (RegType == 1) {
            x.function = 5;
            bytes.append(char(x.function));
            PutWord(bytes, RegisterField(Group, Register));
            // The caller's value stays as it was; only the wire carries FF00.
            PutWord(bytes, Item(Values, 1) != 0 ? 0xFF00 : 0x0000);
        } else if (RegType == 3) {
            x.function = 6;
            bytes.append(char(x.function));
            PutWord(bytes, RegisterField(Group, Register));
            const double v = Item(Values, 1);
            const double high = std::floor(v / 256);
            const double low = std::floor(v - 256 * high);
            bytes.append(char(int(high) & 0xFF));
            bytes.append(char(int(low) & 0xFF));
        } else {
            InvalidRegisterType(x.prefix, RegType, ErrText, ErrCode);
            return;
        }
        x.request = Frame(bytes);
        x.valueTail = [&] { return QStringLiteral(". Value=") + rt::StrSingle(Item(Values, 1)); };
        x.check = [&](const QByteArray& r) -> QString {
            if (r.mid(5, 4) != x.request.mid(5, 4))
                return kBadRegister;
            if (r.mid(9, 4) != x.request.mid(9, 4))
                return kBadCount;
            QByteArray summed;
            for (int pos = 2; pos <= 12; pos += 2)
                summed.append(char(PairAt(r, pos)));
            if (r.mid(13, 2) != ModbusLRC(summed))
                return kBadLrc;
            return {};
        };
        if (!Run(x, ErrText, ErrCode))
            return;
        ErrCode = 0;
        ErrText.clear();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ModbusWrite_A"));
    }
}

} // namespace modZarn
