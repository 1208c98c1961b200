#include "config/scaling.h"

#include <array>

#include "core/helpers.h"
#include "platform/rterror.h"
#include "platform/runtime.h"

namespace cfgscale {

namespace {

bool in(int r, int lo, int hi) { return r >= lo && r <= hi; }

// How a register's decimals are chosen: from the decimal-point setting (for
// some only with a linear input or on model R7), fixed, or none.
enum class Scale { None, Point, PointIfLinear, PointIfLinearOrR7, Two, One };

Scale classOf(int r)
{
    switch (DecimalScaled(r)) {
    case DecimalSet::A: return Scale::Point;
    case DecimalSet::B: return Scale::PointIfLinear;
    case DecimalSet::C: return Scale::PointIfLinearOrR7;
    case DecimalSet::None: break;
    }
    if (r == 285 || in(r, 278, 282) || r == 0x100E)
        return Scale::Two;
    if (in(r, 274, 277) || r == 324 || r == 340 || r == 341)
        return Scale::One;
    if (in(r, 0x4701, 0x4708) || r == 0x470B || r == 0x470E || r == 0x4714)
        return Scale::One;
    switch (r) {
    case 0x1001: case 0x1002: case 0x1003: case 0x1009: case 0x100C: case 0x100F: case 0x1010:
    case 0x1011: case 0x1016: case 0x101D: case 0x1037: case 0x1038:
        return Scale::One;
    default:
        break;
    }
    if (in(r, 0x1024, 0x1029) || in(r, 0x2000, 0x203F))
        return Scale::One;
    return Scale::None;
}

constexpr int kLinearInput = 15;

} // namespace

DecimalSet DecimalScaled(int r)
{
    if (in(r, 258, 266) || (in(r, 290, 320) && r % 2 == 0) || r == 321 || r == 346 || r == 347)
        return DecimalSet::A;
    if (in(r, 269, 273) || in(r, 326, 329))
        return DecimalSet::B;
    if (r == 334 || r == 335)
        return DecimalSet::C;
    return DecimalSet::None;
}

double FieldValue(const QString& text) { return rt::Val(rt::FormatText(text, QStringLiteral("0.0000"))); }

QString DecimalPointFormat(int reg, int decimalPoint, int inputType, const QString& modelID, float& factor)
{
    static const std::array<QString, 5> formats = {
        QStringLiteral("#,###,###,##0"), QStringLiteral("#,###,###,##0.0"), QStringLiteral("#,###,###,##0.00"),
        QStringLiteral("#,###,###,##0.000"), QStringLiteral("#,###,###,##0.0000")};
    const int point = decimalPoint >= 1 && decimalPoint <= 4 ? decimalPoint : 0;
    int d = 0;
    switch (classOf(reg)) {
    case Scale::Point: d = point; break;
    case Scale::PointIfLinear: d = inputType >= kLinearInput ? point : 0; break;
    case Scale::PointIfLinearOrR7: d = (modelID == QLatin1String("R7") || inputType >= kLinearInput) ? point : 0; break;
    case Scale::Two: d = 2; break;
    case Scale::One: d = 1; break;
    case Scale::None: d = 0; break;
    }
    static const std::array<float, 5> factors = {1.0f, 10.0f, 100.0f, 1000.0f, 10000.0f};
    factor = factors[std::size_t(d)];
    return formats[std::size_t(d)];
}

QString GStr(int group, int reg)
{
    if (group == 0)
        return rt::Str(reg);
    return QStringLiteral(" ") + modZarn::Hex4(float(reg)) + QStringLiteral("H");
}

int CheckIndex(int reg, int bit)
{
    auto fit = [](long v) {
        if (v < -32768 || v > 32767)
            rt::raise(rt::ErrOverflow);
        return int(v);
    };
    const int tens = fit(long(reg) * 10);
    if (bit < 8)
        return fit(long(tens) + bit);
    return fit(long(fit(long(tens) + 1000)) + (bit - 8));
}

QString FormatField(const QString& text, const QString& fmt) { return rt::FormatText(text, fmt); }

} // namespace cfgscale
