#pragma once
// Every kind of typed value for a field holding the raw values lower..upper
// shown at `decimals` places: the raw value each text must go out as, or
// none when it must be refused with nothing on the line.
#include <QString>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime.h"

struct TypedValue {
    QString text;
    std::optional<int> raw;
};

inline std::vector<TypedValue> TypedSweep(int decimals, int lower, int upper)
{
    const double scale = std::pow(10.0, decimals);
    const QString places = decimals > 0 ? QStringLiteral(".") + QString(decimals, u'0') : QString();
    const auto shown = [&](int raw) { return rt::Format(raw / scale, QStringLiteral("0") + places); };
    const auto within = [&](int raw) { return raw >= lower && raw <= upper ? std::optional(raw) : std::nullopt; };
    return {
        {QString(), std::nullopt},
        {QStringLiteral("abc"), std::nullopt},
        {QStringLiteral("FFFF"), std::nullopt},
        {QStringLiteral("12abc"), std::nullopt},
        {QStringLiteral("1,5"), std::nullopt},
        {QStringLiteral("0x10"), std::nullopt},
        {QStringLiteral("&H10"), std::nullopt},
        {QStringLiteral("-"), std::nullopt},
        // One decimal more than the field shows (a fraction where it is whole).
        {QString::number(7.5 / scale, 'f', decimals + 1), std::nullopt},
        {rt::Format(1, QStringLiteral("0.0") + places.mid(1)), within(int(scale))},
        {shown(upper), upper},
        {shown(lower), lower},
        {shown(upper + 1), std::nullopt},
        {shown(lower - 1), std::nullopt},
        // As the instrument's display format writes it.
        {rt::Format(upper / scale, QStringLiteral("#,##0") + places), upper},
        {QStringLiteral(" ") + shown(-12) + QStringLiteral(" "), within(-12)},
    };
}

// The signed value a "Zarn Link" write carried: four digits and a sign byte.
inline std::string ZarnWritten(const std::string& quoted)
{
    return (quoted.substr(5, 2) == "FF" ? "-" : "") + std::to_string(std::stoi(quoted.substr(1, 4)));
}
