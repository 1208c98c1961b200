// One rule for what a configuration field can hold, and the boxes that name
// the fields holding anything else.
#include "config/fieldrule.h"

#include <QScopedValueRollback>
#include <QStringList>
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "config/frmConfig.h"
#include "config/parammap.h"
#include "config/scaling.h"
#include "config/transfer.h"
#include "core/state.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"

using namespace modZarn;

namespace cfgrule {

namespace {

bool StepTime(int reg) { return reg >= cfgmap::kPattTimeFirst && reg <= cfgmap::kPattTimeLast; }
bool Reset(int reg) { return reg >= cfgmap::kReset1 && reg <= cfgmap::kReset4; }

// The widgets that hold the register's value exist.
bool Present(const FrmConfig& f, int reg)
{
    if (StepTime(reg)) {
        const int i = reg - cfgmap::kPattTimeFirst;
        return f.txtPattHour.exists(i) && f.txtPattMin.exists(i);
    }
    return f.txtParameter.exists(reg) && (!Reset(reg) || f.cbxReset.exists(reg));
}

const QString kTitle = QStringLiteral("Parameter Values Outside Their Range");

} // namespace

bool DecimalPointAccepted(int group, int decimalPoint, const QString& modelID)
{
    if (decimalPoint >= 0 && decimalPoint <= 3)
        return true;
    return group == 0 && decimalPoint == 4 && modelID == QLatin1String("R7");
}

void WarnFourDecimals(FrmConfig& f, const QString& doing)
{
    mb::MsgBox(QStringLiteral("A decimal point setting of .0000 is not allowed for this Model ID. You must change the "
                              "decimal point setting to 0 ,0.0, 0.00, or 0.000 before ")
                   + doing + QStringLiteral(" the configuration."),
               mb::Exclamation, QStringLiteral("Invalid Decimal Point Setting"), &f);
}

bool DecimalPointSaveable(FrmConfig& f, const QString& doing)
{
    if (DecimalPointAccepted(gControllerGroup, f.CurDecimalPoint, f.ModelID()))
        return true;
    WarnFourDecimals(f, doing);
    return false;
}

Scaling ScreenScaling(const FrmConfig& f) { return {f.CurDecimalPoint, f.CurInputType, f.ModelID()}; }

Range RangeOf(const FrmConfig& f, const Scaling& s, int reg)
{
    const auto& field = gCfgField[std::size_t(reg)];
    Range r;
    switch (cfgxfer::FieldKind(reg)) {
    case 1: {
        float factor = 1;
        if (!StepTime(reg))
            cfgscale::DecimalPointFormat(reg, s.decimalPoint, s.inputType, s.modelID, factor);
        r.decimals = DecimalPlaces(factor);
        // Limits as the field's own entry rule computes them.
        r.lower = float(field[2]) / factor;
        r.upper = float(field[3]) / factor;
        // Step times are whole minutes, and no more than hours and minutes
        // can be typed.
        if (StepTime(reg))
            r.upper = std::min(r.upper, float(kStepTimeMaxHours * 60 + kStepTimeMaxMinutes));
        r.magnitude = Reset(reg);
        break;
    }
    case 2:
        r.lower = 0;
        r.upper = float(f.cbxParameter(reg)->ListCount() - 1);
        r.none = true;
        break;
    default:
        r.lower = -32768;
        r.upper = 65535;
        break;
    }
    return r;
}

int DecimalPlaces(float factor) { return int(std::lround(std::log10(std::max(1.0, double(factor))))); }

bool IsWholeRaw(double scaled)
{
    return std::fabs(scaled - std::nearbyint(scaled)) <= 1e-9 * std::max(1.0, std::fabs(scaled));
}

bool FitsDecimals(const Range& r, double v)
{
    // A value too large to tell is left to the range.
    const double scaled = v * std::pow(10.0, r.decimals);
    return !(std::fabs(scaled) < 1e12) || IsWholeRaw(scaled);
}

bool Holds(const Range& r, double v)
{
    if (!FitsDecimals(r, v))
        return false;
    if (r.magnitude)
        v = std::fabs(v);
    if (r.none && v == -1)
        return true;
    // Compared in single precision, as a value typed into the field is.
    if (!(std::fabs(v) <= FLT_MAX))
        return false;
    return float(v) >= r.lower && float(v) <= r.upper;
}

QString DecimalsText(const Range& r)
{
    if (r.decimals == 0)
        return QStringLiteral("whole numbers");
    return QString::number(r.decimals) + (r.decimals == 1 ? QStringLiteral(" decimal place") : QStringLiteral(" decimal places"));
}

bool RawRange(int group, int reg, Range& r)
{
    if (group < 0 || group > 2 || reg < 1 || reg > kMaxRegister)
        return false;
    // Groups 1 and 2 reach the instrument through their register tables, and
    // their screens number the fields by the instrument's own registers.
    const auto target = [group](int program) {
        return group == 0 ? program : group == 1 ? gXrefG[std::size_t(program)] : gXrefH[std::size_t(program)];
    };
    const int wanted = target(reg);
    if (wanted <= 0)
        return false;
    for (const cfgmap::Entry& e : cfgmap::group(group).entries) {
        if (e.editor != cfgmap::Editor::Text || cfgxfer::FieldKind(e.reg) != 1 || target(e.reg) != wanted)
            continue;
        const auto& field = gCfgField[std::size_t(e.reg)];
        r = Range{};
        r.lower = float(field[2]);
        r.upper = float(field[3]);
        return true;
    }
    return false;
}

QString RangeText(const Range& r)
{
    const QString upper = cfgxfer::PlainNumber(double(r.upper));
    return (r.magnitude ? QLatin1Char('-') + upper : cfgxfer::PlainNumber(double(r.lower))) + QStringLiteral(" to ")
        + upper;
}

double ScreenValue(const FrmConfig& f, int reg)
{
    using cfgscale::FieldValue;
    if (StepTime(reg)) {
        const int i = reg - cfgmap::kPattTimeFirst;
        return FieldValue(f.txtPattHour(i)->Text()) * 60 + FieldValue(f.txtPattMin(i)->Text());
    }
    double v = FieldValue(f.txtParameter(reg)->Text());
    if (Reset(reg) && f.cbxReset(reg)->ListIndex() == 0)
        v = -std::fabs(v);
    return v;
}

std::vector<Stray> StrayFields(const FrmConfig& f, const std::function<bool(int)>& written)
{
    std::vector<Stray> strays;
    if (f.CurModelIndex < 0 || f.CurModelIndex > kMaxModels)
        return strays;
    const std::vector<bool>& has = gModelHasRegister[std::size_t(f.CurModelIndex)];
    const Scaling s = ScreenScaling(f);
    for (int reg = 1; reg <= kMaxRegister; ++reg) {
        // A field the screen lacks holds nothing; whoever uses it reports it.
        if (!has[std::size_t(reg)] || cfgxfer::FieldKind(reg) != 1 || !Present(f, reg) || (written && !written(reg)))
            continue;
        const double v = ScreenValue(f, reg);
        const Range r = RangeOf(f, s, reg);
        if (!Holds(r, v))
            strays.push_back({reg, v, r});
    }
    return strays;
}

QString Listing(const FrmConfig& f, const std::vector<Stray>& strays)
{
    QStringList lines;
    for (const Stray& s : strays)
        lines << QStringLiteral("Register") + f.GStr(s.reg) + u' ' + cfgxfer::FieldLabel(f, s.reg) + QStringLiteral(" >")
                + cfgxfer::PlainNumber(s.value) + QStringLiteral(", range ") + RangeText(s.range)
                + (FitsDecimals(s.range, s.value) ? QString() : QStringLiteral(", ") + DecimalsText(s.range));
    return lines.join(u'\r');
}

bool NoneEmpty(FrmConfig& f, const std::function<bool(int)>& written)
{
    if (f.CurModelIndex < 0 || f.CurModelIndex > kMaxModels)
        return true;
    const std::vector<bool>& has = gModelHasRegister[std::size_t(f.CurModelIndex)];
    QStringList empty;
    for (int reg = 1; reg <= kMaxRegister; ++reg)
        if (has[std::size_t(reg)] && cfgxfer::FieldKind(reg) == 1 && !StepTime(reg) && Present(f, reg) && written(reg)
            && f.txtParameter(reg)->Text().trimmed().isEmpty())
            empty << QStringLiteral("Register") + f.GStr(reg) + u' ' + cfgxfer::FieldLabel(f, reg);
    if (empty.isEmpty())
        return true;
    mb::MsgBox(QStringLiteral("The following parameters are empty:\r") + empty.join(u'\r')
                   + QStringLiteral("\rType a value into each before sending the configuration.  Nothing was sent."),
               mb::Exclamation, QStringLiteral("Parameter Values Missing"), &f);
    return false;
}

void WarnOfStrays(FrmConfig& f)
{
    const std::vector<Stray> strays = StrayFields(f);
    if (strays.empty())
        return;
    mb::MsgBox(QStringLiteral("The instrument holds values outside the range that their fields allow:\r")
                   + Listing(f, strays)
                   + QStringLiteral("\rThey are shown as read.  Saving the configuration or sending it to an "
                                    "instrument will first ask to put them at the nearest limit of their range."),
               mb::Exclamation, kTitle, &f);
}

namespace {

// The nearer limit of the range, at the decimals the field holds.
double Nearest(const Stray& s)
{
    const double p = std::pow(10.0, s.range.decimals);
    double v = std::isfinite(s.value) ? rt::RoundHalfEven(s.value * p) / p : s.value;
    if (s.range.magnitude)
        v = std::fabs(v);
    return std::clamp(v, double(s.range.lower), double(s.range.upper));
}

void PutAtLimit(FrmConfig& f, const Stray& s)
{
    const QScopedValueRollback loading(f.Loading, true);
    const double v = Nearest(s);
    if (StepTime(s.reg)) {
        const int i = s.reg - cfgmap::kPattTimeFirst;
        f.txtPattHour(i)->setText(rt::Format(std::floor(v / 60), QStringLiteral("00")));
        f.txtPattMin(i)->setText(rt::Format(rt::CLng(v) % 60, QStringLiteral("00")));
        return;
    }
    float factor = 1;
    f.txtParameter(s.reg)->setText(rt::Format(v, f.DecimalPointFormat(s.reg, factor)));
}

} // namespace

bool AgreeToLimits(FrmConfig& f, const QString& doing, bool unattended, const std::function<bool(int)>& written)
{
    const std::vector<Stray> strays = StrayFields(f, written);
    if (strays.empty())
        return true;
    const QString listing = QStringLiteral("The following parameters hold values outside the range that their "
                                           "fields allow:\r")
        + Listing(f, strays) + u'\r';
    if (unattended) {
        mb::MsgBox(listing + QStringLiteral("Nothing was sent."), mb::Exclamation, kTitle, &f);
        return false;
    }
    if (mb::MsgBox(listing + QStringLiteral("Do you want to put them at the nearest limit of their range and ") + doing
                       + QStringLiteral(" ?  (If you say 'NO' the configuration stays as it is.)"),
                   mb::YesNo | mb::DefaultButton2, kTitle, &f)
        != mb::Yes)
        return false;
    for (const Stray& s : strays)
        PutAtLimit(f, s);
    f.Changed = true;
    return true;
}

} // namespace cfgrule
