#include "core/helpers.h"

#include <QDate>
#include <QDir>
#include <climits>
#include <cmath>

#include "core/state.h"
#include "platform/app.h"
#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

namespace modZarn {

QString Hex2(int N)
{
    const QString hex = QString::number(quint16(N & 0xFFFF), 16).toUpper();
    return (QLatin1Char('0') + hex).right(2);
}

QString Hex4(float V)
{
    double v = V;
    if (v < 0)
        v += 65536;
    const std::int32_t n = rt::CLng(v);
    const QString hex = QString::number(quint32(n), 16).toUpper();
    return (QStringLiteral("000") + hex).right(4);
}

namespace {

double AddressValue(int Group, const QString& AddressText)
{
    if (Group == 0)
        return rt::Val(QStringLiteral("&H") + rt::Trim(AddressText));
    return rt::Val(AddressText);
}

} // namespace

int AddressToNumber(int Group, const QString& AddressText) { return rt::CInt(AddressValue(Group, AddressText)); }

int AddressBoxNumber(int Group, const QString& AddressText)
{
    double v = 0;
    try {
        v = rt::RoundHalfEven(AddressValue(Group, AddressText));
    } catch (const rt::RtError& e) {
        // More hexadecimal digits than 32 bits hold.
        if (e.number() != rt::ErrOverflow)
            throw;
        return 0;
    }
    return v >= double(INT_MIN) && v <= double(INT_MAX) ? int(v) : 0;
}

QString AddressToText(int Group, int Address)
{
    if (Group == 0) {
        if (Address >= 0 && Address <= 255)
            return Hex2(Address);
        // The pattern the address was read from, all of it: 16 bits for a
        // negative 16-bit number ("FFFF" spells -1), 32 bits otherwise.
        if (Address < 0 && Address >= -32768)
            return QString::number(quint16(Address & 0xFFFF), 16).toUpper();
        return QString::number(quint32(Address), 16).toUpper();
    }
    const QString digits = QStringLiteral("%1").arg(std::abs(Address), 3, 10, QLatin1Char('0'));
    return Address < 0 ? QLatin1Char('-') + digits : digits;
}

QString AddressPrefix(int Group, int Address) { return QStringLiteral("Address ") + AddressToText(Group, Address); }

bool AddressOnLine(int Address) { return Address >= 1 && Address <= 255; }

QString AddressRangeText(int Group, const QString& AddressText)
{
    return QStringLiteral("Address ") + AddressText + QStringLiteral(":Invalid instrument address, it must be ")
        + (Group == 0 ? QStringLiteral("01 to FF") : QStringLiteral("001 to 255"));
}

bool AddressAccepted(int Group, int Address, QString& ErrText, int& ErrCode)
{
    if (AddressOnLine(Address))
        return true;
    ErrCode = -1;
    ErrText = AddressRangeText(Group, AddressToText(Group, Address));
    return false;
}

void ModelFromRegisterValue(int Group, float Code, QString& ModelID, QString& TypeCaption,
                            int& ModelIndex, QString& ModelName)
{
    double code = Code;
    if (code == 19712)
        code = 14157;
    const double m = std::fabs(code);
    const double high = std::floor(m / 256);
    const double low = std::fmod(rt::RoundHalfEven(m), 256.0);
    if (high > 255)
        rt::raise(rt::ErrIllegalCall);
    ModelID = QString(QChar(ushort(high))) + QChar(ushort(low));
    if (code == 0)
        ModelID = QStringLiteral("XX");
    TypeCaption = LookupModel(Group, ModelID, ModelIndex, ModelName);
}

QString LookupModel(int Group, const QString& ModelID, int& ModelIndex, QString& ModelName)
{
    if (Group < 0 || Group > 2)
        rt::raise(rt::ErrSubscript);
    ModelIndex = 0;
    ModelName = QStringLiteral("Unavailable");
    const int count = std::min(gModelCount[Group], kMaxModels);
    for (int slot = 1; slot <= count; ++slot) {
        if (gModelID[Group][slot].compare(ModelID, Qt::CaseInsensitive) == 0) {
            ModelIndex = slot;
            ModelName = gModelName[Group][slot];
            return gModelType[Group][slot];
        }
    }
    return QStringLiteral("Unknown Model Type");
}

QString ProtocolLetter(int Index)
{
    if (Index == 0)
        return QStringLiteral("Z");
    if (Index == 2)
        return QStringLiteral("A");
    return QStringLiteral("R");
}

int ProtocolIndex(const QString& Code)
{
    if (Code == QLatin1String("Z"))
        return 0;
    if (Code == QLatin1String("A"))
        return 2;
    return 1;
}

namespace {
// Position of the last folder separator, or -1. Stored paths may separate
// folders with "\" or "/" (and a drive with ":"); all three count.
qsizetype LastSeparator(const QString& path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char('/') || c == QLatin1Char(':'))
            return i;
    }
    return -1;
}
} // namespace

QString FilePath(const QString& Path)
{
    const qsizetype pos = LastSeparator(Path);
    if (pos > 0)
        return Path.left(pos + 1);
    return App::path();
}

QString NameOfFile(const QString& Path)
{
    const qsizetype pos = LastSeparator(Path);
    return pos < 0 ? Path : Path.mid(pos + 1);
}

QString DataFolder()
{
    const QString folder = QDir(App::path()).filePath(gDefaultFolder);
    QDir().mkpath(folder);
    return folder;
}

bool BitState(int Bit, float WordToCheck)
{
    int result = 0;
    try {
        const int mask = Bit == 15 ? -32768 : rt::CInt(std::pow(2.0, Bit));
        result = (rt::CLng(WordToCheck) & std::int32_t(mask)) != 0 ? -1 : 0;
        return result != 0;
    } catch (const rt::RtError& e) {
        mb::AppError(e, QStringLiteral("modZarn.BitState, BitState=") + rt::Str(result)
                            + QStringLiteral(" WordToCheck=") + rt::StrSingle(WordToCheck));
        return false;
    }
}

double ElapsedSeconds(double Start)
{
    const double d = Clock::timer() - Start;
    if (std::fabs(d) < 0.02)
        return 0;
    return d < 0 ? d + 86400 : d;
}

double ElapsedSecondsUtc(double Start)
{
    const double d = UtcNow() * 86400 + 0.01 - Start;
    return d < 0 ? d + 3600 : d;
}

double UtcNow()
{
    const QDateTime now = Clock::utcNow();
    static const QDate epoch(1899, 12, 30);
    const QTime t = now.time();
    return double(epoch.daysTo(now.date())) + (t.hour() * 3600 + t.minute() * 60 + t.second()) / 86400.0
        + t.msec() / 86400.0 / 1000.0;
}

} // namespace modZarn
