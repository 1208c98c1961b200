// Modbus ASCII: frames of hexadecimal pairs between ":" and CR LF with an LRC,
// one exchange per call, at most two attempts, exception replies at once.
#include <algorithm>
#include <cctype>
#include <cmath>

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

const QString kReplyShort = QStringLiteral(":Response too short from instrument at register");
const QString kBadLrc = QStringLiteral(":Checksum error from instrument at register");

// A reply's hexadecimal digit at `pos` (counted from 1), in either case;
// -1 for any other character or none.
int Digit(const QByteArray& reply, int pos)
{
    if (pos < 1 || pos > reply.size() || !std::isxdigit(static_cast<unsigned char>(reply[pos - 1])))
        return -1;
    return QByteArray(1, reply[pos - 1]).toInt(nullptr, 16);
}

// The byte spelled by the pair at `pos` (counted from 1); -1 when the pair
// is no hexadecimal byte. Replies are compared and summed by these bytes,
// never by their characters, so the case of the digits does not count.
int PairAt(const QByteArray& reply, int pos)
{
    const int high = Digit(reply, pos), low = Digit(reply, pos + 1);
    return high < 0 || low < 0 ? -1 : 16 * high + low;
}

// The LRC byte of `bytes`.
int LrcByte(const QByteArray& bytes) { return ModbusLRC(bytes).toInt(nullptr, 16); }

// True when the pairs of `reply` from `pos` spell the bytes that `request`
// carries from the same position (a request is always upper case).
bool EchoesBytes(const QByteArray& reply, const QByteArray& request, int pos, int pairs)
{
    for (int k = 0; k < pairs; ++k) {
        const int at = pos + 2 * k;
        if (PairAt(reply, at) < 0 || PairAt(reply, at) != PairAt(request, at))
            return false;
    }
    return true;
}

QByteArray Pair(int v) { return Hex2(v).toLatin1(); }

// The longest reply the protocol knows: a colon, 255 bytes as hex pairs
// (address, function, 252 data bytes, LRC) and the CR, before the LF.
constexpr int kLongestReply = 1 + 2 * 255 + 1;

// Judges one attempt from the reply collected up to its LF. The address and
// the function are checked here, the rest by the exchange's check.
Verdict Judge(const Exchange& x, Collect got, const QByteArray& reply)
{
    if (got == Collect::Gone)
        return {Attempt::Gone, {}, 0};
    if (got == Collect::TooLong)
        return {Attempt::Failed, kTooLong};
    if (got == Collect::Noise) // a character failed its parity
        return {Attempt::Failed, kBadLrc};
    if (got != Collect::Complete)
        return {Attempt::Failed, reply.isEmpty() ? kNoResponse : kTooShort};
    if (!EchoesBytes(reply, x.request, 2, 1))
        return {Attempt::Failed, kBadAddress};
    if (reply.size() >= 9 && reply[3] == '8' && reply[4] >= '0' && reply[4] <= '9'
        && reply[4] - '0' == x.function)
        return {Attempt::Refused, {}, std::max(Digit(reply, 7), 0)};
    if (!EchoesBytes(reply, x.request, 4, 1))
        return {Attempt::Failed, kBadCode};
    const QString msg = x.check(reply);
    return {msg.isEmpty() ? Attempt::Good : Attempt::Failed, msg};
}

// Runs up to two attempts, collecting a reply up to its LF.
bool Run(const Exchange& x, QString& ErrText, int& ErrCode)
{
    QByteArray reply;
    return RunModbus(x, x.request + QByteArrayLiteral("\r\n"), ReplyFramer::Terminated('\n', kLongestReply).naming({'A'}),
                     [&](Collect got, const QByteArray& r) { return Judge(x, got, r); }, reply, ErrText,
                     ErrCode);
}

QByteArray Frame(const QByteArray& bytes)
{
    QByteArray f(":");
    for (char c : bytes)
        f += Pair(static_cast<unsigned char>(c));
    return f + ModbusLRC(bytes);
}

} // namespace

void ModbusRead_A(int Group, int UserReg, QString& ErrText, int& ErrCode, int Address,
                  int Register, int RegType, int Count, QVector<float>& Values)
{
    try {
        Exchange x;
        QByteArray bytes;
        if (!ModbusReadEntry(Group, UserReg, ErrText, ErrCode, Address, Register, RegType, Count, x,
                             bytes))
            return;
        x.request = Frame(bytes);
        const bool bits = RegType <= 2;

        const int dataBytes = bits ? (Count - 1) / 8 + 1 : 2 * Count;
        QVector<float> items; // stored into Values only once the LRC agrees
        x.check = [&](const QByteArray& r) -> QString {
            if (r.size() < 2 * dataBytes + 9)
                return kReplyShort;
            // The LRC is over the bytes the pairs spell; a pair that spells
            // none is noise on the line.
            QByteArray summed;
            summed.append(char(Address));
            summed.append(char(x.function));
            for (int k = 0; k <= dataBytes; ++k) {
                const int b = PairAt(r, 6 + 2 * k);
                if (b < 0)
                    return kBadLrc;
                summed.append(char(b));
            }
            items = UnpackItems(bits, Count, [&](int k) { return PairAt(r, 8 + 2 * k); });
            if (PairAt(r, 8 + 2 * dataBytes) != LrcByte(summed))
                return kBadLrc;
            return {};
        };
        if (!Run(x, ErrText, ErrCode))
            return;
        StoreItems(Values, items);
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
        QByteArray bytes;
        if (!ModbusWriteEntry(Group, UserReg, ErrText, ErrCode, Address, Register, RegType, 6,
                              Count, Values, x, bytes))
            return;
        if (RegType == 3) {
            const double v = Item(Values, 1);
            const double high = std::floor(v / 256);
            const double low = std::floor(v - 256 * high);
            bytes.append(char(int(high) & 0xFF));
            bytes.append(char(int(low) & 0xFF));
        }
        x.request = Frame(bytes);
        x.check = [&](const QByteArray& r) -> QString {
            if (!EchoesBytes(r, x.request, 6, 2))
                return kBadRegister;
            if (!EchoesBytes(r, x.request, 10, 2))
                return kBadCount;
            // Address to data are known good pairs by now.
            QByteArray summed;
            for (int pos = 2; pos <= 12; pos += 2)
                summed.append(char(PairAt(r, pos)));
            if (PairAt(r, 14) != LrcByte(summed))
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
