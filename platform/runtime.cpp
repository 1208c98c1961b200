#include "platform/runtime.h"

#include <QRegularExpression>

#include "platform/rterror.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace rt {

namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// "&H..." / "&O..." after the prefix: the digits up to the first one that does
// not fit. The width of the text decides the width of the number, leading
// zeros included: up to four hex digits (six octal ones, when they fit 16
// bits) are a 16-bit pattern, so "&HFFFF" is -1 but "&H0FFFF" is 65535; longer
// texts are 32-bit patterns; anything wider than 32 bits does not fit a Long.
double radixNumber(const QString& s, qsizetype pos, int radix)
{
    std::uint64_t value = 0;
    int digits = 0;
    for (; pos < s.size(); ++pos, ++digits) {
        const int d = hexValue(s[pos]);
        if (d < 0 || d >= radix)
            break;
        value = value * std::uint64_t(radix) + std::uint64_t(d);
        if (value > 0xFFFFFFFFull)
            raise(ErrOverflow);
    }
    const int shortDigits = radix == 16 ? 4 : 6;
    if (digits <= shortDigits && value <= 0xFFFFull)
        return double(std::int16_t(std::uint16_t(value)));
    return double(std::int32_t(std::uint32_t(value)));
}

double decimalNumber(const QString& s)
{
    // Collect the longest prefix that fits sign, digits, point, exponent.
    std::string text;
    qsizetype i = 0;
    const qsizetype n = s.size();
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        text += char(s[i++].unicode());
    bool anyDigit = false;
    bool point = false;
    int intDigits = 0;        // significant digits before the point
    int leadingFracZeros = 0; // zeros right after the point before the first significant digit
    bool significant = false;
    for (; i < n; ++i) {
        const QChar c = s[i];
        if (isDigit(c)) {
            anyDigit = true;
            if (c != u'0')
                significant = true;
            if (!point && significant)
                ++intDigits;
            else if (point && !significant)
                ++leadingFracZeros;
            text += char(c.unicode());
        } else if (c == u'.' && !point) {
            point = true;
            text += '.';
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0.0;
    long long exponent = 0;
    if (i < n && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
        qsizetype j = i + 1;
        std::string exp = "e";
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            exp += char(s[j++].unicode());
        const qsizetype firstDigit = j;
        bool negExp = exp.size() > 1 && exp[1] == '-';
        for (; j < n && isDigit(s[j]); ++j) {
            exp += char(s[j].unicode());
            if (exponent < 100000)
                exponent = exponent * 10 + (s[j].unicode() - u'0');
        }
        if (j > firstDigit) {
            text += exp;
            if (negExp)
                exponent = -exponent;
        } else {
            exponent = 0;
        }
    }
    double value = 0.0;
    const char* first = text.data();
    if (*first == '+')
        ++first;
    const auto res = std::from_chars(first, text.data() + text.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        if (!significant)
            return 0.0;
        const long long magnitude = exponent + (intDigits > 0 ? intDigits - 1 : -(leadingFracZeros + 1));
        if (magnitude > 0)
            raise(ErrOverflow);
        return 0.0; // too small to hold: reads as zero
    }
    if (res.ec != std::errc())
        return 0.0;
    if (!std::isfinite(value))
        raise(ErrOverflow);
    return value == 0.0 ? 0.0 : value; // no negative zero
}

// A number as significant decimal digits (no trailing zeros, "0" for zero)
// and the decimal exponent of the first digit.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

Decimal toDecimal(double v, int precision)
{
    Decimal d;
    if (v == 0.0) {
        d.digits = "0";
        return d;
    }
    d.negative = v < 0;
    std::array<char, 64> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v),
                                   std::chars_format::scientific, precision - 1);
    const std::string s(buf.data(), res.ptr);
    const auto e = s.find('e');
    for (std::size_t k = 0; k < e; ++k)
        if (s[k] != '.')
            d.digits += s[k];
    d.exponent = std::stoi(s.substr(e + 1));
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Plain number text: fixed notation while the number can be
// shown within the precision, exponent notation ("1E-05", "1.5E+17")
// otherwise; no leading zero before the point unless asked for.
QString numberText(double v, int precision, bool leadingZero)
{
    if (std::isnan(v))
        return QStringLiteral("-1.#IND");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("1.#INF") : QStringLiteral("-1.#INF");
    const Decimal d = toDecimal(v, precision);
    std::string out;
    if (d.negative)
        out += '-';
    const int x = d.exponent;
    const std::string& g = d.digits;
    if (x < -4 || x >= precision) {
        out += g[0];
        if (g.size() > 1) {
            out += '.';
            out += g.substr(1);
        }
        out += 'E';
        out += x < 0 ? '-' : '+';
        std::string e = std::to_string(std::abs(x));
        if (e.size() < 2)
            e.insert(0, "0");
        out += e;
    } else if (x >= 0) {
        if (int(g.size()) <= x + 1) {
            out += g;
            out.append(std::size_t(x + 1 - int(g.size())), '0');
        } else {
            out += g.substr(0, std::size_t(x + 1));
            out += '.';
            out += g.substr(std::size_t(x + 1));
        }
    } else {
        if (leadingZero)
            out += '0';
        out += '.';
        out.append(std::size_t(-x - 1), '0');
        out += g;
    }
    return QString::fromLatin1(out);
}

QString withSign(double v, const QString& text) { return (v < 0 ? QString() : QStringLiteral(" ")) + text; }

// ---- display formats ----

// Fixed decimal text of |v| rounded half away from zero to `decimals` places,
// split into integer digits (no leading zeros; empty for zero) and decimals.
// The value is first taken to 15 significant digits, so 1.005 rounds to 1.01
// as it reads, not as its binary approximation would.
void fixedDigits(double v, int decimals, std::string& intPart, std::string& fracPart)
{
    const Decimal d = toDecimal(v, 15);
    std::string whole;
    std::string frac;
    if (d.digits == "0") {
        whole = "";
    } else if (d.exponent >= 0) {
        const std::size_t x = std::size_t(d.exponent);
        if (d.digits.size() <= x + 1) {
            whole = d.digits + std::string(x + 1 - d.digits.size(), '0');
        } else {
            whole = d.digits.substr(0, x + 1);
            frac = d.digits.substr(x + 1);
        }
    } else {
        frac = std::string(std::size_t(-d.exponent - 1), '0') + d.digits;
    }
    bool roundUp = false;
    if (int(frac.size()) > decimals) {
        roundUp = frac[std::size_t(decimals)] >= '5';
        frac.resize(std::size_t(decimals));
    }
    frac.append(std::size_t(decimals) - frac.size(), '0');
    if (roundUp) {
        std::string all = whole + frac;
        int k = int(all.size()) - 1;
        for (; k >= 0; --k) {
            if (all[std::size_t(k)] == '9') {
                all[std::size_t(k)] = '0';
            } else {
                ++all[std::size_t(k)];
                break;
            }
        }
        if (k < 0)
            all.insert(0, "1");
        whole = all.substr(0, all.size() - frac.size());
        frac = all.substr(all.size() - frac.size());
    }
    const auto nz = whole.find_first_not_of('0');
    whole = nz == std::string::npos ? std::string() : whole.substr(nz);
    intPart = whole;
    fracPart = frac;
}

bool isPlaceholder(QChar c) { return c == u'#' || c == u'0'; }

QString formatPattern(double v, const QString& fmt)
{
    // Literal text before the first and after the last placeholder is kept.
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        if (isPlaceholder(fmt[i]) || fmt[i] == u'.' || fmt[i] == u',') {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return fmt;
    const QString prefix = fmt.left(first);
    const QString suffix = fmt.mid(last + 1);
    const QString body = fmt.mid(first, last - first + 1);
    const qsizetype dot = body.indexOf(u'.');
    const QString intFmt = dot < 0 ? body : body.left(dot);
    const QString fracFmt = dot < 0 ? QString() : body.mid(dot + 1);

    const int minInt = int(intFmt.count(u'0'));
    const bool grouping = intFmt.contains(u',');
    int minFrac = 0;
    int maxFrac = 0;
    for (const QChar c : fracFmt) {
        if (c == u'0')
            minFrac = ++maxFrac;
        else if (c == u'#')
            ++maxFrac;
    }

    std::string whole;
    std::string frac;
    fixedDigits(v, maxFrac, whole, frac);
    while (int(frac.size()) > minFrac && frac.back() == '0')
        frac.pop_back();
    if (int(whole.size()) < minInt)
        whole.insert(0, std::size_t(minInt) - whole.size(), '0');
    if (grouping) {
        for (int k = int(whole.size()) - 3; k > 0; k -= 3)
            whole.insert(std::size_t(k), ",");
    }
    std::string out = whole;
    if (!frac.empty())
        out += '.' + frac;
    // A value that rounds to zero shows no sign.
    const bool zero = whole.find_first_not_of("0,") == std::string::npos
                      && frac.find_first_not_of('0') == std::string::npos;
    const QString sign = (v < 0 && !zero) ? QStringLiteral("-") : QString();
    return sign + prefix + QString::fromLatin1(out) + suffix;
}

} // namespace

double Val(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (const QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n')
            s += c;
    if (s.size() >= 2 && s[0] == u'&') {
        const QChar p = s[1].toUpper();
        if (p == u'H')
            return radixNumber(s, 2, 16);
        if (p == u'O')
            return radixNumber(s, 2, 8);
    }
    return decimalNumber(s);
}

bool IsNumeric(const QString& text, double* value)
{
    const QString s = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = s.size();
    QString plain;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        plain += s[i++];
    bool digits = false;
    while (i < n && (isDigit(s[i]) || s[i] == u',')) {
        if (s[i] != u',') {
            plain += s[i];
            digits = true;
        } else if (!digits) {
            return false; // a separator before any digit
        }
        ++i;
    }
    if (i < n && s[i] == u'.') {
        plain += s[i++];
        while (i < n && isDigit(s[i])) {
            plain += s[i++];
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < n && (s[i] == u'E' || s[i] == u'e' || s[i] == u'D' || s[i] == u'd')) {
        plain += u'E';
        ++i;
        if (i < n && (s[i] == u'+' || s[i] == u'-'))
            plain += s[i++];
        bool expDigits = false;
        while (i < n && isDigit(s[i])) {
            plain += s[i++];
            expDigits = true;
        }
        if (!expDigits)
            return false;
    }
    if (i != n)
        return false;
    bool ok = false;
    const double v = plain.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    if (value)
        *value = v;
    return true;
}

bool TypedNumber(const QString& text, double& value)
{
    // IsNumeric's number, held to the stricter form: thousands grouped in
    // threes, only "E" for an exponent, only ASCII blanks around it.
    static const QRegularExpression form(
        QStringLiteral("^\\s*[+-]?(?:\\d{1,3}(?:,\\d{3})+|\\d+)?(?:\\.\\d*)?(?:[eE][+-]?\\d+)?\\s*$"));
    return form.match(text).hasMatch() && IsNumeric(text, &value);
}

bool TypedHex16(const QString& text, int& value)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([0-9A-Fa-f]{1,4})\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    value = int(Val(QStringLiteral("&H") + m.captured(1)));
    return true;
}

double Rnd()
{
    static std::minstd_rand generator; // default seed: the same sequence every run
    const double span = double(std::minstd_rand::max() - std::minstd_rand::min()) + 1.0;
    return double(generator() - std::minstd_rand::min()) / span;
}

double RoundHalfEven(double v)
{
    if (!std::isfinite(v))
        return v;
    const double lower = std::floor(v);
    const double diff = v - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

int CInt(double v)
{
    const double r = RoundHalfEven(v);
    if (!(r >= -32768.0 && r <= 32767.0))
        raise(ErrOverflow);
    return int(r);
}

std::int32_t CLng(double v)
{
    const double r = RoundHalfEven(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        raise(ErrOverflow);
    return std::int32_t(r);
}

float CSng(double v)
{
    if (std::isnan(v))
        raise(ErrOverflow);
    const float f = float(v);
    if (std::isinf(f))
        raise(ErrOverflow);
    return f;
}

QString Str(double v) { return withSign(v, numberText(v, 15, false)); }
QString StrSingle(float v) { return withSign(v, numberText(double(v), 7, false)); }
QString CStr(double v) { return numberText(v, 15, false); }
QString CStrSingle(float v) { return numberText(double(v), 7, false); }

QString Hex(double v)
{
    const double r = RoundHalfEven(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        raise(ErrOverflow);
    const auto n = std::int32_t(r);
    std::uint32_t pattern;
    if (n >= -32768 && n < 0)
        pattern = std::uint16_t(n);
    else
        pattern = std::uint32_t(n);
    return QString::number(pattern, 16).toUpper();
}

QString Format(double v, const QString& fmt)
{
    if (!std::isfinite(v))
        return numberText(v, 15, true);
    if (fmt.isEmpty() || fmt.compare(u"General Number", Qt::CaseInsensitive) == 0)
        return numberText(v, 15, true);
    if (fmt.compare(u"Fixed", Qt::CaseInsensitive) == 0)
        return formatPattern(v, QStringLiteral("0.00"));
    return formatPattern(v, fmt);
}

bool NumericText(const QString& text, double* value)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    if (t.startsWith(u'&')) {
        static const QRegularExpression radix(QStringLiteral("^&([Hh][0-9A-Fa-f]{1,8}|[Oo][0-7]{1,11})$"));
        if (!radix.match(t).hasMatch())
            return false;
        if (value)
            *value = Val(t);
        return true;
    }
    static const QRegularExpression number(QStringLiteral(
        "^[+-]?(\\d[\\d,]*(\\.\\d*)?|\\.\\d+)([EeDd][+-]?\\d+)?$"));
    if (!number.match(t).hasMatch())
        return false;
    if (value) {
        QString plain = t;
        plain.remove(u',');
        *value = Val(plain);
    }
    return true;
}

QString FormatText(const QString& text, const QString& fmt)
{
    double v = 0;
    if (!NumericText(text, &v))
        return text;
    return Format(v, fmt);
}

QString PrintNumber(double v) { return Str(v) + u' '; }
QString PrintSingle(float v) { return StrSingle(v) + u' '; }

QString LTrim(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    return s.mid(i);
}

QString RTrim(const QString& s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.left(n);
}

QString Trim(const QString& s) { return LTrim(RTrim(s)); }

} // namespace rt
