// Modbus RTU: binary frames with a CRC-16, one exchange per call, at most two
// attempts, exception replies reported at once.
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

const QString kBadCrc = QStringLiteral(":Bad CRC or communications noise from instrument at register");
const QString kBadByteCount = QStringLiteral(":Incorrect Byte Count Returned from instrument at register");
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

// Judges one attempt from what the line delivered: a complete reply is
// checked by the exchange's own check; an exception reply must carry its CRC.
Verdict Judge(const Exchange& x, Collect got, const QByteArray& reply)
{
    switch (got) {
    case Collect::Stopped:
        if (ModbusCRC16(reply.left(3)) == reply.mid(3, 2))
            return {Attempt::Refused, {}, ByteAt(reply, 3)};
        return {Attempt::Failed, kBadExceptionCrc};
    case Collect::Complete: {
        const QString msg = x.check(reply);
        return {msg.isEmpty() ? Attempt::Good : Attempt::Failed, msg};
    }
    case Collect::Gone: return {Attempt::Gone, {}, 0};
    case Collect::TooLong: return {Attempt::Failed, kTooLong};
    case Collect::Noise: return {Attempt::Failed, kBadCrc}; // a character failed its parity
    case Collect::TimedOut: break;
    }
    return {Attempt::Failed, reply.isEmpty() ? kNoResponse : kTooShort};
}

// Runs up to two attempts, collecting `expectedLength` bytes or an exception
// reply. True: `reply` passed every check (the caller decodes it). False:
// ErrCode and ErrText hold the outcome.
bool Run(const Exchange& x, int expectedLength, QByteArray& reply, QString& ErrText, int& ErrCode)
{
    return RunModbus(x, x.request, ReplyFramer::Length(expectedLength, x.address, x.function + 128).naming({'R'}),
                     [&](Collect got, const QByteArray& r) { return Judge(x, got, r); }, reply, ErrText,
                     ErrCode);
}

} // namespace

void ModbusRead_R(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                  int Register, int RegType, int Count, QVector<float>& Values)
{
    try {
        Exchange x;
        QByteArray bytes;
        if (!ModbusReadEntry(Group, UserReg, ErrText, ErrCode, Address, Register, RegType, Count, x,
                             bytes))
            return;
        x.request = bytes + ModbusCRC16(bytes);
        const bool bits = RegType == 1 || RegType == 2;
        const int dataBytes = bits ? (Count + 7) / 8 : 2 * Count;
        x.check = [&](const QByteArray& r) -> QString {
            if (!CrcMatches(r)) return kBadCrc;
            if (ByteAt(r, 1) != Address) return kBadAddress;
            if (ByteAt(r, 2) != x.function) return kBadCode;
            if (ByteAt(r, 3) != dataBytes) return kBadByteCount;
            return {};
        };
        QByteArray reply;
        if (!Run(x, dataBytes + 5, reply, ErrText, ErrCode))
            return;

        // The data bytes follow address, function and byte count.
        StoreItems(Values, UnpackItems(bits, Count, [&](int k) { return ByteAt(reply, 4 + k); }));
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
        QByteArray& request = x.request;
        if (!ModbusWriteEntry(Group, UserReg, ErrText, ErrCode, Address, Register, RegType, 16,
                              Count, Values, x, request))
            return;
        if (RegType == 3) {
            PutWord(request, Count);
            request.append(char((2 * Count) & 0xFF));
            for (int i = 1; i <= Count; ++i) {
                // Round first, then send both bytes of the one 16-bit pattern,
                // so a fractional value cannot split into bytes of different numbers.
                PutWord(request, int(rt::RoundHalfEven(Item(Values, i))) & 0xFFFF);
            }
        }
        request.append(ModbusCRC16(request));
        x.check = [&](const QByteArray& r) -> QString {
            if (!CrcMatches(r)) return kBadCrc;
            if (ByteAt(r, 1) != Address) return kBadAddress;
            if (ByteAt(r, 2) != x.function) return kBadCode;
            if (r.mid(2, 2) != request.mid(2, 2)) return kBadRegister;
            if (r.mid(4, 2) != request.mid(4, 2)) return kBadCount;
            return {};
        };
        QByteArray reply;
        if (!Run(x, 8, reply, ErrText, ErrCode))
            return;
        ErrCode = 0;
        ErrText.clear();
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.ModbusWrite_R"));
    }
}

} // namespace modZarn
