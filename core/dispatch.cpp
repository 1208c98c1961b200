#include "core/dispatch.h"

#include "core/helpers.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/runtime.h"

#include <QByteArray>
#include <QVector>
#include <cmath>

namespace modZarn {

namespace {

// Where a (group, protocol code) pair leads.
enum class Path { ZarnLink, ModbusRtuDirect, ModbusTableG, ModbusTableH, None };

bool KnownProtocolCode(const QString& code)
{
    return code == QLatin1String("Z") || code == QLatin1String("R") || code == QLatin1String("A");
}

Path PathFor(int group, const QString& code)
{
    if (group == 0) {
        if (code == QLatin1String("Z"))
            return Path::ZarnLink;
        if (code == QLatin1String("R"))
            return Path::ModbusRtuDirect;
    } else if (group == 1) {
        if (code == QLatin1String("R") || code == QLatin1String("A"))
            return Path::ModbusTableG;
    } else if (group == 2) {
        if (code == QLatin1String("A"))
            return Path::ModbusTableH;
    }
    return Path::None;
}

bool InTableRange(int reg)
{
    return reg >= 1 && reg <= kMaxRegister;
}

void Refuse(QString& ErrText, int& ErrCode, int group, int address, const QString& message)
{
    ErrCode = 2;
    ErrText = AddressPrefix(group, address) + message;
}

// Checks group, protocol code and address in that order. A known code that leads
// nowhere for the group is refused like an unknown one: returning without an
// error result would let a caller that started from success take its stale
// value for a good read.
bool CheckGroupAndProtocol(int Group, const QString& ProtocolCode, QString& ErrText,
                           int& ErrCode, int Address, Path& path)
{
    if (Group < 0 || Group > 2) {
        Refuse(ErrText, ErrCode, Group, Address,
               QStringLiteral(":Invalid controller group >") + QString::number(Group));
        return false;
    }
    path = KnownProtocolCode(ProtocolCode) ? PathFor(Group, ProtocolCode) : Path::None;
    if (path == Path::None) {
        Refuse(ErrText, ErrCode, Group, Address,
               QStringLiteral(":Invalid protocol code >") + ProtocolCode);
        return false;
    }
    // Before the register checks: their refusals (code 2, "not available")
    // would let a caller pass over an address that reaches no instrument.
    return AddressAccepted(Group, Address, ErrText, ErrCode);
}

// Bits 6 and 7 of a "Zarn Link" raw value (0..3).
int TopBitPair(float raw)
{
    const auto whole = static_cast<long long>(rt::RoundHalfEven(raw));
    return static_cast<int>((whole & 0xC0) / 64);
}

bool IsRawValueRegister(int reg)
{
    switch (reg) {
    case 3: case 4: case 792: case 793: case 796: case 797: case 799: case 801: case 802:
    case 804: case 805: case 807: case 809: case 811: case 812: case 813: case 1794: case 1795:
        return true;
    default:
        return (reg >= 775 && reg <= 778) || (reg >= 783 && reg <= 789)
            || (reg >= 1842 && reg <= 1845);
    }
}

// One "Zarn Link" read of command Cmd into fresh locals; returns the raw value.
struct ZarnReading {
    float value = 0;
    float divisor = 0;
    float raw = 0;
};

ZarnReading ZarnRead(QString& ErrText, int& ErrCode, int Address, int Cmd, int Register)
{
    ZarnReading r;
    QString valueText, unitText, formatText;
    int alarm1 = 0, alarm2 = 0;
    QByteArray reply;
    ZarnLinkRead(ErrText, ErrCode, Address, Cmd, valueText, unitText, formatText, r.value,
                 r.divisor, alarm1, alarm2, Register, reply, r.raw);
    return r;
}

void ReadZarnLink(QString& ErrText, int& ErrCode, int Address, int Register, int K, float& Value)
{
    const ZarnReading first = ZarnRead(ErrText, ErrCode, Address, K, Register);

    if (Register == 350 || Register == 351) {
        // A 16-bit word gathered two bits per read, the first read giving the
        // top two; any failed read leaves the caller's value alone.
        if (ErrCode != 0)
            return;
        long word = TopBitPair(first.raw) * 16384L;
        if (word > 32767)
            word -= 65536;
        static constexpr int kWeights[] = {4096, 1024, 256, 64, 16, 4, 1};
        for (int i = 0; i < 7; ++i) {
            const ZarnReading next = ZarnRead(ErrText, ErrCode, Address, K + 2 * (i + 1), Register);
            if (ErrCode != 0)
                return;
            word += TopBitPair(next.raw) * static_cast<long>(kWeights[i]);
        }
        Value = static_cast<float>(word);
        return;
    }

    if (IsRawValueRegister(Register)) {
        Value = first.raw;
    } else if (Register == 8) {
        Value = static_cast<float>(static_cast<long long>(rt::RoundHalfEven(first.raw)) & 1);
    } else if (Register >= 289 && Register <= 319 && Register % 2 == 1) {
        Value = std::fabs(first.value);
    } else {
        // The reading without its decimal point: a whole number by nature, so
        // the float product is rounded rather than left at 52.9999962 for 53.
        Value = static_cast<float>(
            std::round(static_cast<double>(first.value) * static_cast<double>(first.divisor)));
    }
}

// Registers whose "Zarn Link" writes carry a 16-bit pattern in hexadecimal.
bool ZarnHexData(int Register)
{
    switch (Register) {
    case 350: case 351: case 792: case 796: case 797: case 799: case 801:
        return true;
    default:
        return false;
    }
}

void WriteZarnLink(QString& ErrText, int& ErrCode, int Address, int Register, int K, float Value)
{
    int cmd = K;
    const bool hexData = ZarnHexData(Register);
    float sent = Value;

    switch (Register) {
    case 274: case 275: case 276: case 277:
        sent = -Value;
        break;
    case 783: case 784: case 785: case 786: case 787: case 788: case 793: case 802: case 804:
    case 805: case 807: case 812: case 813:
        // On/off pair: K switches on, K + 1 off.
        cmd = Value == 0 ? K + 1 : K;
        break;
    case 789: case 809: case 811:
        // On/off pair the other way round.
        cmd = Value != 0 ? K + 1 : K;
        break;
    case 803:
        // One of four commands K..K+3 chosen by the value; nothing else is sent.
        if (!(Value >= 0 && Value <= 3)) {
            ErrCode = 3;
            ErrText = AddressPrefix(0, Address)
                + QStringLiteral(":Invalid instrument Write Data Value for Register >")
                + rt::Str(Register) + QStringLiteral(" (") + Hex4(static_cast<float>(K))
                + QStringLiteral(")") + QStringLiteral(". Value=") + rt::StrSingle(Value);
            return;
        }
        cmd = K + static_cast<int>(rt::RoundHalfEven(Value));
        break;
    default:
        break;
    }

    QByteArray reply;
    ZarnLinkWrite(ErrText, ErrCode, Address, cmd, sent, Register, reply, hexData);
}

// One Modbus item through the protocol's transport.
void ModbusReadOne(const QString& ProtocolCode, int Group, int UserReg, QString& ErrText,
                   int& ErrCode, int Address, int WireReg, int RegType, QVector<float>& items)
{
    if (ProtocolCode == QLatin1String("A"))
        ModbusRead_A(Group, UserReg, ErrText, ErrCode, Address, WireReg, RegType, 1, items);
    else
        ModbusRead_R(Group, UserReg, ErrText, ErrCode, Address, WireReg, RegType, 1, items);
}

void ModbusWriteOne(const QString& ProtocolCode, int Group, int UserReg, QString& ErrText,
                    int& ErrCode, int Address, int WireReg, int RegType, float Value)
{
    QVector<float> items{0.0f, Value};
    if (ProtocolCode == QLatin1String("A"))
        ModbusWrite_A(Group, UserReg, ErrText, ErrCode, Address, WireReg, RegType, 1, items);
    else
        ModbusWrite_R(Group, UserReg, ErrText, ErrCode, Address, WireReg, RegType, 1, items);
}

// Instrument registers 810H..816H of group 1 are bits (discrete inputs / coils).
bool IsGroup1BitRegister(int t)
{
    return t >= 2064 && t <= 2070;
}

constexpr int kGroup2ModelRegister = 1794;
constexpr float kModelXG = 22599; // 'X' * 256 + 'G'
constexpr float kModelTQ = 21585; // 'T' * 256 + 'Q'
constexpr float kModelXH = 22600; // 'X' * 256 + 'H'

QString FormatForDecimals(int decimals)
{
    switch (decimals) {
    case 1: return QStringLiteral("#,###,###,##0.0");
    case 2: return QStringLiteral("#,###,###,##0.00");
    case 3: return QStringLiteral("#,###,###,##0.000");
    case 4: return QStringLiteral("#,###,###,##0.0000");
    default: return QStringLiteral("#,###,###,##0");
    }
}

} // namespace

void ReadInstrumentRegister(int Group, const QString& ProtocolCode, QString& ErrText,
                            int& ErrCode, int Address, int Register, float& Value)
{
    Path path = Path::None;
    if (!CheckGroupAndProtocol(Group, ProtocolCode, ErrText, ErrCode, Address, path))
        return;

    if (path == Path::ModbusRtuDirect) {
        QVector<float> items(2, 0.0f);
        ModbusRead_R(0, Register, ErrText, ErrCode, Address, Register, 3, 1, items);
        Value = items[1];
        return;
    }

    if (!InTableRange(Register)) {
        Refuse(ErrText, ErrCode, Group, Address,
               QStringLiteral(":Invalid instrument Read Register >") + rt::Str(Register));
        return;
    }

    if (path == Path::ZarnLink) {
        const int k = gZarnXref[Register][1];
        if (k == -1) {
            Refuse(ErrText, ErrCode, Group, Address,
                   QStringLiteral(":No valid Zarn Link read command found for register >")
                       + rt::Str(Register));
            return;
        }
        ReadZarnLink(ErrText, ErrCode, Address, Register, k, Value);
        return;
    }

    const int t = path == Path::ModbusTableG ? gXrefG[Register] : gXrefH[Register];
    if (t == -1) {
        Refuse(ErrText, ErrCode, Group, Address,
               QStringLiteral(":No valid Modbus read command found for register >")
                   + rt::Str(Register));
        return;
    }

    QVector<float> items(2, 0.0f);
    if (path == Path::ModbusTableG) {
        if (t == 18 || t == 19) {
            // Product type, read with function 103: 1 is an XG, 2 a TQ.
            ModbusReadOne(ProtocolCode, Group, Register, ErrText, ErrCode, Address, t, 5, items);
            Value = items[1] == 1 ? kModelXG : items[1] == 2 ? kModelTQ : 0.0f;
            return;
        }
        const int regType = IsGroup1BitRegister(t) ? 2 : 3;
        ModbusReadOne(ProtocolCode, Group, Register, ErrText, ErrCode, Address, t, regType, items);
        Value = items[1];
        return;
    }

    // Group 2: every model on this path is an XH, whatever its model register says.
    ModbusRead_A(Group, Register, ErrText, ErrCode, Address, t, 3, 1, items);
    Value = Register == kGroup2ModelRegister ? kModelXH : items[1];
}

void WriteInstrumentRegister(int Group, const QString& ProtocolCode, QString& ErrText,
                             int& ErrCode, int Address, int Register, float Value)
{
    Path path = Path::None;
    if (!CheckGroupAndProtocol(Group, ProtocolCode, ErrText, ErrCode, Address, path))
        return;

    if (path == Path::ModbusRtuDirect) {
        ModbusWriteOne(ProtocolCode, 0, Register, ErrText, ErrCode, Address, Register, 3, Value);
        return;
    }

    if (path == Path::ZarnLink) {
        if (!InTableRange(Register)) {
            Refuse(ErrText, ErrCode, Group, Address,
                   QStringLiteral(":Invalid instrument Write Register >") + rt::Str(Register));
            return;
        }
        const int k = gZarnXref[Register][2];
        if (k == -1) {
            Refuse(ErrText, ErrCode, Group, Address,
                   QStringLiteral(":No valid Zarn Link write command found for register >")
                       + rt::Str(Register));
            return;
        }
        WriteZarnLink(ErrText, ErrCode, Address, Register, k, Value);
        return;
    }

    if (!InTableRange(Register)) {
        Refuse(ErrText, ErrCode, Group, Address,
               QStringLiteral(":Invalid instrument write Register >") + rt::Str(Register));
        return;
    }
    const int t = path == Path::ModbusTableG ? gXrefG[Register] : gXrefH[Register];
    if (t == -1) {
        Refuse(ErrText, ErrCode, Group, Address,
               QStringLiteral(":No valid Modbus write command found for register >")
                   + rt::Str(Register));
        return;
    }
    const int regType = path == Path::ModbusTableG && IsGroup1BitRegister(t) ? 1 : 3;
    ModbusWriteOne(ProtocolCode, Group, Register, ErrText, ErrCode, Address, t, regType, Value);
}

bool WriteLimits(int Group, const QString& ProtocolCode, int Register, float& Lower, float& Upper)
{
    switch (PathFor(Group, ProtocolCode)) {
    case Path::None:
        return false;
    case Path::ZarnLink:
        ZarnWriteLimits(ZarnHexData(Register), Lower, Upper);
        return true;
    case Path::ModbusTableG:
        if (InTableRange(Register) && IsGroup1BitRegister(gXrefG[Register])) {
            Lower = 0;
            Upper = 1;
            return true;
        }
        break;
    case Path::ModbusRtuDirect:
    case Path::ModbusTableH:
        break;
    }
    Lower = kModbusLowest;
    Upper = kModbusHighest;
    return true;
}

void DecodeStatusWord(int Group, int StatusWord, float& Divisor, QString& FormatText,
                      QString& UnitText, int& Alarm1, int& Alarm2)
{
    const int pattern = StatusWord & 0xFFFF;
    const auto flag = [StatusWord](int bit) {
        return BitState(bit, static_cast<float>(StatusWord)) ? -1 : 0;
    };

    switch (Group) {
    case 0: {
        static const float kDivisors[] = {1, 10, 100, 1000, 10000};
        const int decimals = (pattern / 16) & 7;
        const int places = decimals <= 4 ? decimals : 0;
        Divisor = kDivisors[places];
        FormatText = FormatForDecimals(places);
        static const char* const kUnits[] = {"", " °F", " °C", " Er"};
        UnitText = QString::fromUtf8(kUnits[(pattern / 2) & 3]);
        Alarm1 = flag(11);
        Alarm2 = flag(10);
        break;
    }
    case 1: {
        Divisor = 10;
        FormatText = FormatForDecimals(1);
        static const char* const kUnits[] = {"", " °C", " °F", " Er"};
        UnitText = QString::fromUtf8(kUnits[(pattern / 4) & 3]);
        Alarm1 = flag(4);
        Alarm2 = flag(1);
        break;
    }
    case 2: {
        Divisor = 10;
        FormatText = FormatForDecimals(1);
        static const char* const kUnits[] = {"", " °F", " °C", " Er"};
        UnitText = QString::fromUtf8(kUnits[(pattern / 4) & 3]);
        Alarm1 = flag(5);
        Alarm2 = flag(4);
        break;
    }
    default:
        break;
    }
}

void ReadProcessValue(int Group, const QString& ProtocolCode, QString& ErrText, int& ErrCode,
                      int Address, int Register, QString& ValueText, QString& UnitText,
                      QString& FormatText, float& Value, float& Divisor, int& Alarm1,
                      int& Alarm2)
{
    if (Group == 1 || Group == 2) {
        float raw = 0;
        ReadInstrumentRegister(Group, ProtocolCode, ErrText, ErrCode, Address, Register, raw);
        if (ErrCode != 0)
            return;
        // A failed status read still gives a value (divisor 10, no unit, no
        // alarms) and hands its error result to the caller.
        float status = 0;
        ReadInstrumentRegister(Group, ProtocolCode, ErrText, ErrCode, Address, 3, status);
        DecodeStatusWord(Group, rt::CInt(status), Divisor, FormatText, UnitText, Alarm1, Alarm2);
        Value = raw / Divisor;
        ValueText = rt::Format(Value, FormatText);
        return;
    }

    if (Group != 0) {
        // Nothing can serve another group; say so rather than leave a stale
        // result that reads as success.
        Refuse(ErrText, ErrCode, Group, Address,
               QStringLiteral(":Invalid controller group >") + QString::number(Group));
        return;
    }
    if (!AddressAccepted(0, Address, ErrText, ErrCode))
        return;

    if (ProtocolCode == QLatin1String("Z")) {
        if (!InTableRange(Register)) {
            Refuse(ErrText, ErrCode, 0, Address,
                   QStringLiteral(":Invalid instrument Read Register >") + rt::Str(Register));
            return;
        }
        const int k = gZarnXref[Register][1];
        if (k == -1) {
            Refuse(ErrText, ErrCode, 0, Address,
                   QStringLiteral(":No valid Zarn Link read command found for register >")
                       + rt::Str(Register));
            return;
        }
        float raw = 0;
        QByteArray reply;
        ZarnLinkRead(ErrText, ErrCode, Address, k, ValueText, UnitText, FormatText, Value,
                     Divisor, Alarm1, Alarm2, Register, reply, raw);
        return;
    }

    if (ProtocolCode != QLatin1String("R")) {
        // "A" included: group 0 has no Modbus ASCII path.
        Refuse(ErrText, ErrCode, 0, Address,
               QStringLiteral(":Invalid protocol code >") + ProtocolCode);
        return;
    }

    // Modbus RTU: value, status word and, for any register but the process
    // value, the decimal-point setting; the outputs change only when all
    // reads have succeeded.
    QVector<float> items(2, 0.0f);
    ModbusRead_R(0, Register, ErrText, ErrCode, Address, Register, 3, 1, items);
    if (ErrCode != 0)
        return;
    const float raw = items[1];

    items[1] = 0;
    ModbusRead_R(0, Register, ErrText, ErrCode, Address, 3, 3, 1, items);
    if (ErrCode != 0)
        return;
    float divisor = 0;
    QString format, unit;
    int alarm1 = 0, alarm2 = 0;
    DecodeStatusWord(0, rt::CInt(items[1]), divisor, format, unit, alarm1, alarm2);

    if (Register != 2) {
        constexpr int kDecimalPointRegister = 795;
        items[1] = 0;
        ModbusRead_R(0, Register, ErrText, ErrCode, Address, kDecimalPointRegister, 3, 1, items);
        if (ErrCode != 0)
            return;
        const int places = items[1] == 1 ? 1 : items[1] == 2 ? 2 : items[1] == 3 ? 3 : 0;
        static const float kDivisors[] = {1, 10, 100, 1000};
        divisor = kDivisors[places];
        format = FormatForDecimals(places);
    }

    Divisor = divisor;
    FormatText = format;
    UnitText = unit;
    Alarm1 = alarm1;
    Alarm2 = alarm2;
    Value = raw / divisor;
    ValueText = rt::Format(Value, FormatText);
}

} // namespace modZarn
