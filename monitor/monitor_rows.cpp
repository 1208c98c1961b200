#include "monitor/monitor_rows.h"

#include <QRegularExpression>
#include <cmath>

#include "core/helpers.h"
#include "core/state.h"
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
    // A number with its thousands grouped correctly (or not at all), then at
    // most a unit: what the poll writes into the boxes reads back as itself.
    static const QRegularExpression form(QStringLiteral(
        "^\\s*([+-]?(?:\\d{1,3}(?:,\\d{3})+|\\d+)?(?:\\.\\d*)?(?:[eE][+-]?\\d+)?)"
        "\\s*(?:°F|°C|Er|F|C)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    QString number = m.captured(1);
    number.remove(QLatin1Char(','));
    // A sign or a point alone is no number.
    if (!number.contains(QRegularExpression(QStringLiteral("\\d"))))
        return false;
    bool ok = false;
    value = number.toDouble(&ok);
    return ok && std::isfinite(value);
}

bool ScaledSetpoint(double typed, float scale, float& value)
{
    const double product = double(float(typed * double(scale)));
    if (!(product >= -32768.0 && product <= 32767.0))
        return false;
    value = float(product);
    return true;
}

} // namespace monitor
