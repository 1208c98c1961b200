#include "monitor/monitor_rows.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "config/fieldrule.h"
#include "core/dispatch.h"
#include "core/helpers.h"
#include "core/state.h"
#include "core/transports.h"
#include "platform/app.h"
#include "platform/runtime.h"
#include "platform/textfile.h"

namespace monitor {

const QString kEmptyLabel = QStringLiteral("00      [none]");

const std::vector<RowColumn>& RowColumns()
{
    using K = ctl::Kind;
    // Labels and lamps sit a little lower than the boxes, so that their text
    // and circles line up with the boxes' middles.
    static const std::vector<RowColumn> columns = {
        {"lblNum", K::Label, 120, 60, 375, 255, ""},
        {"shpPoll", K::Shape, 600, 30, 255, 255, ""},
        {"cbxControl", K::ComboBox, 1080, 0, 2895, 315, ""},
        {"lblTempText", K::Label, 4080, 30, 975, 255, ""},
        {"txtSVText", K::TextBox, 5160, 0, 975, 315, ""},
        {"lblAlm1StatText", K::Label, 6240, 30, 375, 255, ""},
        {"lblAlm2StatText", K::Label, 6720, 30, 375, 255, ""},
        {"cmdRampCfg", K::CommandButton, 7200, 30, 375, 255, "Cfg"},
        {"cmdRampOn", K::CommandButton, 7560, 30, 375, 255, "On"},
        {"cmdRampHold", K::CommandButton, 7920, 30, 375, 255, "Hld"},
        {"cmdRampOff", K::CommandButton, 8280, 30, 375, 255, "Off"},
        {"shpRampSoak", K::Shape, 8640, 30, 255, 255, ""},
    };
    return columns;
}

const RowColumn& Column(const char* name)
{
    for (const RowColumn& c : RowColumns())
        if (qstrcmp(c.name, name) == 0)
            return c;
    rt::raise(rt::ErrControlArrayElement);
}

std::vector<ControlSpec> ColumnTable(const RowColumn& c)
{
    std::vector<ControlSpec> table;
    table.reserve(kRows);
    for (int r = 0; r < kRows; ++r) {
        // The row numbers count from 1.
        const QString caption = c.kind == ctl::Kind::Label && qstrcmp(c.name, "lblNum") == 0
            ? QString::number(r + 1)
            : QString::fromUtf8(c.caption);
        table.push_back(ControlSpec{r, c.kind, c.left, RowTop(r) + c.dy, c.width, c.height, caption});
    }
    return table;
}

RowTarget ParseLabel(const QString& label)
{
    RowTarget t;
    t.protocol = label.mid(4, 1);
    t.group = int(rt::Val(label.mid(5, 1)));
    t.address = modZarn::AddressToNumber(t.group, label.left(3));
    return t;
}

bool SameLabel(const QString& stored, const QString& label)
{
    return rt::RTrim(stored) == rt::RTrim(label);
}

int InstrumentOfLabel(const QString& stored)
{
    if (stored.isEmpty())
        return -1;
    for (int k = 0; k < modZarn::gInstruments.Count(); ++k)
        if (SameLabel(stored, modZarn::InstrumentLabel(modZarn::gInstruments[k])))
            return k;
    return -1;
}

QString RowFilePath() { return App::file(QStringLiteral("Monitor.val")); }

QStringList ReadRowFile(const QString& path)
{
    QStringList rows;
    if (!rt::FileExists(path))
        return rows;
    rt::InputFile f(path);
    // One row a line, read whole: a comma inside an instrument's name stays
    // in its label instead of pushing every later row down by one.
    while (rows.size() < kRows && !f.eof())
        rows << rt::Trim(f.lineInput());
    f.close();
    return rows;
}

void WriteRowFile(const QString& path, const QStringList& rows)
{
    rt::OutputFile f(path, rt::OutputFile::Replace);
    for (int r = 0; r < kRows; ++r)
        f.printLine(rows.value(r));
    f.close();
}

const QStringList& RateCaptions()
{
    static const QStringList captions = {
        QStringLiteral(".05 Sec."), QStringLiteral(".1 Sec."), QStringLiteral(".25 Sec."),
        QStringLiteral(".5 Sec."),  QStringLiteral("1 Sec."),  QStringLiteral("2 Sec."),
        QStringLiteral("5 Sec."),   QStringLiteral("10 Sec."), QStringLiteral("30 Sec."),
        QStringLiteral("60 Sec."),  QStringLiteral("300 Sec."), QStringLiteral("Never"),
    };
    return captions;
}

float RatePeriod(const QString& caption) { return float(rt::Val(caption)); }

QString RateMenuCaption(const QString& prefix, float seconds)
{
    return prefix + QStringLiteral(" (Now=") + rt::CStrSingle(seconds) + QStringLiteral(" Sec.)");
}

bool ReadSetpointText(const QString& text, double& value)
{
    // What the poll writes into the boxes, "1,234.5 °F", reads back as itself.
    static const QRegularExpression unit(QStringLiteral("\\s*(?:°F|°C|Er|F|C)\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString number = text;
    const QRegularExpressionMatch m = unit.match(number);
    if (m.hasMatch())
        number.truncate(m.capturedStart());
    return rt::TypedNumber(number, value);
}

SetpointFit FitSetpoint(double typed, float scale, const RowTarget& t, int reg)
{
    SetpointFit fit;
    fit.decimals = cfgrule::DecimalPlaces(scale);
    float lower = modZarn::kModbusLowest, upper = modZarn::kModbusHighest;
    // A pair no path serves is refused by the write itself.
    modZarn::WriteLimits(t.group, t.protocol, reg, lower, upper);
    cfgrule::Range field;
    if (cfgrule::RawRange(t.group, reg, field)) {
        lower = std::max(lower, field.lower);
        upper = std::min(upper, field.upper);
    }
    const QString format = fit.decimals > 0 ? QStringLiteral("0.") + QString(fit.decimals, u'0') : QStringLiteral("0");
    fit.lower = rt::Format(double(lower) / double(scale), format);
    fit.upper = rt::Format(double(upper) / double(scale), format);

    const double raw = typed * double(scale);
    const double whole = std::round(raw);
    if (!(whole >= double(lower) && whole <= double(upper)))
        fit.kind = SetpointFit::Range;
    else if (!cfgrule::IsWholeRaw(raw))
        fit.kind = SetpointFit::Decimals; // 12.34 at one decimal would go out as 12.3
    else
        fit.value = float(whole);
    return fit;
}

QString SetpointReason(const SetpointFit& fit)
{
    if (fit.kind == SetpointFit::Decimals)
        return QStringLiteral("it has more decimal places than the instrument shows (") + QString::number(fit.decimals)
            + u')';
    return QStringLiteral("it is outside the range ") + fit.lower + QStringLiteral(" to ") + fit.upper
        + QStringLiteral(" that the instrument can hold");
}

} // namespace monitor
