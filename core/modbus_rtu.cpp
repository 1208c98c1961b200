// Modbus RTU: binary frames with a CRC-16, one exchange per call, at most two
// attempts, exception replies reported at once.
#include <functional>

#include "core/exchange.h"
#include "core/helpers.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

namespace modZarn {

QByteArray ModbusCRC16(const QByteArray& Frame)
{
    unsigned crc = 0xFFFF;
    for (char ch : Frame) {
        unsigned b = static_cast<unsigned char>(ch);
        for (int bit = 0; bit < 8; ++bit) {
            const bool differ = ((crc ^ b) & 1) != 0;
            crc >>= 1;
            if (differ)
                crc ^= 0xA001;
            b >>= 1;
        }
    }
    QByteArray out(2, '\0');
    out[0] = char(crc & 0xFF);
    out[1] = char((crc >> 8) & 0xFF);
    return out;
}

namespace {

using namespace xchg;

const QString kNoResponse = QStringLiteral(":No response from instrument at register");
const QString kTooShort = QStringLiteral(":Too short of response from instrument at register");
const QString kBadCrc = QStringLiteral(":Bad CRC or communications noise from instrument at register");
const QString kBadAddress = QStringLiteral(":Incorrect Address Returned from instrument at register");
const QString kBadCode = QStringLiteral(":Incorrect Modbus Code Returned from instrument at register");
const QString kBadByteCount = QStringLiteral(":Incorrect Byte Count Returned from instrument at register");
const QString kBadRegister = QStringLiteral(":Incorrect Register Number Returned from instrument at register");
const QString kBadCount = QStringLiteral(":Incorrect Register Count Returned from instrument at register");
const QString kBadExceptionCrc = QStringLiteral(":Bad CRC on exception error from instrument at register");

// Byte `pos` (counted from 1) of a frame, -1 when the frame is shorter.
int ByteAt(const QByteArray& frame, int pos)
{
    return pos >= 1 && pos <= frame.size() ? static_cast<unsigned char>(frame[pos - 1]) : -1;
}

bool CrcMatches(const QByteArray& reply)
{
    const int n = int(reply.size());
    return n >= 2 && ModbusCRC16(reply.left(n - 2)) == reply.right(2);
}

void PutWord(QByteArray& frame, int v)
{
    frame.append(char((v >> 8) & 0xFF));
    frame.append(char(v & 0xFF));
}

// Everything an exchange needs to know besides the request.
struct Exchange {
    QString prefix;  // "Address " and the address text
    QString regText; // the register tail of every text
    int address = 0;
    int function = 0;
    int expectedLength = 0;
    // Returns "" when the complete reply is good, else the failure message.
    std::function<QString(const QByteArray&)> check;
    // Appended to the text of exception 3 (the write names its value).
    std::function<QString()> valueTail;
};

// Runs up to two attempts. True: `reply` passed every check (the caller
// decodes it). False: ErrCode and ErrText hold the outcome.
bool Run(const Exchange& x, const QByteArray& request, QByteArray& reply, QString& ErrText,
         int& ErrCode)
{
    const int addrByte = x.address & 0xFF;
    for (int attempts = 0;;) {
        SendRequest(request);
        reply.clear();
        const Collect got = CollectReply(
            [&](char c) {
                reply.append(c);
                return reply.size() >= x.expectedLength;
            },
            [&] {
                return reply.size() >= 5 && ByteAt(reply, 1) == addrByte
                    && ByteAt(reply, 2) == ((x.function + 128) & 0xFF);
            });
        QString msg;
        if (got == Collect::Stopped) {
            if (ModbusCRC16(reply.left(3)) == reply.mid(3, 2)) {
                const int code = ByteAt(reply, 3);
                // A code of 0 is no success: the instrument refused the request.
                ErrCode = code == 0 ? -1 : code;
                QString text = x.prefix + ExceptionMessage(code) + x.regText;
                if (code == 3 && x.valueTail)
                    text += x.valueTail();
                ErrText = text;
                return false;
            }
            msg = kBadExceptionCrc;
        } else if (got == Collect::TimedOut) {
            msg = reply.isEmpty() ? kNoResponse : kTooShort;
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

} // namespace

void ModbusRead_R(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                  int Register, int RegType, int Count, QVector<float>& Values)
{
    try {
        Exchange x;
        if (!ModbusEntry(Group, UserReg, ErrText, ErrCode, Address, Register, x.prefix, x.regText))
            return;
        x.address = Address;
        const bool bits = RegType == 1 || RegType == 2;
        switch (RegType) {
        case 1: case 2: case 3: case 4: x.function = RegType; break;
        case 5: x.function = 103; break;
        default: InvalidRegisterType(x.prefix, RegType, ErrText, ErrCode); return;
        }
        const int dataBytes = bits ? (Count + 7) / 8 : 2 * Count;
        x.expectedLength = dataBytes + 5;

        QByteArray request;
        request.append(char(Address & 0xFF));
        request.append(char(x.function));
        PutWord(request, RegisterField(Group, Register));
        PutWord(request, Count);
        request.append(ModbusCRC16(request));

        x.check = [&](const QByteArray& r) -> QString {
            if (!CrcMatches(r)) return kBadCrc;
            if (ByteAt(r, 1) != (Address & 0xFF)) return kBadAddress;
            if (ByteAt(r, 2) != x.function) return kBadCode;
            if (ByteAt(r, 3) != dataBytes) return kBadByteCount;
            return {};
        };
        QByteArray reply;
        if (!Run(x, request, reply, ErrText, ErrCode))
            return;

        if (Count >= 1)
            Item(Values, Count); // the whole range must exist before anything is stored
        for (int i = 1; i <= Count; ++i) {
            if (bits) {
                const int data = ByteAt(reply, (i - 1) / 8 + 4);
                Item(Values, i) = (data >> ((i - 1) % 8)) & 1;
            } else {
                int v = 256 * ByteAt(reply, 2 * i + 2) + ByteAt(reply, 2 * i + 3);
                if (v > 32767)
                    v -= 65536;
                Item(Values, i) = float(v);
            }
        }
        ErrCode = 0;
        ErrText.clear();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ModbusRead_R"));
    }
}

void ModbusWrite_R(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                   int Register, int RegType, int Count, QVector<float>& Values)
{
    try {
        Exchange x;
        if (!ModbusEntry(Group, UserReg, ErrText, ErrCode, Address, Register, x.prefix, x.regText))
            return;
        x.address = Address;
        if (!WriteValuesFit(x.prefix, x.regText, Count, Values, ErrText, ErrCode))
            return;

        QByteArray request;
        request.append(char(Address & 0xFF));
        if (RegType == 1) {
            x.function = 5;
            request.append(char(x.function));
            PutWord(request, RegisterField(Group, Register));
            PutWord(request, Item(Values, 1) != 0 ? 0xFF00 : 0x0000);
        } else if (RegType == 3) {
            x.function = 16;
            request.append(char(x.function));
            PutWord(request, RegisterField(Group, Register));
            PutWord(request, Count);
            request.append(char((2 * Count) & 0xFF));
            for (int i = 1; i <= Count; ++i) {
                // Round first, then send both bytes of the one 16-bit pattern,
                // so a fractional value cannot split into bytes of different numbers.
                PutWord(request, int(rt::RoundHalfEven(Item(Values, i))) & 0xFFFF);
            }
        } else {
            InvalidRegisterType(x.prefix, RegType, ErrText, ErrCode);
            return;
        }
        request.append(ModbusCRC16(request));
        x.expectedLength = 8;
        x.valueTail = [&] { return QStringLiteral(". Value=") + rt::StrSingle(Item(Values, 1)); };
        x.check = [&](const QByteArray& r) -> QString {
            if (!CrcMatches(r)) return kBadCrc;
            if (ByteAt(r, 1) != (Address & 0xFF)) return kBadAddress;
            if (ByteAt(r, 2) != x.function) return kBadCode;
            if (r.mid(2, 2) != request.mid(2, 2)) return kBadRegister;
            if (r.mid(4, 2) != request.mid(4, 2)) return kBadCount;
            return {};
        };
        QByteArray reply;
        if (!Run(x, request, reply, ErrText, ErrCode))
            return;
        ErrCode = 0;
        ErrText.clear();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ModbusWrite_R"));
    }
}

} // namespace modZarn
